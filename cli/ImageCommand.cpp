// image ecc, image strip, image spare: from a raw dump to what a device's
// software takes, and back, on files alone. None of them needs a chip: they
// never start the bus.
#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "chip/ChipFile.h"
#include "cli/ChipPlan.h"
#include "cli/Commands.h"
#include "cli/EccOption.h"
#include "cli/ExitStatus.h"
#include "cli/Report.h"
#include "cli/Session.h"
#include "cli/Stop.h"
#include "jobs/BadBlocks.h"
#include "jobs/DumpFile.h"
#include "jobs/Ecc.h"
#include "jobs/JobLog.h"

namespace {

// The blocks of a dump checked for guessing: enough steps for clear figures,
// few enough that eighteen schemes take a moment on a whole dump.
constexpr size_t GUESS_PAGES = 1024;

std::string Count(int64_t n) { return std::to_string(n); }

// The geometry the chip commands would take from --chip and --page, --spare
// and --pages-per-block, without asking any chip: a dump knows its rows by
// its size. pagesPerBlock stays 0 when neither names it.
int TakeGeometry(Session& session, Geometry& g) {
    const Args& args = session.args;
    g = Geometry{};
    if (args.Has("--chip")) {
        GeometryFound found;
        if (const int status = ReadChipOption(session, found)) return status;
        g.pageSize = found.geometry.pageSize;
        g.spareSize = found.geometry.spareSize;
        g.pagesPerBlock = found.geometry.pagesPerBlock;
    } else if (!args.Has("--page") || !args.Has("--spare")) {
        return session.UsageError(std::string(session.command.name) +
                                  " needs the geometry: --chip FILE, or --page and --spare");
    }
    if (args.Has("--page")) g.pageSize = static_cast<int32_t>(args.Number("--page"));
    if (args.Has("--spare")) g.spareSize = static_cast<int32_t>(args.Number("--spare"));
    if (args.Has("--pages-per-block")) g.pagesPerBlock = static_cast<int32_t>(args.Number("--pages-per-block"));
    if (g.pageSize <= 0 || g.spareSize < 0 || g.PageTotal() > LARGEST_PAGE_TOTAL)
        return session.UsageError("page " + Count(g.pageSize) + " + spare " + Count(g.spareSize) +
                                  " is no page geometry (a page of 1 to " + Count(LARGEST_PAGE_TOTAL) +
                                  " bytes with its spare)");
    if (g.pagesPerBlock < 0) g.pagesPerBlock = 0;
    return 0;
}

int TakeScheme(Session& session, const Geometry& g, EccScheme& scheme, PageEcc& ecc) {
    if (const int status = TakeEccScheme(session, scheme)) return status;
    return SetUpEcc(session, scheme, g, ecc);
}

// A file read in records of `record` bytes; its size must be a whole number
// of them.
int OpenRecords(Session& session, const std::string& path, int64_t record, const std::string& what, DumpFile& file,
                int64_t& records) {
    if (!file.OpenToRead(path)) {
        session.Say("cannot read " + path + ": " + std::strerror(errno));
        return EXIT_FILE;
    }
    const int64_t size = file.Size();
    if (size == 0 || size % record != 0)
        return session.UsageError(path + " holds " + Count(size) + " bytes, not a whole number of " + Count(record) +
                                  "-byte " + what + ": is the geometry right?");
    records = size / record;
    return 0;
}

int OpenOutput(Session& session, const std::string& path, DumpFile& file) {
    if (file.CreateToWrite(path)) return 0;
    session.Say("cannot write " + path + ": " + std::strerror(errno));
    return EXIT_FILE;
}

// Puts a written file in place, or says why it could not be.
int CommitOutput(Session& session, const std::string& path, DumpFile& file, bool written) {
    if (written && file.Commit()) return 0;
    const int error = errno;
    file.Abandon();
    session.Say("could not write " + path + ": " + std::strerror(error));
    return EXIT_FILE;
}

bool ReadRecord(DumpFile& file, uint8_t* record, size_t bytes) {
    return std::fread(record, 1, bytes, file.Get()) == bytes;
}

int ReadFailed(Session& session, const std::string& path, DumpFile* output) {
    const int error = errno;
    if (output != nullptr) output->Abandon();
    session.Say("could not read " + path + ": " + (error != 0 ? std::strerror(error) : "it ended early"));
    return EXIT_FILE;
}

int Interrupted(Session& session, int64_t page, DumpFile* output) {
    if (output != nullptr) output->Abandon();
    JobLog log(session.log);
    log.RedThenBlue("Interrupted: stopped before page " + Count(page) + "\n");
    return EXIT_INTERRUPTED;
}

bool StopAsked(Session& session) { return StopSignalled() || session.progress.StopRequested(); }

// The factory mark as the chip jobs read it: the first spare byte of the
// block's first or second page is not 0xFF.
bool BlockMarked(const std::vector<uint8_t>& block, int pages, const Geometry& g) {
    for (int i = 0; i < pages && i < 2; ++i)
        if (block[static_cast<size_t>(i * g.PageTotal() + g.pageSize)] != 0xFF) return true;
    return false;
}

// A dump read a block at a time (64 pages when the block size is not
// known), under the progress bar, with a stop asked for honoured between
// blocks. `output`, the file being written, is abandoned when the run
// stops there or the dump cannot be read.
class DumpBlocks {
public:
    DumpBlocks(Session& session, DumpFile& file, const std::string& path, const Geometry& g, int64_t pages,
               DumpFile* output, const char* title, const char* message)
        : session_(session), file_(file), path_(path), output_(output), pages_(pages),
          chunk_(g.pagesPerBlock > 0 ? g.pagesPerBlock : 64), record_(static_cast<size_t>(g.PageTotal())),
          bytes_(static_cast<size_t>(chunk_) * record_) {
        session.progress.Begin(title, message, 100, pages, g.PageTotal());
    }

