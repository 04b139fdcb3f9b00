// Draws the README's picture of the window: the simulated program started in
// the current folder (whose ICs/ Detect searches), Detect clicked, and the
// window's client area as the X server shows it saved as a PNG.
//
// Usage: window_picture OUTPUT.png   (scripts/make-window-png runs it)
// Needs an X display. The chip is the one the environment settings give the
// program, the default chip when there are none.
#include <gtk/gtk.h>
#include <wx/app.h>
#include <wx/utils.h>

#include <cstdio>

#include "bench/BenchWindow.h"
#include "ui/FerrikFrame.h"

namespace {

// Paints happen when the loop is idle; a few rounds with a pause let the X
// server take them before the pixels are read back.
void LetTheWindowPaint() {
    for (int i = 0; i < 10; ++i) {
        wxYield();
        wxTheApp->ProcessIdle();
        wxMilliSleep(20);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: window_picture OUTPUT.png\n");
        return 2;
    }
    FerrikFrame* frame = bench::OpenBenchWindow("window_picture", argv[0]);
    if (frame == nullptr) return 1;
    LetTheWindowPaint();

    wxCommandEvent click(wxEVT_BUTTON, static_cast<int>(FerrikFrame::BTN_READ_ID_));
    click.SetEventObject(frame->BtnReadId);
    frame->BtnReadId->GetEventHandler()->ProcessEvent(click);
    frame->TxtLog->ShowPosition(0);
    LetTheWindowPaint();

    const wxSize client = frame->GetClientSize();
    GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(frame->GetHandle()));
    const wxPoint origin = frame->GetClientAreaOrigin();
    GdkPixbuf* picture = gdk_pixbuf_get_from_window(window, origin.x, origin.y, client.x, client.y);
    GError* error = nullptr;
    const bool saved = picture != nullptr && gdk_pixbuf_save(picture, argv[1], "png", &error, nullptr);
    if (!saved) std::fprintf(stderr, "window_picture: %s\n", error != nullptr ? error->message : "no pixels");
    if (error != nullptr) g_error_free(error);
    if (picture != nullptr) g_object_unref(picture);
    frame->Destroy();
    bench::CloseBenchWindow();
    return saved ? 0 : 1;
}
