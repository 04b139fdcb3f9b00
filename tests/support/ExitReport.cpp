#include "support/ExitReport.h"

#include <gtest/gtest.h>

#include <sstream>

namespace ferrik_test {

// The report holds one line per pin of GPIO 0-31: number, function, level.
void ExpectParked(const std::string& report) {
    ASSERT_FALSE(report.empty()) << "no exit report was written";
    std::istringstream in(report);
    unsigned pin;
    std::string function;
    int level;
    int parked = 0;
    while (in >> pin >> function >> level) {
        if (pin < 2 || pin > 27) continue;
        EXPECT_EQ(function, "output") << "GPIO " << pin;
        EXPECT_EQ(level, 0) << "GPIO " << pin;
        ++parked;
    }
    EXPECT_EQ(parked, 26);
}

}  // namespace ferrik_test