    // The next block read. False at the dump's end, with status 0; or, the
    // progress ended, with the status of a stop or of a dump that could not
    // be read, after saying so.
    bool Next(int& status) {
        status = 0;
        if (n_ != 0) {
            first_ += n_;
            ++block_;
        }
        if (first_ >= pages_) return false;
        n_ = static_cast<int>(std::min<int64_t>(chunk_, pages_ - first_));
        if (StopAsked(session_)) {
            session_.progress.End();
            status = Interrupted(session_, first_, output_);
            return false;
        }
        for (int i = 0; i < n_; ++i)
            if (!ReadRecord(file_, Page(i), record_)) {
                session_.progress.End();
                status = ReadFailed(session_, path_, output_);
                return false;
            }
        return true;
    }

    int64_t Block() const { return block_; }
    int64_t First() const { return first_; }
    int Pages() const { return n_; }
    uint8_t* Page(int i) { return bytes_.data() + static_cast<size_t>(i) * record_; }
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    Session& session_;
    DumpFile& file_;
    const std::string& path_;
    DumpFile* output_;
    const int64_t pages_;
    const int chunk_;
    const size_t record_;
    std::vector<uint8_t> bytes_;
    int64_t first_ = 0;
    int64_t block_ = 0;
    int n_ = 0;
};

bool AllOnes(const uint8_t* bytes, size_t n) {
    for (size_t i = 0; i < n; ++i)
        if (bytes[i] != 0xFF) return false;
    return true;
}

// ---- image ecc ----------------------------------------------------------

struct Tally {
    int64_t counts[5] = {};  // by EccStepState
    int64_t bits = 0;        // corrected bits
    int64_t Steps() const { return counts[0] + counts[1] + counts[2] + counts[3] + counts[4]; }
    void Add(const Tally& other) {
        for (int i = 0; i < 5; ++i) counts[i] += other.counts[i];
        bits += other.bits;
    }
    // The steps of one page.
    void Add(const std::vector<EccStep>& steps) {
        for (const EccStep& step : steps) {
            ++counts[static_cast<int>(step.state)];
            if (step.state == EccStepState::Corrected) bits += step.bits;
        }
    }
    int64_t Of(EccStepState s) const { return counts[static_cast<int>(s)]; }
    std::string Text() const {
        return Count(Steps()) + " steps: " + Count(Of(EccStepState::Clean)) + " clean, " +
               Count(Of(EccStepState::Corrected)) + " corrected (" + Count(bits) + " bits), " +
               Count(Of(EccStepState::Uncorrectable)) + " uncorrectable, " + Count(Of(EccStepState::Erased)) +
               " erased, " + Count(Of(EccStepState::ErasedFlips)) + " erased with bit flips";
    }
    std::string Json() const {
        return "\"steps\": " + Count(Steps()) + ", \"clean\": " + Count(Of(EccStepState::Clean)) +
               ", \"corrected\": " + Count(Of(EccStepState::Corrected)) + ", \"correctedBits\": " + Count(bits) +
               ", \"uncorrectable\": " + Count(Of(EccStepState::Uncorrectable)) +
               ", \"erased\": " + Count(Of(EccStepState::Erased)) +
               ", \"erasedWithBitFlips\": " + Count(Of(EccStepState::ErasedFlips));
    }
};

std::string Where(const EccFlip& flip, const Geometry& g) {
    if (flip.offset < g.pageSize) return "data byte " + Count(flip.offset) + " bit " + Count(flip.bit);
    return "spare byte " + Count(flip.offset - g.pageSize) + " bit " + Count(flip.bit);
}

// The line of one step that is neither clean nor erased.
void TellStep(JobLog& log, int64_t page, size_t s, const EccStep& step, const Geometry& g) {
    std::string line = "Page " + Count(page) + " step " + Count(static_cast<int64_t>(s)) + ": ";
    if (step.state == EccStepState::Uncorrectable) {
        log.RedThenBlue(line + "uncorrectable\n");
        return;
    }
    line += step.state == EccStepState::Corrected ? "corrected " + Count(step.bits) + (step.bits == 1 ? " bit: " : " bits: ")
                                                  : "erased with " + Count(step.bits) + " bit" +
                                                        (step.bits == 1 ? "" : "s") + " read as 0: ";
    for (int i = 0; i < step.bits; ++i) line += (i ? ", " : "") + Where(step.flips[i], g);
    log.Put(line + "\n");
}

std::string JsonStep(int64_t page, size_t s, const EccStep& step) {
    std::string text = "{\"page\": " + Count(page) + ", \"step\": " + Count(static_cast<int64_t>(s)) +
                       ", \"state\": " + JsonString(EccStepStateName(step.state)) + ", \"flips\": [";
    for (int i = 0; i < step.bits; ++i)
        text += std::string(i ? ", " : "") + "{\"offset\": " + Count(step.flips[i].offset) + ", \"bit\": " +
                Count(step.flips[i].bit) + "}";
    return text + "]}";
}

// Which built-in scheme fits: each one tried on up to GUESS_PAGES programmed
// pages spread over the dump.
int Guess(Session& session, const Geometry& g, DumpFile& file, int64_t pages) {
    JobLog log(session.log);
    const size_t record = static_cast<size_t>(g.PageTotal());
    std::vector<uint8_t> page(record);
    std::vector<int64_t> programmed;
    for (int64_t k = 0; k < pages; ++k) {
        if (!ReadRecord(file, page.data(), record)) return ReadFailed(session, session.args.Operand(), nullptr);
        if (!AllOnes(page.data(), record)) programmed.push_back(k);
    }
    if (programmed.empty()) {
        log.RedThenBlue("Nothing to guess from: every page of the dump is erased (all 0xFF)\n");
        return EXIT_CHIP_FAILED;
    }
    const size_t taken = std::min(programmed.size(), GUESS_PAGES);
    std::vector<uint8_t> sample(taken * record);
    for (size_t i = 0; i < taken; ++i) {
        const int64_t k = programmed[i * programmed.size() / taken];
        if (fseeko(file.Get(), static_cast<off_t>(k * g.PageTotal()), SEEK_SET) != 0 ||
            !ReadRecord(file, sample.data() + i * record, record))
            return ReadFailed(session, session.args.Operand(), nullptr);
    }
    log.Put("Guessing the ECC from " + Count(static_cast<int64_t>(taken)) + " of the dump's " +
            Count(static_cast<int64_t>(programmed.size())) + " programmed pages (page " + Count(g.pageSize) +
            " + spare " + Count(g.spareSize) + ")\n");

    struct Trial {
        std::string name;
        Tally tally;
    };
    std::vector<Trial> trials;
    std::string unfit;
    std::vector<EccStep> steps;
    std::vector<uint8_t> copy(record);
    for (const EccScheme& scheme : BuiltInEccSchemes()) {
        PageEcc ecc;
        std::string why;
        if (!ecc.Setup(scheme, g.pageSize, g.spareSize, why)) {
            unfit += (unfit.empty() ? "" : ", ") + scheme.name;
            continue;
        }
        Trial trial{ecc.Describe(), {}};
        for (size_t i = 0; i < taken; ++i) {
            std::memcpy(copy.data(), sample.data() + i * record, record);
            ecc.Check(copy.data(), false, steps);
            trial.tally.Add(steps);
        }
        trials.push_back(trial);
    }
    if (trials.empty()) {
        log.RedThenBlue("No built-in scheme fits a spare area of " + Count(g.spareSize) + " bytes\n");
        return EXIT_CHIP_FAILED;
    }
    std::stable_sort(trials.begin(), trials.end(), [](const Trial& a, const Trial& b) {
        return a.tally.Of(EccStepState::Clean) > b.tally.Of(EccStepState::Clean);
    });
    for (const Trial& trial : trials) {
        const Tally& t = trial.tally;
        // Erased steps of programmed pages say nothing of the code.
        const int64_t written = t.Steps() - t.Of(EccStepState::Erased) - t.Of(EccStepState::ErasedFlips);
        log.Put(trial.name + ": " + Count(t.Of(EccStepState::Clean)) + " of " + Count(written) +
                " programmed steps clean, " + Count(t.Of(EccStepState::Corrected)) + " corrected, " +
                Count(t.Of(EccStepState::Uncorrectable)) + " uncorrectable\n");
    }
    if (!unfit.empty()) log.Put("Not tried, their ECC does not fit the spare area: " + unfit + "\n");
    const Tally& best = trials.front().tally;
    const int64_t written = best.Steps() - best.Of(EccStepState::Erased) - best.Of(EccStepState::ErasedFlips);
    const int64_t clean = best.Of(EccStepState::Clean);
    const int64_t good = clean + best.Of(EccStepState::Corrected);
    // A wrong code leaves next to no step clean; weak pages leave a right one
    // a few corrected or lost.
    if (written > 0 && 2 * clean >= written && 10 * good >= 9 * written) {
        log.Green();
        log.Put("Fits: " + trials.front().name + "\n");
        log.Blue();
        return EXIT_DONE;
    }
    log.RedThenBlue("None of the built-in schemes fits: the best, " + trials.front().name + ", finds " +
                    Count(clean) + " of " + Count(written) +
                    " programmed steps clean (an --ecc-layout file can place the ECC otherwise)\n");
    return EXIT_CHIP_FAILED;
}

// What image ecc tells of the pages and blocks it checks: lines in the log,
// or the members of its JSON object.
class EccReport {
public:
    EccReport(Session& session, const Geometry& g) : log_(session.log), json_(session.args.Has("--json")), g_(g) {}

