// The window's jobs: each handler reads its fields, runs the job core with
// the window's log pane, progress dialog and file dialogs, and leaves the
// program-wide job state as the next job expects it.
#include <wx/filedlg.h>
#include <wx/progdlg.h>

#include <memory>
#include <string>

#include "chip/ChipFile.h"
#include "jobs/JobLog.h"
#include "jobs/Jobs.h"
#include "ui/FerrikFrame.h"
#include "ui/FieldParse.h"

namespace {

// Pieces go to the log pane in the colour in force, which the pane keeps
// between jobs.
class WindowLog final : public LogSink {
public:
    explicit WindowLog(FerrikFrame& frame) : frame_(frame) {}
    void SetColour(LogColour colour) override {
        switch (colour) {
            case LogColour::Red: frame_.LogRed(); break;
            case LogColour::Blue: frame_.LogBlue(); break;
            case LogColour::Green: frame_.LogGreen(); break;
        }
    }
    void Append(const char* text) override { frame_.LogAppend(wxString::FromUTF8(text)); }

private:
    FerrikFrame& frame_;
};

// An application-modal progress dialog without a cancel button: it keeps
// every other button from starting a job while one runs.
class WindowProgress final : public ProgressSink {
public:
    void Begin(const char* title, const char* message, int32_t maximum, int64_t, int64_t) override {
        dialog_.reset(new wxProgressDialog(wxString::FromUTF8(title), wxString::FromUTF8(message), maximum, nullptr,
                                           wxPD_APP_MODAL | wxPD_AUTO_HIDE));
    }
    void Update(int32_t value) override {
        if (dialog_) dialog_->Update(value, wxEmptyString);
    }
    void End() override { dialog_.reset(); }

private:
    std::unique_ptr<wxProgressDialog> dialog_;
};

// One for all jobs: the dialog's modality keeps a second job from starting
// while one runs.
WindowProgress windowProgress;

// The window's file dialogs: their titles, proposed names and filters.
class WindowFiles final : public PathChooser {
public:
    explicit WindowFiles(FerrikFrame& frame) : frame_(frame) {}
    bool Choose(FileUse use, std::string& path) override {
        const bool chipFile = use == FileUse::SaveChipFile;
        const bool saves = chipFile || use == FileUse::SaveDump;
        // Proposing the ID string as the name means a chip file saved into
        // its maker directory is the one the next Detect of this chip finds.
        const wxString proposed = chipFile ? frame_.TxtNandId->GetValue()
                                  : use == FileUse::SaveDump ? wxString("name_dump")
                                                             : wxString();
        const char* message = chipFile ? "Save id nand file" : saves ? "Save bin file" : "Open bin file";
        const long style = saves ? wxFD_SAVE | wxFD_OVERWRITE_PROMPT : wxFD_OPEN | wxFD_FILE_MUST_EXIST;
        wxFileDialog dialog(&frame_, message, wxEmptyString, proposed,
                            chipFile ? "file id (*)|*" : "bin files (*.bin)|*.bin", style, wxDefaultPosition,
                            wxDefaultSize);
        if (dialog.ShowModal() != wxID_OK) return false;
        path = dialog.GetPath().utf8_str().data();
        return true;
    }

private:
    FerrikFrame& frame_;
};

// The chip fields of the window, for Detect.
class WindowFields final : public ChipFields {
public:
    explicit WindowFields(FerrikFrame& frame)
        : field_{frame.TxtNameChip, frame.TxtNandId, frame.TxtRowMaxAddr,
                 frame.TxtPageSize, frame.TxtSpareSize, frame.TxtPages} {}
    void Set(int key, const char* value) override {
        // A value the locale cannot convert sets the field empty; so does one
        // longer than the field allows.
        field_[key]->SetValue(wxString(value, wxConvLibc));
    }
    std::string Get(int key) const override { return field_[key]->GetValue().utf8_str().data(); }

private:
    wxTextCtrl* field_[CHIP_FILE_KEYS];
};

// Runs a job with the window's log, progress dialog and chip, once its plan
// is accepted: the whole chip, by the geometry in the fields.
template <typename Run>
void WithPlan(FerrikFrame& frame, const Geometry& geometry, GeometryUse use, bool readsMarks, Run run) {
    WindowLog log(frame);
    JobLog refusals(log);
    JobPlan plan;
    if (!AcceptPlan(refusals, geometry, {use}, readsMarks, BlocksAsked{}, plan)) return;
    JobContext job{log, frame.JobProgress(), frame.JobChip()};
    run(job, plan);
}

// The geometry in the fields; the program-wide job state follows it.
Geometry FieldGeometry(const FerrikFrame& frame) {
    Geometry g;
    g.pageSize = FerrikFrame::ParseField(frame.TxtPageSize);
    g.spareSize = FerrikFrame::ParseField(frame.TxtSpareSize);
    g.rowMax = FerrikFrame::ParseField(frame.TxtRowMaxAddr);
    pageTotal = static_cast<int32_t>(g.PageTotal());
    rowMax = g.rowMax;
    return g;
}

}  // namespace

