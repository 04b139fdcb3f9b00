#include "support/WxTest.h"

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <wx/app.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include <chrono>

#include "ui/FerrikFrame.h"

namespace ferrik_test {

namespace {
void SetSysNiceEffective(bool on) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2] = {};
    if (syscall(SYS_capget, &header, data) != 0) return;
    const unsigned word = CAP_SYS_NICE / 32;
    const unsigned bit = 1u << (CAP_SYS_NICE % 32);
    if (on)
        data[word].effective |= (data[word].permitted & bit);
    else
        data[word].effective &= ~bit;
    syscall(SYS_capset, &header, data);
}
}  // namespace

void DropRealtimePrivilege() {
    rlimit none{0, 0};
    rlimit current{};
    getrlimit(RLIMIT_RTPRIO, &current);
    none.rlim_max = current.rlim_max;
    setrlimit(RLIMIT_RTPRIO, &none);
    SetSysNiceEffective(false);
}

void RestoreRealtimePrivilege() { SetSysNiceEffective(true); }

FerrikFrame* OpenFrame() {
    FerrikFrame* frame = new FerrikFrame(nullptr, -1);
    frame->Show();
    wxTheApp->SetTopWindow(frame);
    wxYield();
    return frame;
}

void CloseFrame(FerrikFrame* frame) {
    frame->Destroy();
    wxYield();
}

void Click(FerrikFrame* frame, long id) {
    wxWindow* button = frame->FindWindow(id);
    ASSERT_NE(button, nullptr);
    wxCommandEvent event(wxEVT_BUTTON, static_cast<int>(id));
    event.SetEventObject(button);
    button->GetEventHandler()->ProcessEvent(event);
}

std::string LogText(FerrikFrame* frame) { return std::string(frame->TxtLog->GetValue().utf8_str().data()); }

std::string ClickForLog(FerrikFrame* frame, long id, size_t& from) {
    from = LogText(frame).size();
    Click(frame, id);
    return LogText(frame).substr(from);
}

wxColour LogColourAt(FerrikFrame* frame, long pos) {
    wxTextAttr attr;
    if (!frame->TxtLog->GetStyle(pos, attr) || !attr.HasTextColour()) return wxColour();
    return attr.GetTextColour();
}

wxColour ColourOf(FerrikFrame* frame, const std::string& text, size_t from) {
    const wxString all = frame->TxtLog->GetValue();
    const int at = all.Mid(from).Find(wxString::FromUTF8(text.c_str()));
    if (at == wxNOT_FOUND) return wxColour();
    return LogColourAt(frame, static_cast<long>(from) + at);
}

FileDialogAnswers::FileDialogAnswers(std::vector<std::string> answers) : answers_(std::move(answers)) {
    Register();
}

FileDialogAnswers::~FileDialogAnswers() { Unregister(); }

int FileDialogAnswers::Enter(wxDialog* dialog) {
    ++shown_;
    auto* files = dynamic_cast<wxFileDialog*>(dialog);
    if (files == nullptr || next_ >= answers_.size()) {
        ++unexpected_;
        return wxID_CANCEL;
    }
    messages.push_back(std::string(files->GetMessage().utf8_str().data()));
    defaultNames.push_back(std::string(files->GetFilename().utf8_str().data()));
    wildcards.push_back(std::string(files->GetWildcard().utf8_str().data()));
    styles.push_back(files->GetWindowStyleFlag());
    const std::string answer = answers_[next_++];
    if (answer.empty()) return wxID_CANCEL;
    // GTK applies a chosen path asynchronously: yield until the dialog
    // reports it, as it would after a user's click.
    const wxString path = wxString::FromUTF8(answer.c_str());
    files->SetPath(path);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (files->GetPath() != path && std::chrono::steady_clock::now() < deadline) wxYield();
    return wxID_OK;
}

void FileDialogAnswers::Exit(wxDialog* /*dialog*/) {}

}  // namespace ferrik_test