    // A page's steps, each that is neither clean nor erased.
    void Page(int64_t k, const std::vector<EccStep>& steps, int64_t lost) {
        const auto told = [](const EccStep& step) {
            return step.state != EccStepState::Clean && step.state != EccStepState::Erased;
        };
        if (json_) {
            for (size_t s = 0; s < steps.size(); ++s)
                if (told(steps[s]))
                    findingsJson_ += (findingsJson_.empty() ? "\n    " : ",\n    ") + JsonStep(k, s, steps[s]);
        } else if (lost == static_cast<int64_t>(steps.size()) && lost > 1) {
            log_.RedThenBlue("Page " + Count(k) + ": all " + Count(lost) + " steps uncorrectable\n");
        } else {
            for (size_t s = 0; s < steps.size(); ++s)
                if (told(steps[s])) TellStep(log_, k, s, steps[s], g_);
        }
    }

    // A block, when the pages per block are known: in JSON every one, in
    // the log one marked or with a step neither clean nor erased.
    void Block(int64_t b, bool isMarked, const Tally& tally) {
        if (json_) {
            blocksJson_ += std::string(blocksJson_.empty() ? "\n    " : ",\n    ") + "{\"block\": " + Count(b) +
                           ", \"marked\": " + (isMarked ? "true" : "false") + ", " + tally.Json() + "}";
        } else if (isMarked) {
            log_.Put("Block " + Count(b) + ": factory-marked, not checked\n");
        } else if (tally.Of(EccStepState::Clean) + tally.Of(EccStepState::Erased) != tally.Steps()) {
            log_.Put("Block " + Count(b) + ": " + tally.Text() + "\n");
        }
    }

