#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <sched.h>
#include <wx/stattext.h>

#include <string>

#include "support/WxTest.h"
#include "ui/FerrikFrame.h"

using namespace ferrik_test;

namespace {

const std::string kBanner = "//#############################################################//\n";

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override { frame = OpenFrame(); }
    void TearDown() override { CloseFrame(frame); }
    FerrikFrame* frame = nullptr;
};

struct ControlRow {
    long id;
    const char* name;
    const char* className;
    const char* text;
    int x, y, w, h;  // w < 0: natural size
    int maxLength;   // 0: none
};

}  // namespace

TEST_F(MainWindow, HasItsTwentyOneControlsWhereTheLayoutPutsThem) {
    const ControlRow rows[] = {
        {FerrikFrame::TXT_LOG_, "TXT_LOG_", "wxTextCtrl", "", 8, 128, 448, 352, 0},
        {FerrikFrame::ID_STATICBOX1, "ID_STATICBOX1", "wxStaticBox", "", 88, 0, 288, 120, 0},
        {FerrikFrame::BTN_READ_ID_, "BTN_READ_ID_", "wxButton", "<Detect>", 8, 16, 72, 24, 0},
        {FerrikFrame::BTN_READ_, "BTN_READ_", "wxButton", "<Read>", 8, 56, 72, 24, 0},
        {FerrikFrame::BTN_ERACE_, "BTN_ERACE_", "wxButton", "<Erace>", 384, 16, 72, 24, 0},
        {FerrikFrame::BTN_WRITE_, "BTN_WRITE_", "wxButton", "<Write>", 384, 96, 72, 24, 0},
        {FerrikFrame::TXT_PAGE_SIZE_, "TXT_PAGE_SIZE_", "wxTextCtrl", "2048", 104, 32, 40, 27, 5},
        {FerrikFrame::TXT_SPARE_SIZE_, "TXT_SPARE_SIZE_", "wxTextCtrl", "64", 160, 32, 32, 27, 3},
        {FerrikFrame::ID_STATICTEXT2, "ID_STATICTEXT2", "wxStaticText", "Row Max Addr", 96, 64, -1, -1, 0},
        {FerrikFrame::ID_STATICTEXT1, "ID_STATICTEXT1", "wxStaticText", "Page Size + Spare", 96, 16, -1, -1, 0},
        {FerrikFrame::TXT_ROW_MAX_ADDR_, "TXT_ROW_MAX_ADDR_", "wxTextCtrl", "65535", 104, 80, 56, 27, 8},
        {FerrikFrame::TXT_NAME_CHIP_, "TXT_NAME_CHIP_", "wxTextCtrl", "No Name", 216, 32, 104, 27, 16},
        {FerrikFrame::ID_STATICTEXT4, "ID_STATICTEXT4", "wxStaticText", "Name Chip", 240, 16, -1, -1, 0},
        {FerrikFrame::ID_STATICTEXT5, "ID_STATICTEXT5", "wxStaticText", "Nand ID", 232, 64, -1, -1, 0},
        {FerrikFrame::TXT_NAND_ID_, "TXT_NAND_ID_", "wxTextCtrl", "FFFFFFFFFF", 216, 80, 72, 24, 10},
        {FerrikFrame::BTN_SAVE_, "BTN_SAVE_", "wxButton", "Save", 328, 32, 40, 24, 0},
        {FerrikFrame::ID_STATICTEXT3, "ID_STATICTEXT3", "wxStaticText", "0xFFFF", 160, 88, -1, -1, 0},
        {FerrikFrame::TXT_PAGES_, "TXT_PAGES_", "wxTextCtrl", "64", 336, 80, 32, 24, 3},
        {FerrikFrame::ID_STATICTEXT6, "ID_STATICTEXT6", "wxStaticText", "1 Block =", 320, 64, -1, -1, 0},
        {FerrikFrame::BTN_VERIFY_, "BTN_VERIFY_", "wxButton", "<Verify>", 8, 96, 72, 24, 0},
        {FerrikFrame::BTN_BLANK_, "BTN_BLANK_", "wxButton", "<Blank>", 384, 56, 72, 24, 0},
    };

    // The IDs come from wxNewId in this order, so they ascend in it, and the
    // log pane has the first ID the process handed out (wxNewId counts from 100).
    EXPECT_EQ(FerrikFrame::TXT_LOG_, 100);
    for (size_t i = 1; i < sizeof rows / sizeof rows[0]; ++i) EXPECT_EQ(rows[i].id, rows[i - 1].id + 1);

    const wxWindowList& children = frame->GetChildren();
    ASSERT_EQ(children.GetCount(), 21u);
    // Created in the order of the table's IDs.
    const long creationOrder[] = {
        FerrikFrame::TXT_LOG_,         FerrikFrame::ID_STATICBOX1,     FerrikFrame::BTN_READ_ID_,
        FerrikFrame::BTN_READ_,        FerrikFrame::BTN_ERACE_,        FerrikFrame::BTN_WRITE_,
        FerrikFrame::TXT_PAGE_SIZE_,   FerrikFrame::TXT_SPARE_SIZE_,   FerrikFrame::ID_STATICTEXT2,
        FerrikFrame::ID_STATICTEXT1,   FerrikFrame::TXT_ROW_MAX_ADDR_, FerrikFrame::TXT_NAME_CHIP_,
        FerrikFrame::ID_STATICTEXT4,   FerrikFrame::ID_STATICTEXT5,    FerrikFrame::TXT_NAND_ID_,
        FerrikFrame::BTN_SAVE_,        FerrikFrame::ID_STATICTEXT3,    FerrikFrame::TXT_PAGES_,
        FerrikFrame::ID_STATICTEXT6,   FerrikFrame::BTN_VERIFY_,       FerrikFrame::BTN_BLANK_,
    };
    size_t index = 0;
    for (wxWindow* child : children) EXPECT_EQ(child->GetId(), creationOrder[index++]);

    for (const ControlRow& row : rows) {
        SCOPED_TRACE(row.name);
        wxWindow* w = frame->FindWindow(row.id);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(std::string(w->GetName().utf8_str().data()), row.name);
        EXPECT_EQ(std::string(wxString(w->GetClassInfo()->GetClassName()).utf8_str().data()).rfind(row.className, 0), 0u);
        EXPECT_EQ(w->GetPosition(), wxPoint(row.x, row.y));
        if (row.w >= 0) {
            EXPECT_EQ(w->GetSize(), wxSize(row.w, row.h));
        }
        if (auto* text = dynamic_cast<wxTextCtrl*>(w)) {
            if (row.id != FerrikFrame::TXT_LOG_) {
                EXPECT_EQ(std::string(text->GetValue().utf8_str().data()), row.text);
            }
        } else {
            EXPECT_EQ(std::string(w->GetLabel().utf8_str().data()), row.text);
        }
    }
    EXPECT_EQ(frame->GetClientSize(), wxSize(464, 484));
    EXPECT_EQ(std::string(frame->GetTitle().utf8_str().data()), "Ferrik_v.0.0.1");
    EXPECT_EQ(std::string(frame->GetName().utf8_str().data()), "id");
    EXPECT_TRUE(frame->TxtLog->IsMultiLine());
    EXPECT_FALSE(frame->TxtLog->IsEditable());
}

