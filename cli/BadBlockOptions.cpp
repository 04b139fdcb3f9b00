#include "cli/BadBlockOptions.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/ChipPlan.h"
#include "cli/Commands.h"
#include "cli/ExitStatus.h"
#include "cli/ChipMap.h"
#include "cli/Session.h"
#include "jobs/JobLog.h"
#include "jobs/Walk.h"

int TakeBadBlockMode(const Session& session, BadBlockJob job, BadBlockMode& mode) {
    mode = BadBlockMode::Raw;
    if (!session.args.Has("--bad")) return 0;
    const std::string& name = session.args.Text("--bad");
    if (ParseBadBlockMode(name, job, mode)) return 0;
    return session.UsageError("--bad: \"" + name + "\" is not a mode of " + session.command.name + " (" +
                              BadBlockModeNames(job) + ")");
}

int MapOutput::Open(const Session& session) {
    wanted_ = session.args.Has("--map");
    if (!wanted_) return 0;
    path_ = session.args.Text("--map");
    if (path_.empty()) return session.UsageError("--map needs FILE.svg, and it is empty");
    // The map is written at the end of the run: onto the command's own file
    // it would replace the only dump with a drawing.
    if (session.command.operand != nullptr && SameFile(path_, session.args.Operand()))
        return session.UsageError("--map: " + path_ + " is the file " + session.command.name +
                                  " works from; the map would replace it");
#ifdef FERRIK_GPIO_SIM
    // One image per chip enable, comma-separated.
    const char* images = std::getenv("FERRIK_SIM_IMAGE");
    const std::string list = images != nullptr ? images : "";
    for (size_t start = 0; start < list.size();) {
        const size_t end = std::min(list.find(',', start), list.size());
        const std::string image = list.substr(start, end - start);
        if (!image.empty() && SameFile(path_, image))
            return session.UsageError("--map: " + path_ + " is the simulated chip's image (FERRIK_SIM_IMAGE)");
        start = end + 1;
    }
#endif
    if (file_.CreateToWrite(path_)) return 0;
    session.Say("--map: cannot write " + path_ + ": " + file_.WhyNotCreated());
    return EXIT_FILE;
}

int MarksPointToWiring(Session& session, int status) {
    const JobResult& found = session.Result();
    if (found.blocks < 2 || static_cast<int64_t>(found.badBlocks.size()) != found.blocks) return status;
    JobLog log(session.log);
    log.RedThenBlue("Error, every block of the range reads as factory-marked: that points to the wiring, not the chip "
                    "(ferrik-cli check looks at each line)\n");
    return status == EXIT_DONE ? EXIT_CHIP_FAILED : status;
}

BlockMap* MapOutput::For(const ChipPlan& plan) {
    if (!wanted_) return nullptr;
    const BlockSpans spans(plan.rows, plan.geometry.pagesPerBlock);
    map_.Reset(spans.FirstBlock(), spans.LastBlock() - spans.FirstBlock() + 1);
    return &map_;
}

int MapOutput::Finish(const Session& session, const ChipPlan& plan, const char* run, int status) {
    if (!wanted_) return status;
    // Refused values, a file that would not open: no block was looked at,
    // and there is nothing to draw.
    bool found = false;
    for (int64_t square = 0; square < map_.Squares() && !found; ++square)
        found = map_.State(square) != BlockState::Unchecked;
    if (!found) {
        file_.Abandon();
        return status;
    }
    const std::string svg = ChipMapSvg(plan.chipName, run, plan.geometry, map_, plan.layout);
    const bool written = file_.Append(svg.data(), svg.size());
    if (written && file_.Commit()) return status;
    const int error = errno;
    file_.Abandon();
    session.Say("--map: could not write " + path_ + ": " + std::strerror(error));
    return status == EXIT_DONE ? EXIT_FILE : status;
}
