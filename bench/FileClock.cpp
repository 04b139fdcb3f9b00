// fread and fwrite timed where the jobs call them, into bench::fileClock:
// the benchmarks link with --wrap=fread and --wrap=fwrite, and the __real_
// names reach the C library. The standard streams (the command line's log)
// are not the dump file and are not counted.
#include <cstdio>

#include "bench/JobClock.h"

namespace bench {
JobClock* fileClock = nullptr;
}

extern "C" {
size_t __real_fwrite(const void* data, size_t size, size_t count, FILE* file);
size_t __real_fread(void* data, size_t size, size_t count, FILE* file);

size_t __wrap_fwrite(const void* data, size_t size, size_t count, FILE* file) {
    if (bench::fileClock == nullptr || file == stdout || file == stderr) return __real_fwrite(data, size, count, file);
    const bench::Clock::time_point start = bench::Clock::now();
    const size_t result = __real_fwrite(data, size, count, file);
    bench::fileClock->file += bench::Clock::now() - start;
    return result;
}

size_t __wrap_fread(void* data, size_t size, size_t count, FILE* file) {
    if (bench::fileClock == nullptr) return __real_fread(data, size, count, file);
    const bench::Clock::time_point start = bench::Clock::now();
    const size_t result = __real_fread(data, size, count, file);
    bench::fileClock->file += bench::Clock::now() - start;
    return result;
}
}
