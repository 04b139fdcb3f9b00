// What the erase job leaves for the blank check, and the one chip command the
// erase job sends.
#pragma once

#include <cstdint>

// How many leading entries of badBlocks some erase run has written since the
// program started. Every run writes from the first entry on, so the written
// entries are always the first badBlocksWritten ones; an entry beyond them
// holds the start-up zero and names no block.
extern int32_t badBlocksWritten;

// The block-erase command as the erase job sends it; nandBus.NandEraseBlock
// unless a test puts a stand-in here. An R/B# time-out costs 2^32 GPLEV polls
// of the ready phase, minutes on a Pi and far too long for a test, so the
// job's handling of time-outs is checked through a stand-in that answers
// ERR_RB_L for chosen rows and passes every other row to the chip.
using EraseBlockCommand = int32_t (*)(int cePin, int32_t row, int32_t rowLimit);
extern EraseBlockCommand eraseBlockCommand;