TEST_F(MainWindow, RefusesTextLongerThanEachFieldsMaximum) {
    struct Limit {
        wxTextCtrl* field;
        size_t max;
    } limits[] = {{frame->TxtPageSize, 5},  {frame->TxtSpareSize, 3}, {frame->TxtPages, 3},
                  {frame->TxtRowMaxAddr, 8}, {frame->TxtNandId, 10},  {frame->TxtNameChip, 16}};
    for (const Limit& limit : limits) {
        limit.field->ChangeValue(wxEmptyString);
        limit.field->SetFocus();
        limit.field->SetInsertionPointEnd();
        // Typed one character at a time: the field stops at its maximum.
        for (size_t i = 0; i < limit.max + 1; ++i) limit.field->WriteText("7");
        EXPECT_EQ(limit.field->GetValue().length(), limit.max) << limit.field->GetName();
    }
}

TEST_F(MainWindow, ShowsTheWidestValueOfEachFieldWholeInAReadableFont) {
    // Each field with the widest text it is given: a page of 65534 bytes, 640
    // spare bytes, 2^24 rows, 128 pages a block, a ten-digit ID and a part
    // name of sixteen capitals and digits, as long as the field takes.
    const struct {
        wxTextCtrl* field;
        const char* widest;
    } cases[] = {{frame->TxtPageSize, "65534"},   {frame->TxtSpareSize, "640"},
                 {frame->TxtRowMaxAddr, "16777215"}, {frame->TxtNameChip, "MT29F4G08ABADAWP"},
                 {frame->TxtNandId, "ECF1009540"}, {frame->TxtPages, "128"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.widest);
        c.field->ChangeValue(c.widest);
        wxYield();
        // What GTK lays out: the text's own extent against the part of the
        // entry left for text once the theme's frame and padding are drawn.
        GtkEntry* entry = GTK_ENTRY(c.field->GetHandle());
        GdkRectangle area{};
        gtk_entry_get_text_area(entry, &area);
        int textWidth = 0, textHeight = 0;
        pango_layout_get_pixel_size(gtk_entry_get_layout(entry), &textWidth, &textHeight);
        EXPECT_GE(area.width, textWidth);
        EXPECT_GE(area.height, textHeight);
        // Readable: no smaller than 8 pt.
        const PangoFontDescription* font =
            pango_context_get_font_description(gtk_widget_get_pango_context(GTK_WIDGET(entry)));
        ASSERT_NE(font, nullptr);
        ASSERT_FALSE(pango_font_description_get_size_is_absolute(font));
        EXPECT_GE(pango_font_description_get_size(font), 8 * PANGO_SCALE);
    }
}