    // The dump's line, the corrected file's, and the JSON object.
    void Dump(const std::string& path, const PageEcc& ecc, int64_t pages, int64_t marked, const Tally& total,
              const std::string* fixed) {
        const bool lost = total.Of(EccStepState::Uncorrectable) > 0;
        std::string line = "Dump: " + Count(pages) + " pages, " + total.Text();
        if (marked > 0) line += "; " + Count(marked) + " factory-marked blocks not checked";
        if (lost) {
            log_.RedThenBlue(line + "\n");
        } else {
            log_.Green();
            log_.Put(line + "\n");
            log_.Blue();
        }
        if (fixed != nullptr)
            log_.Put("Wrote " + *fixed + (lost ? ", every correctable step corrected; the uncorrectable as read\n"
                                                : ", every step corrected\n"));
        if (!json_) return;
        std::printf("{\n  \"file\": %s,\n  \"ecc\": %s,\n  \"page\": %d,\n  \"spare\": %d,\n  \"pages\": %" PRId64
                    ",\n  \"markedBlocks\": %" PRId64 ",\n  %s,\n  \"blocks\": [%s%s],\n  \"findings\": [%s%s]\n}\n",
                    JsonString(path).c_str(), JsonString(ecc.Describe()).c_str(), g_.pageSize, g_.spareSize, pages,
                    marked, total.Json().c_str(), blocksJson_.c_str(), blocksJson_.empty() ? "" : "\n  ",
                    findingsJson_.c_str(), findingsJson_.empty() ? "" : "\n  ");
    }

