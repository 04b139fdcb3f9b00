// The main window: the job buttons, the chip fields, and the coloured log.
#pragma once

#include <wx/button.h>
#include <wx/colour.h>
#include <wx/frame.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <cstdint>

#include "bus/NandBus.h"
#include "jobs/Job.h"

// Program-wide job state, kept between jobs for as long as the program runs.
extern int32_t pageTotal;
extern int32_t rowMax;
extern int32_t pagesPerBlock;  // the field's value truncated to 16 bits
extern char numberText[16];
extern int32_t badBlocks[BAD_BLOCK_SLOTS];
// How many leading entries of badBlocks some erase run has written since the
// program started. Every run writes from the first entry on, so the written
// entries are always the first badBlocksWritten ones; an entry beyond them
// holds the start-up zero and names no block.
extern int32_t badBlocksWritten;
// What the erase runs leave for the blank check: the three above.
extern EraseRecord windowEraseRecord;

class FerrikFrame : public wxFrame {
public:
    FerrikFrame(wxWindow* parent, wxWindowID id);

    static const long TXT_LOG_;
    static const long ID_STATICBOX1;
    static const long BTN_READ_ID_;
    static const long BTN_READ_;
    static const long BTN_ERACE_;
    static const long BTN_WRITE_;
    static const long TXT_PAGE_SIZE_;
    static const long TXT_SPARE_SIZE_;
    static const long ID_STATICTEXT2;
    static const long ID_STATICTEXT1;
    static const long TXT_ROW_MAX_ADDR_;
    static const long TXT_NAME_CHIP_;
    static const long ID_STATICTEXT4;
    static const long ID_STATICTEXT5;
    static const long TXT_NAND_ID_;
    static const long BTN_SAVE_;
    static const long ID_STATICTEXT3;
    static const long TXT_PAGES_;
    static const long ID_STATICTEXT6;
    static const long BTN_VERIFY_;
    static const long BTN_BLANK_;

    wxTextCtrl* TxtPageSize;
    wxButton* BtnErace;
    wxStaticText* StaticText2;
    wxTextCtrl* TxtSpareSize;
    wxButton* BtnRead;
    wxStaticText* StaticText1;
    wxStaticText* StaticText6;
    wxStaticBox* StaticBox1;
    wxTextCtrl* TxtRowMaxAddr;
    wxButton* BtnWrite;
    wxButton* BtnSave;
    wxTextCtrl* TxtPages;
    wxButton* BtnVerify;
    wxStaticText* StaticText5;
    wxTextCtrl* TxtLog;
    wxButton* BtnBlank;
    wxButton* BtnReadId;
    wxTextCtrl* TxtNandId;
    wxStaticText* StaticText4;
    wxTextCtrl* TxtNameChip;
    wxStaticText* StaticText3;

    // Job handlers, bound with Connect by the constructor.
    void OnDetect(wxCommandEvent& event);
    void OnRead(wxCommandEvent& event);
    void OnErase(wxCommandEvent& event);
    void OnWrite(wxCommandEvent& event);
    void OnRowTextChanged(wxCommandEvent& event);
    void OnSave(wxCommandEvent& event);
    void OnVerify(wxCommandEvent& event);
    void OnBlank(wxCommandEvent& event);

    // The log pane's two operations: set the text colour, append a piece.
    void LogColour(const wxColour& colour);
    void LogRed();
    void LogBlue();
    void LogGreen();
    void LogAppend(const wxString& text);
    // One piece in red, then blue again: how every refusal and warning reads.
    void LogRedThenBlue(const wxString& text);
    // Formats into numberText and appends it as a piece of its own.
    void LogNumber(const char* format, long value);

    // The one parse rule of the fields: locale conversion, then strtol base 10.
    static int32_t ParseField(const wxTextCtrl* field);

    // The chip the window's jobs work on (the CE0 chip of nandBus) and the
    // progress display they report to (the window's progress dialog), or a
    // stand-in or wrapper a test or a benchmark puts in; nullptr puts the
    // window's own back.
    ChipPort& JobChip() const { return *jobChip_; }
    ProgressSink& JobProgress() const { return *jobProgress_; }
    void UseJobChip(ChipPort* chip);
    void UseJobProgress(ProgressSink* progress);

private:
    ChipPort* jobChip_;
    ProgressSink* jobProgress_;

    wxDECLARE_EVENT_TABLE();
};
