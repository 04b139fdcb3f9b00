// One bus, one process. Two processes driving the GPIO bus at once would
// interleave their cycles, and whichever ends first would park the bus
// (every pin low) under the other's program or erase. So each front end
// takes an exclusive lock before it starts the bus and holds it until the
// process ends, after the bus is parked; a second process is refused.
//
// What is locked: on the Pi, the device the bus maps, /dev/gpiomem or else
// /dev/mem (a process that can open neither never maps the block, and says
// so when it tries); in the simulated build, each chip image FERRIK_SIM_IMAGE
// names that is there (a run without an image has a chip of its own, and a
// new image, not there yet, has no other user).
#pragma once

#include <string>

// Takes the lock, the first time only. True when this process holds it, or
// there is nothing to lock; false with `refusal`, one line that names the
// process holding it, or says why the lock could not be taken.
bool TakeBusLock(std::string& refusal);