    JobLog& Log() { return log_; }

private:
    JobLog log_;
    const bool json_;
    const Geometry& g_;
    std::string blocksJson_;
    std::string findingsJson_;
};

int RunEcc(Session& session) {
    const Args& args = session.args;
    Geometry g;
    if (const int status = TakeGeometry(session, g)) return status;
    const std::string& path = args.Operand();
    const bool json = args.Has("--json");
    if (args.Has("--guess") && (args.Has("--ecc") || args.Has("--ecc-layout") || args.Has("--fix") || json))
        return session.UsageError("--guess tries every built-in scheme: it takes no --ecc, --ecc-layout, --fix or --json");
    DumpFile file;
    int64_t pages = 0;
    if (args.Has("--guess")) {
        if (const int status = OpenRecords(session, path, g.PageTotal(), "pages with their spare", file, pages))
            return status;
        return Guess(session, g, file, pages);
    }
    EccScheme scheme;
    PageEcc ecc;
    if (const int status = TakeScheme(session, g, scheme, ecc)) return status;
    if (const int status = OpenRecords(session, path, g.PageTotal(), "pages with their spare", file, pages))
        return status;
    const bool fix = args.Has("--fix");
    DumpFile out;
    if (fix)
        if (const int status = OpenOutput(session, args.Text("--fix"), out)) return status;

    EccReport report(session, g);
    report.Log().Put("ECC " + ecc.Describe() + " over " + path + ": " + Count(pages) + " pages of " +
                     Count(g.pageSize) + " + " + Count(g.spareSize) + " bytes\n");
    // Blocks only when their size is known; their factory marks only where
    // no ECC byte sits on the mark.
    const int perBlock = g.pagesPerBlock > 0 ? g.pagesPerBlock : 0;
    const bool marks = perBlock > 0 && !ecc.HoldsEcc(0);
    const size_t record = static_cast<size_t>(g.PageTotal());
    std::vector<EccStep> steps;
    Tally total;
    int64_t marked = 0;
    DumpBlocks blocks(session, file, path, g, pages, fix ? &out : nullptr, "image ecc", "Checking the ECC");
    int stopped = 0;
    while (blocks.Next(stopped)) {
        const int n = blocks.Pages();
        const int64_t first = blocks.First();
        const bool isMarked = marks && BlockMarked(blocks.Bytes(), n, g);
        Tally tally;
        for (int i = 0; i < n && !isMarked; ++i) {
            ecc.Check(blocks.Page(i), fix, steps);
            const int64_t lostBefore = tally.Of(EccStepState::Uncorrectable);
            tally.Add(steps);
            report.Page(first + i, steps, tally.Of(EccStepState::Uncorrectable) - lostBefore);
        }
        if (fix && !out.Append(blocks.Page(0), static_cast<size_t>(n) * record)) {
            session.progress.End();
            return CommitOutput(session, args.Text("--fix"), out, false);
        }
        session.progress.Tick(first + n);
        total.Add(tally);
        marked += isMarked;
        if (perBlock != 0) report.Block(blocks.Block(), isMarked, tally);
    }
    if (stopped != 0) return stopped;
    session.progress.End();
    if (fix)
        if (const int status = CommitOutput(session, args.Text("--fix"), out, true)) return status;
    report.Dump(path, ecc, pages, marked, total, fix ? &args.Text("--fix") : nullptr);
    return total.Of(EccStepState::Uncorrectable) > 0 ? EXIT_CHIP_FAILED : EXIT_DONE;
}

// ---- image strip --------------------------------------------------------

int RunStrip(Session& session) {
    const Args& args = session.args;
    Geometry g;
    if (const int status = TakeGeometry(session, g)) return status;
    BadBlockMode mode = BadBlockMode::Raw;
    const std::string modeName = args.Has("--bad") ? args.Text("--bad") : "keep";
    if (modeName != "keep" && (!ParseBadBlockMode(modeName, BadBlockJob::Read, mode) || mode == BadBlockMode::Raw))
        return session.UsageError("--bad: \"" + modeName + "\" is not a mode of image strip (keep, pad or skip)");
    if (mode != BadBlockMode::Raw && g.pagesPerBlock <= 0)
        return session.UsageError("--bad=" + modeName + " finds the factory marks by block: give --pages-per-block");
    const std::string& path = args.Operands()[0];
    const std::string& outPath = args.Operands()[1];
    DumpFile file;
    int64_t pages = 0;
    if (const int status = OpenRecords(session, path, g.PageTotal(), "pages with their spare", file, pages))
        return status;
    DumpFile out;
    if (const int status = OpenOutput(session, outPath, out)) return status;

    const std::vector<uint8_t> erased(static_cast<size_t>(g.pageSize), 0xFF);
    std::string markedList;
    int64_t written = 0;
    DumpBlocks blocks(session, file, path, g, pages, &out, "image strip", "Stripping the spare areas");
    int stopped = 0;
    while (blocks.Next(stopped)) {
        const int n = blocks.Pages();
        const bool marked = mode != BadBlockMode::Raw && BlockMarked(blocks.Bytes(), n, g);
        if (marked) markedList += (markedList.empty() ? "" : ", ") + Count(blocks.Block());
        if (marked && mode == BadBlockMode::Skip) continue;
        bool ok = true;
        for (int i = 0; i < n && ok; ++i)
            ok = out.Append(marked ? erased.data() : blocks.Page(i), static_cast<size_t>(g.pageSize));
        if (!ok) {
            session.progress.End();
            return CommitOutput(session, outPath, out, false);
        }
        written += n;
        session.progress.Tick(blocks.First() + n);
    }
    if (stopped != 0) return stopped;
    session.progress.End();
    if (const int status = CommitOutput(session, outPath, out, true)) return status;
    JobLog log(session.log);
    std::string line = "Wrote " + outPath + ": the data areas of " + Count(written) + " of " + Count(pages) +
                       " pages, " + Count(written * g.pageSize) + " bytes";
    if (!markedList.empty())
        line += std::string("; factory-marked blocks ") + (mode == BadBlockMode::Skip ? "left out: " : "padded with 0xFF: ") +
                markedList;
    log.Green();
    log.Put(line + "\n");
    log.Blue();
    return EXIT_DONE;
}

// ---- image spare --------------------------------------------------------

int RunSpare(Session& session) {
    const Args& args = session.args;
    Geometry g;
    if (const int status = TakeGeometry(session, g)) return status;
    EccScheme scheme;
    PageEcc ecc;
    if (const int status = TakeScheme(session, g, scheme, ecc)) return status;
    const std::string& path = args.Operands()[0];
    const std::string& outPath = args.Operands()[1];
    DumpFile file;
    int64_t pages = 0;
    if (const int status = OpenRecords(session, path, g.pageSize, "pages (a data image holds no spare)", file, pages))
        return status;
    DumpFile out;
    if (const int status = OpenOutput(session, outPath, out)) return status;
    std::vector<uint8_t> record(static_cast<size_t>(g.PageTotal()));
    int64_t erased = 0;
    session.progress.Begin("image spare", "Adding the spare areas", 100, pages, g.PageTotal());
    for (int64_t k = 0; k < pages; ++k) {
        if (StopAsked(session)) {
            session.progress.End();
            return Interrupted(session, k, &out);
        }
        if (!ReadRecord(file, record.data(), static_cast<size_t>(g.pageSize))) {
            session.progress.End();
            return ReadFailed(session, path, &out);
        }
        std::memset(record.data() + g.pageSize, 0xFF, static_cast<size_t>(g.spareSize));
        // An erased page stays all 0xFF, spare included, as the device leaves
        // a page it never wrote: programming it later must stay possible.
        if (AllOnes(record.data(), static_cast<size_t>(g.pageSize))) ++erased;
        else ecc.Encode(record.data());
        if (!out.Append(record.data(), record.size())) {
            session.progress.End();
            return CommitOutput(session, outPath, out, false);
        }
        if ((k & 63) == 63) session.progress.Tick(k + 1);
    }
    session.progress.End();
    if (const int status = CommitOutput(session, outPath, out, true)) return status;
    JobLog log(session.log);
    log.Green();
    log.Put("Wrote " + outPath + ": " + Count(pages) + " pages of " + Count(g.pageSize) + " + " + Count(g.spareSize) +
            " bytes, ECC " + ecc.Describe() + "; " + Count(erased) + " erased pages left all 0xFF\n");
    log.Blue();
    return EXIT_DONE;
}

const char* const ECC_TAKES[] = {"--chip", "--page", "--spare", "--pages-per-block", "--ecc", "--ecc-layout",
                                 "--fix",  "--guess", "--json", "--quiet", nullptr};
const char* const STRIP_TAKES[] = {"--chip", "--page", "--spare", "--pages-per-block", "--bad", "--quiet", nullptr};
const char* const SPARE_TAKES[] = {"--chip", "--page", "--spare", "--ecc", "--ecc-layout", "--quiet", nullptr};

#define GEOMETRY_HELP                                                                \
    "The geometry comes from --chip FILE (a chip file) or --page and --spare,\n"   \
    "as the chip commands take it; no chip is asked and the bus is not touched.\n"
#define LAYOUT_HELP                                                                   \
    "--ecc names a built-in scheme: hamming (256-byte steps), hamming-512,\n"       \
    "hamming-sm (SmartMedia byte order), bch4, bch8, or bchN for N from 1 to 16\n" \
    "(512-byte steps), placed as software-ECC devices place them: Hamming from\n"  \
    "spare byte 40 of 64 (80 of 128), or bytes 0-3 and 6-7 of a 16-byte spare;\n"  \
    "BCH at the end of the spare area. --ecc-layout FILE names the code and the\n"  \
    "places itself, one setting a line (\"#\" starts a comment):\n"                 \
    "  step 512                 data bytes a step\n"                               \
    "  code bch 13 8 0x201B     or: code hamming, code hamming-sm\n"              \
    "  ecc 12-24                one line a step: its ECC bytes' spare offsets\n"   \
    "  ecc 25-37                (ranges and lists, 40,41,42)\n"                    \
    "  ...\n"

}  // namespace

