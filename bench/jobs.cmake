# Read dump, Write and Verify over the whole default chip in the simulated
# program: wall time, peak memory and what the jobs add to the bus time.
# The page commands and the progress dialog are timed through wrappers the
# bench puts into the window (UseJobChip, UseJobProgress); the C library's fread
# and fwrite are wrapped at link time (bench/FileClock.cpp).
if(FERRIK_GPIO_BACKEND STREQUAL "sim")
  add_executable(job_bench ${CMAKE_CURRENT_LIST_DIR}/JobBench.cpp
                           ${CMAKE_CURRENT_LIST_DIR}/FileClock.cpp)
  target_link_libraries(job_bench PRIVATE ferrik_bench_window ferrikcore)
  target_compile_options(job_bench PRIVATE ${FERRIK_WARNINGS})
  target_link_options(job_bench PRIVATE -Wl,--wrap=fwrite -Wl,--wrap=fread)
endif()
