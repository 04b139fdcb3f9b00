// Whether a wait saw R/B# low: what tells a chip that answers from an empty
// socket or a chip that never goes busy, whose reads all succeed alike.
#include <gtest/gtest.h>

#include <cstdint>

#include "bus/NandBus.h"
#include "sim/SimNand.h"
#include "support/SimChip.h"

using namespace ferrik_test;

namespace {

int16_t ProbeRead() {
    uint8_t none = 0;
    return nandBus.NandReadPage(CE0, 0, 127, 0, &none);
}

}  // namespace

TEST(BusySeen, IsTrueAfterAReadOfAChipThatWentBusy) {
    InsertFreshChip(sim::TinyPreset());
    EXPECT_EQ(ProbeRead(), NAND_OK);
    EXPECT_TRUE(nandBus.LastWaitSawBusy());
    ExpectNoViolations();
}

TEST(BusySeen, IsFalseWhenNothingPullsRbLowThroughTheWholeBusyBudget) {
    InsertFreshChip(sim::TinyPreset(), RbNeverLow());
    EXPECT_EQ(ProbeRead(), NAND_OK);  // the read itself "succeeds"
    EXPECT_FALSE(nandBus.LastWaitSawBusy());

    sim::Socket().RemoveAll();
    EXPECT_EQ(ProbeRead(), NAND_OK);
    EXPECT_FALSE(nandBus.LastWaitSawBusy());
    ExpectNoViolations();
}

TEST(BusySeen, IsTrueForAChipStuckBusyWhoseReadTimesOut) {
    InsertFreshChip(sim::TinyPreset(), RbStuckLow());
    EXPECT_EQ(ProbeRead(), ERR_RB_L);
    EXPECT_TRUE(nandBus.LastWaitSawBusy());
    ExpectNoViolations();
}

TEST(BusySeen, FollowsTheEraseAndProgramWaitsToo) {
    sim::SimNandChip& chip = InsertFreshChip(sim::TinyPreset());
    const uint8_t data[4] = {1, 2, 3, 4};
    EXPECT_EQ(nandBus.NandProgramPage(CE0, 3, 127, 4, data), NAND_OK);
    EXPECT_TRUE(nandBus.LastWaitSawBusy());
    // The erase budget is 2^32 polls: only the case that sees busy is quick.
    EXPECT_EQ(nandBus.NandEraseBlock(CE0, 0, 127), NAND_OK);
    EXPECT_TRUE(nandBus.LastWaitSawBusy());
    chip.Faults().busyNever = true;
    EXPECT_EQ(nandBus.NandProgramPage(CE0, 4, 127, 4, data), NAND_OK);  // 2^24 polls
    EXPECT_FALSE(nandBus.LastWaitSawBusy());
    ExpectNoViolations();
}