extern const Command IMAGE_ECC_COMMAND = {
    "image ecc",
    "DUMP",
    "check (and --fix) a dump's bit errors with the device's ECC",
    "Checks every page of DUMP (records of page plus spare bytes, as read\n"
    "writes them) with the device's ECC, step by step. A line tells each step\n"
    "that was corrected (how many bits, where), is uncorrectable, or is erased\n"
    "with bit flips (a few 0 bits in an erased step); a line sums up each block\n"
    "with such a step (with --pages-per-block), and one the whole dump. Clean\n"
    "and erased steps go untold. A factory-marked block is not checked.\n"
    "--fix OUT writes the dump with every correctable step corrected, data and\n"
    "ECC bytes, moved into place once whole (OUT may be DUMP itself).\n"
    "--guess tries every built-in scheme on the dump's programmed pages and\n"
    "says which fits, with its figures; status 1 when none does.\n"
    "Status 0 when every step is clean, erased or corrected, 1 when any is\n"
    "uncorrectable.\n"
    "\n" GEOMETRY_HELP "\n" LAYOUT_HELP,
    ECC_TAKES,
    RunEcc,
    true,
};

extern const Command IMAGE_STRIP_COMMAND = {
    "image strip",
    "DUMP OUT",
    "the data areas of a dump, without spare, for file-system tools",
    "Writes the data areas of DUMP's pages into OUT, in order, without their\n"
    "spare areas: what file-system extractors take. Correct the dump first\n"
    "(image ecc --fix): the spare's ECC goes with the spare.\n"
    "A factory-marked block (the first spare byte of its first or second page\n"
    "is not 0xFF) is kept as it is with --bad=keep, the default; written as\n"
    "0xFF with --bad=pad, which keeps every offset; left out with --bad=skip,\n"
    "the next block following at once. pad and skip need --pages-per-block\n"
    "(or a chip file).\n"
    "\n" GEOMETRY_HELP,
    STRIP_TAKES,
    RunStrip,
};

extern const Command IMAGE_SPARE_COMMAND = {
    "image spare",
    "DATA OUT",
    "a dump with spare areas and ECC from a data-only image",
    "Writes DATA, a data-only image (a whole number of pages), into OUT as a\n"
    "dump: each page followed by its spare area, all 0xFF but the ECC bytes of\n"
    "--ecc or --ecc-layout. A page of all 0xFF gets an all-0xFF spare, as the\n"
    "device leaves a page it never wrote. OUT is ready for write and program.\n"
    "\n" GEOMETRY_HELP "\n" LAYOUT_HELP,
    SPARE_TAKES,
    RunSpare,
};
