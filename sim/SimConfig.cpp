#include "sim/SimGpio.h"

namespace sim {

// Until the chip model lands the socket stays empty: R/B# reads ready and
// the data bus floats high.
void ConfigureFromEnvironment() {}

}  // namespace sim