void FerrikFrame::UseJobProgress(ProgressSink* progress) { jobProgress_ = progress ? progress : &windowProgress; }

void FerrikFrame::OnDetect(wxCommandEvent& /*event*/) {
    WindowLog log(*this);
    WindowFields fields(*this);
    WholeBus bus;
    RunDetect(log, bus, fields);
}

void FerrikFrame::OnSave(wxCommandEvent& /*event*/) {
    const wxTextCtrl* const fields[CHIP_FILE_KEYS] = {TxtNameChip, TxtNandId,    TxtRowMaxAddr,
                                                      TxtPageSize, TxtSpareSize, TxtPages};
    std::string texts[CHIP_FILE_KEYS];
    const char* values[CHIP_FILE_KEYS];
    for (int key = 0; key < CHIP_FILE_KEYS; ++key) {
        // Null when the locale cannot represent the text: Save refuses it.
        values[key] = ToLocaleText(fields[key]->GetValue(), texts[key]) ? texts[key].c_str() : nullptr;
    }
    WindowLog log(*this);
    WindowFiles files(*this);
    RunSave(log, files, values);
}

void FerrikFrame::OnRead(wxCommandEvent& /*event*/) {
    WindowFiles files(*this);
    WithPlan(*this, FieldGeometry(*this), GeometryUse::ReadDump, false,
             [&](JobContext& job, const JobPlan& plan) { RunReadDump(job, plan, files, ReadOptions{}); });
}

void FerrikFrame::OnWrite(wxCommandEvent& /*event*/) {
    WindowFiles files(*this);
    WithPlan(*this, FieldGeometry(*this), GeometryUse::WriteOrVerify, false,
             [&](JobContext& job, const JobPlan& plan) { RunWrite(job, plan, files, WriteOptions{}); });
}

void FerrikFrame::OnVerify(wxCommandEvent& /*event*/) {
    WindowFiles files(*this);
    WithPlan(*this, FieldGeometry(*this), GeometryUse::WriteOrVerify, false,
             [&](JobContext& job, const JobPlan& plan) { RunVerify(job, plan, files, VerifyOptions{}); });
}

void FerrikFrame::OnErase(wxCommandEvent& /*event*/) {
    Geometry geometry;
    // The window keeps the pages per block 16 bits wide, and a blank check
    // after this run goes by them whatever comes of it.
    pagesPerBlock = static_cast<int16_t>(ParseField(TxtPages));
    geometry.pagesPerBlock = pagesPerBlock;
    // The page size finds the spare area, where a block's factory mark is
    // read before the block is erased.
    geometry.pageSize = ParseField(TxtPageSize);
    geometry.rowMax = ParseField(TxtRowMaxAddr);
    rowMax = geometry.rowMax;
    WithPlan(*this, geometry, GeometryUse::Erase, true, [&](JobContext& job, const JobPlan& plan) {
        RunErase(job, plan, windowEraseRecord, EraseOptions{});
    });
}

void FerrikFrame::OnBlank(wxCommandEvent& /*event*/) {
    WithPlan(*this, FieldGeometry(*this), GeometryUse::BlankCheck, false, [&](JobContext& job, const JobPlan& plan) {
        RunBlankCheck(job, plan, windowEraseRecord, BlankOptions{});
    });
}
