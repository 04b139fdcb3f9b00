// The bad-block options shared by several commands: --bad MODE and
// --map FILE.svg. Both are settled before the bus starts, so that a mode that
// does not exist or a map that cannot be written ends the run before any
// chip access.
#pragma once

#include <string>

#include "jobs/BadBlocks.h"
#include "jobs/DumpFile.h"
#include "jobs/Jobs.h"

class Session;
struct ChipPlan;

// A chip whose every block reads as marked, over more than one block, is
// not a chip that bad: a data line or RE# makes every mark read wrong. The
// status to end with: the job's own, or 1 after the line that says so.
int MarksPointToWiring(Session& session, int status);

// The --bad mode of a job (raw without the option). 0, or the exit status of
// a usage error after saying which modes there are.
int TakeBadBlockMode(const Session& session, BadBlockJob job, BadBlockMode& mode);

// The map of --map: its file is opened (beside its name, moved into place
// when written) before the job, drawn from what the job found after it.
class MapOutput {
public:
    // 0, or the exit status of a file that cannot be written, after saying so.
    int Open(const Session& session);
    // The map for the job to fill, sized to the blocks of the plan's range;
    // nullptr without --map.
    BlockMap* For(const ChipPlan& plan);
    // Draws and writes the map once the job has looked at a block; returns
    // the exit status, the job's own unless only the map failed.
    int Finish(const Session& session, const ChipPlan& plan, const char* run, int status);

private:
    bool wanted_ = false;
    std::string path_;
    DumpFile file_;
    BlockMap map_;
};
