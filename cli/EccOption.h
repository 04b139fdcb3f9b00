// --ecc and --ecc-layout: the device's ECC, for the image commands and the
// chip commands that read pages alike.
#pragma once

#include "jobs/Ecc.h"
#include "jobs/EccPages.h"
#include "jobs/Geometry.h"

class Session;

// Whether the command line names an ECC.
bool EccGiven(const Session& session);
// The scheme --ecc or --ecc-layout names, checked before the geometry is
// known (and before any chip is asked). 0, or the exit status after saying
// why: a usage error, or a layout file that cannot be read.
int TakeEccScheme(Session& session, EccScheme& scheme);
// The scheme set up for pages of this geometry; 0, or a usage error told.
int SetUpEcc(Session& session, const EccScheme& scheme, const Geometry& g, PageEcc& ecc);

// The ECC of a chip command (read, verify, program): its scheme named before
// the plan, set up for the plan's geometry after, and what the job found
// with it, for the command's summary.
class ChipEcc {
public:
    // 0, or the exit status after saying why. Nothing when no ECC is named.
    int Take(Session& session);
    int SetUp(Session& session, const Geometry& g);
    // What the job takes: nullptr without an ECC.
    EccUse* Use() { return given_ ? &use_ : nullptr; }

private:
    bool given_ = false;
    EccScheme scheme_;
    PageEcc ecc_;
    EccUse use_;
};
