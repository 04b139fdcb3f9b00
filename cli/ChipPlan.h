// What a chip command settles before its job: the geometry, checked with the
// window's rules, and the rows asked for.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "jobs/Geometry.h"
#include "chip/ChipFile.h"
#include "jobs/Job.h"
#include "jobs/Jobs.h"
#include "jobs/Plan.h"

class Session;

// The chip fields as plain texts with the window's length limits: a text
// longer than the field, or one the "C" locale cannot convert, leaves the
// field empty. What detect shows is what the window would show.
class TextChipFields final : public ChipFields {
public:
    TextChipFields();
    void Set(int key, const char* value) override;
    std::string Get(int key) const override { return values_[key]; }

private:
    std::string values_[CHIP_FILE_KEYS];
};

// The job's plan (the rows: the whole chip unless --first-block or
// --blocks), and what the command says of the chip.
struct ChipPlan : JobPlan {
    std::string chipName;  // the chip file's name, or how the chip was told
    bool pagesPerBlockKnown = false;
};

// Starts the bus and settles the plan. The geometry is what the window holds
// after Detect: the chip file named by the ID of the chip on CE0 (under
// ./ICs/<maker>/, then in the installed chip database), or the chip file of
// --chip; without a chip file, the chip's own parameter page, told in a line
// of its own before the job's. --page, --spare, --row-max and
// --pages-per-block override it value by value, and the chip is not asked
// for its geometry when they give all that `uses` need (its ID still says
// which chip enables are targets).
// Each use's check refuses with the window's words. A job that reads the
// blocks' factory marks (readsMarks) needs the block size and the page size
// too. Returns 0 when the job may go, else the exit status to end with, its
// reason already told.
//
// The chip enables come from --ce: CE0 alone by default, where a socket
// holding more targets of the CE0 chip (Linux's rule: the first two ID bytes
// equal CE0's) gets a line saying that the run covers CE0 only; --ce all
// takes every target, --ce 0,1 those listed (each a target), --ce N any one
// chip. The file then holds the targets one after another, in CE order.
// LUNs come from the parameter page, or from --luns with --blocks-per-lun.
int PlanChipJob(Session& session, std::initializer_list<GeometryUse> uses, ChipPlan& plan, bool readsMarks = false);

// The targets of the CE0 chip, by their IDs; empty when nothing answers on CE0.
std::vector<int> FindTargets(BusPort& bus);
// With more than one target found, the line that says a run covers CE0 only:
// half a part is never dumped in silence.
void SayOtherTargets(LogSink& sink, const std::vector<int>& found);

// What --ce asks for.
struct ChipEnablesAsked {
    bool all = false;
    std::vector<int> listed;  // ascending, each once; CE0 alone when --ce is not given
};
// 0, or the status of a usage error after saying so.
int TakeChipEnables(const Session& session, ChipEnablesAsked& asked);
// The chip enables a command works on: all of `found` for --ce all, else
// those listed. 0, or the status of a usage error (a listed chip enable
// that is not a target of the CE0 chip, when more than one is listed).
int ChooseChipEnables(const Session& session, const ChipEnablesAsked& asked, const std::vector<int>& found,
                      std::vector<int>& chosen);

// The folder that holds the installed chip database (its ICs/), beside the
// program: <prefix>/share/ferrik for a program in <prefix>/bin or
// <prefix>/lib/ferrik. Empty when there is none.
std::string InstalledChipDatabase();

// The values of the chip file --chip names, as they stand in it (the same
// rule for the chip commands and the image commands). 0, or the exit status
// of a file that is no chip file, after saying so.
int ReadChipOption(const Session& session, GeometryFound& found);
