# Read dump, Write and Verify over the whole default chip in the simulated
# program: wall time, peak memory and what the jobs add to the bus time.
# The jobs' calls of the two page commands, of the progress dialog's Update
# and of fread/fwrite are wrapped at link time, so that the bench times them
# where the jobs make them.
if(FERRIK_GPIO_BACKEND STREQUAL "sim")
  add_executable(job_bench ${CMAKE_CURRENT_LIST_DIR}/JobBench.cpp ${CMAKE_CURRENT_LIST_DIR}/BenchWindow.cpp)
  target_link_libraries(job_bench PRIVATE ferrikcore)
  target_compile_options(job_bench PRIVATE ${FERRIK_WARNINGS})
  target_link_options(job_bench PRIVATE
    -Wl,--wrap=_ZN7NandBus12NandReadPageEijjiPh
    -Wl,--wrap=_ZN7NandBus15NandProgramPageEijjiPKh
    -Wl,--wrap=_ZN23wxGenericProgressDialog6UpdateEiRK8wxStringPb
    -Wl,--wrap=fwrite
    -Wl,--wrap=fread)
endif()