TEST_F(MainWindow, EchoesTheRowMaxInHexadecimal) {
    const struct {
        const char* typed;
        const char* shown;
    } cases[] = {{"65535", "0xFFFF"}, {"131071", "0x1FFFF"}, {"", "0x0"}, {"-1", "0xFFFFFFFF"}, {"12ab", "0xC"}};
    for (const auto& c : cases) {
        frame->TxtRowMaxAddr->SetValue(c.typed);
        EXPECT_EQ(std::string(frame->StaticText3->GetLabel().utf8_str().data()), c.shown) << c.typed;
    }
}

TEST_F(MainWindow, StartsWithTheGreenBannerAndTheRefusedSchedulingWarning) {
    // The tests run without the right to real-time scheduling.
    EXPECT_EQ(LogText(frame), kBanner + "warning: sched_setscheduler\n");
    EXPECT_EQ(LogColourAt(frame, 0), *wxGREEN);
    EXPECT_EQ(ColourOf(frame, "warning"), *wxGREEN);
}

TEST(MainWindowScheduling, GrantedRealTimeLeavesOnlyTheBanner) {
    RestoreRealtimePrivilege();
    FerrikFrame* frame = OpenFrame();
    const bool granted = sched_getscheduler(0) == SCHED_FIFO;
    sched_param normal{};
    sched_setscheduler(0, SCHED_OTHER, &normal);
    DropRealtimePrivilege();
    if (granted)
        EXPECT_EQ(LogText(frame), kBanner);
    else
        EXPECT_EQ(LogText(frame), kBanner + "warning: sched_setscheduler\n");
    CloseFrame(frame);
}
