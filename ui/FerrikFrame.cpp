#include "ui/FerrikFrame.h"

#include <gtk/gtk.h>
#include <sched.h>

#include <wx/gdicmn.h>
#include <wx/intl.h>
#include <wx/string.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include "bus/BusLock.h"
#include "chip/ChipFile.h"
#include "ui/FieldParse.h"

namespace {

// One process drives the bus: a second window, or a window beside a running
// ferrik-cli, ends at start-up as a window without /dev/mem does, with one
// line on standard output and status 255, before it touches a pin.
bool LockBusOrStop() {
    std::string refusal;
    if (TakeBusLock(refusal)) return true;
    std::printf("%s\n", refusal.c_str());
    std::fflush(stdout);
    std::exit(-1);
}

const bool busLocked = LockBusOrStop();

}  // namespace

// The bus is mapped and idle before the toolkit starts, and parked only after
// it has shut down: nandBus is constructed here, during static
// initialisation, before the window IDs and the event table, and after the
// bus's lock above.
NandBus nandBus;

int32_t pageTotal = 0;
int32_t rowMax = 0;
int32_t pagesPerBlock = 0;
char numberText[16] = {};
int32_t badBlocks[BAD_BLOCK_SLOTS] = {};
int32_t badBlocksWritten = 0;
EraseRecord windowEraseRecord = {pagesPerBlock, badBlocks, badBlocksWritten};

namespace {
BusChip ce0Chip;
}  // namespace

void FerrikFrame::UseJobChip(ChipPort* chip) { jobChip_ = chip ? chip : &ce0Chip; }

const long FerrikFrame::TXT_LOG_ = wxNewId();
const long FerrikFrame::ID_STATICBOX1 = wxNewId();
const long FerrikFrame::BTN_READ_ID_ = wxNewId();
const long FerrikFrame::BTN_READ_ = wxNewId();
const long FerrikFrame::BTN_ERACE_ = wxNewId();
const long FerrikFrame::BTN_WRITE_ = wxNewId();
const long FerrikFrame::TXT_PAGE_SIZE_ = wxNewId();
const long FerrikFrame::TXT_SPARE_SIZE_ = wxNewId();
const long FerrikFrame::ID_STATICTEXT2 = wxNewId();
const long FerrikFrame::ID_STATICTEXT1 = wxNewId();
const long FerrikFrame::TXT_ROW_MAX_ADDR_ = wxNewId();
const long FerrikFrame::TXT_NAME_CHIP_ = wxNewId();
const long FerrikFrame::ID_STATICTEXT4 = wxNewId();
const long FerrikFrame::ID_STATICTEXT5 = wxNewId();
const long FerrikFrame::TXT_NAND_ID_ = wxNewId();
const long FerrikFrame::BTN_SAVE_ = wxNewId();
const long FerrikFrame::ID_STATICTEXT3 = wxNewId();
const long FerrikFrame::TXT_PAGES_ = wxNewId();
const long FerrikFrame::ID_STATICTEXT6 = wxNewId();
const long FerrikFrame::BTN_VERIFY_ = wxNewId();
const long FerrikFrame::BTN_BLANK_ = wxNewId();

// Every binding is made at run time by the constructor; the table only chains
// to wxFrame's.
wxBEGIN_EVENT_TABLE(FerrikFrame, wxFrame)
wxEND_EVENT_TABLE()

