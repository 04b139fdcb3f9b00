// What the simulated GPIO block reports at the end of a program it served.
#pragma once

#include <string>

namespace ferrik_test {

// Expects GPIO 2 to 27 parked in the exit report (FERRIK_SIM_REPORT): every
// one a low output, as the bus leaves them at exit.
void ExpectParked(const std::string& report);

}  // namespace ferrik_test