namespace {

// The geometry fields are 32 to 104 px wide. The default theme's entry keeps
// 8 px of padding and a 1 px frame on each side, which leaves 14 px of text
// in the spare and block fields, too little even for their default "64", and
// cuts the ID, the one field that tells which chip answered. Two pixels of
// padding keep the frame and its look; a narrow face at 9 pt fits a 16-letter
// part name into the name field. Should the first face be missing, the next
// ones are narrow too.
const char kFieldStyle[] =
    "entry { padding-left: 2px; padding-right: 2px;"
    " font-family: \"PT Sans Narrow\", \"Liberation Sans Narrow\", \"DejaVu Sans Condensed\", sans-serif;"
    " font-size: 9pt; }";

// A one-line field of the box, centred, its max length set right after it is
// made: the window and the chip files agree on how long each value may be.
wxTextCtrl* NewField(wxWindow* parent, wxWindowID id, const wxString& text, const wxPoint& at, const wxSize& size,
                     size_t maxLength, const wxString& name) {
    wxTextCtrl* field = new wxTextCtrl(parent, id, text, at, size, wxTE_CENTRE, wxDefaultValidator, name);
    field->SetMaxLength(static_cast<unsigned long>(maxLength));
    return field;
}

void TightenFields(std::initializer_list<wxTextCtrl*> fields) {
    GtkCssProvider* style = gtk_css_provider_new();
    gtk_css_provider_load_from_data(style, kFieldStyle, -1, nullptr);
    // Each entry's style context keeps its own reference.
    for (wxTextCtrl* field : fields)
        gtk_style_context_add_provider(gtk_widget_get_style_context(field->GetHandle()), GTK_STYLE_PROVIDER(style),
                                       GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(style);
}

}  // namespace

FerrikFrame::FerrikFrame(wxWindow* parent, wxWindowID id) {
    UseJobChip(nullptr);
    UseJobProgress(nullptr);
    Create(parent, id, _("Ferrik_v.0.0.1"), wxDefaultPosition, wxDefaultSize, wxDEFAULT_FRAME_STYLE, _T("id"));
    SetClientSize(wxSize(464, 484));
    SetMaxSize(wxSize(-1, -1));

    TxtLog = new wxTextCtrl(this, TXT_LOG_, wxEmptyString, wxPoint(8, 128), wxSize(448, 352),
                            wxTE_MULTILINE | wxTE_READONLY, wxDefaultValidator, _T("TXT_LOG_"));
    StaticBox1 = new wxStaticBox(this, ID_STATICBOX1, wxEmptyString, wxPoint(88, 0), wxSize(288, 120), 0,
                                 _T("ID_STATICBOX1"));
    BtnReadId = new wxButton(this, BTN_READ_ID_, _("<Detect>"), wxPoint(8, 16), wxSize(72, 24), 0,
                             wxDefaultValidator, _T("BTN_READ_ID_"));
    BtnRead = new wxButton(this, BTN_READ_, _("<Read>"), wxPoint(8, 56), wxSize(72, 24), 0, wxDefaultValidator,
                           _T("BTN_READ_"));
    BtnErace = new wxButton(this, BTN_ERACE_, _("<Erace>"), wxPoint(384, 16), wxSize(72, 24), 0,
                            wxDefaultValidator, _T("BTN_ERACE_"));
    BtnWrite = new wxButton(this, BTN_WRITE_, _("<Write>"), wxPoint(384, 96), wxSize(72, 24), 0,
                            wxDefaultValidator, _T("BTN_WRITE_"));
    TxtPageSize = NewField(this, TXT_PAGE_SIZE_, _("2048"), wxPoint(104, 32), wxSize(40, 27),
                           CHIP_FIELD_LENGTHS[KEY_PAGE], _T("TXT_PAGE_SIZE_"));
    TxtSpareSize = NewField(this, TXT_SPARE_SIZE_, _("64"), wxPoint(160, 32), wxSize(32, 27),
                            CHIP_FIELD_LENGTHS[KEY_SPARE], _T("TXT_SPARE_SIZE_"));
    StaticText2 = new wxStaticText(this, ID_STATICTEXT2, _("Row Max Addr"), wxPoint(96, 64), wxDefaultSize, 0,
                                   _T("ID_STATICTEXT2"));
    StaticText1 = new wxStaticText(this, ID_STATICTEXT1, _("Page Size + Spare"), wxPoint(96, 16), wxDefaultSize,
                                   0, _T("ID_STATICTEXT1"));
    TxtRowMaxAddr = NewField(this, TXT_ROW_MAX_ADDR_, _("65535"), wxPoint(104, 80), wxSize(56, 27),
                             CHIP_FIELD_LENGTHS[KEY_ROW], _T("TXT_ROW_MAX_ADDR_"));
    TxtNameChip = NewField(this, TXT_NAME_CHIP_, _("No Name"), wxPoint(216, 32), wxSize(104, 27),
                           CHIP_FIELD_LENGTHS[KEY_NAME], _T("TXT_NAME_CHIP_"));
    StaticText4 = new wxStaticText(this, ID_STATICTEXT4, _("Name Chip"), wxPoint(240, 16), wxDefaultSize, 0,
                                   _T("ID_STATICTEXT4"));
    StaticText5 = new wxStaticText(this, ID_STATICTEXT5, _("Nand ID"), wxPoint(232, 64), wxDefaultSize, 0,
                                   _T("ID_STATICTEXT5"));
    TxtNandId = NewField(this, TXT_NAND_ID_, _("FFFFFFFFFF"), wxPoint(216, 80), wxSize(72, 24),
                         CHIP_FIELD_LENGTHS[KEY_ID], _T("TXT_NAND_ID_"));
    BtnSave = new wxButton(this, BTN_SAVE_, _("Save"), wxPoint(328, 32), wxSize(40, 24), 0, wxDefaultValidator,
                           _T("BTN_SAVE_"));
    StaticText3 = new wxStaticText(this, ID_STATICTEXT3, _("0xFFFF"), wxPoint(160, 88), wxDefaultSize, 0,
                                   _T("ID_STATICTEXT3"));
    TxtPages = NewField(this, TXT_PAGES_, _("64"), wxPoint(336, 80), wxSize(32, 24),
                        CHIP_FIELD_LENGTHS[KEY_BLOCK], _T("TXT_PAGES_"));
    StaticText6 = new wxStaticText(this, ID_STATICTEXT6, _("1 Block ="), wxPoint(320, 64), wxDefaultSize, 0,
                                   _T("ID_STATICTEXT6"));
    BtnVerify = new wxButton(this, BTN_VERIFY_, _("<Verify>"), wxPoint(8, 96), wxSize(72, 24), 0,
                             wxDefaultValidator, _T("BTN_VERIFY_"));
    BtnBlank = new wxButton(this, BTN_BLANK_, _("<Blank>"), wxPoint(384, 56), wxSize(72, 24), 0,
                            wxDefaultValidator, _T("BTN_BLANK_"));
    TightenFields({TxtPageSize, TxtSpareSize, TxtRowMaxAddr, TxtNameChip, TxtNandId, TxtPages});
    Centre(wxBOTH);

    Connect(BTN_READ_ID_, wxEVT_BUTTON, wxCommandEventHandler(FerrikFrame::OnDetect));
    Connect(BTN_READ_, wxEVT_BUTTON, wxCommandEventHandler(FerrikFrame::OnRead));
    Connect(BTN_ERACE_, wxEVT_BUTTON, wxCommandEventHandler(FerrikFrame::OnErase));
    Connect(BTN_WRITE_, wxEVT_BUTTON, wxCommandEventHandler(FerrikFrame::OnWrite));
    Connect(TXT_ROW_MAX_ADDR_, wxEVT_TEXT, wxCommandEventHandler(FerrikFrame::OnRowTextChanged));
    Connect(BTN_SAVE_, wxEVT_BUTTON, wxCommandEventHandler(FerrikFrame::OnSave));
    Connect(BTN_VERIFY_, wxEVT_BUTTON, wxCommandEventHandler(FerrikFrame::OnVerify));
    Connect(BTN_BLANK_, wxEVT_BUTTON, wxCommandEventHandler(FerrikFrame::OnBlank));

    if (GpioIsRp1()) LogRedThenBlue(wxString(kPi5Line) + "\n");
    LogGreen();
    LogAppend(_T("//#############################################################//\n"));

    // Every job runs on this thread; real-time priority keeps the bus loops
    // from being preempted in the middle of a page.
    sched_param param{};
    param.sched_priority = sched_get_priority_max(SCHED_FIFO);
    if (sched_setscheduler(0, SCHED_FIFO, &param) < 0) {
        LogAppend(_T("warning: sched_setscheduler"));
        LogAppend(_T("\n"));
    }
}

void FerrikFrame::LogColour(const wxColour& colour) {
    TxtLog->SetDefaultStyle(wxTextAttr(colour, wxNullColour, wxNullFont));
}

void FerrikFrame::LogRed() { LogColour(*wxStockGDI::GetColour(wxStockGDI::COLOUR_RED)); }
void FerrikFrame::LogBlue() { LogColour(*wxStockGDI::GetColour(wxStockGDI::COLOUR_BLUE)); }
void FerrikFrame::LogGreen() { LogColour(*wxStockGDI::GetColour(wxStockGDI::COLOUR_GREEN)); }

void FerrikFrame::LogAppend(const wxString& text) { TxtLog->AppendText(text); }

void FerrikFrame::LogRedThenBlue(const wxString& text) {
    LogRed();
    LogAppend(text);
    LogBlue();
}

void FerrikFrame::LogNumber(const char* format, long value) {
    std::snprintf(numberText, sizeof numberText, format, static_cast<int>(value));
    LogAppend(wxString(numberText, wxConvLibc));
}

int32_t FerrikFrame::ParseField(const wxTextCtrl* field) { return ParseFieldText(field->GetValue()); }

void FerrikFrame::OnRowTextChanged(wxCommandEvent& /*event*/) {
    FormatRowMaxEcho(ParseField(TxtRowMaxAddr), numberText, sizeof numberText);
    StaticText3->SetLabel(wxString(numberText, wxConvLibc));
}
