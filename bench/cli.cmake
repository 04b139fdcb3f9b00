# ferrik-cli's read, write and verify over the whole default chip in the
# simulated build: the command line's own code with its chip timed through a
# wrapper, and the real program started for its peak memory.
if(FERRIK_GPIO_BACKEND STREQUAL "sim" AND TARGET ferrik-cli)
  add_executable(cli_bench ${CMAKE_CURRENT_LIST_DIR}/CliBench.cpp ${CMAKE_CURRENT_LIST_DIR}/FileClock.cpp)
  target_link_libraries(cli_bench PRIVATE ferrik_cli)
  target_compile_options(cli_bench PRIVATE ${FERRIK_WARNINGS})
  target_compile_definitions(cli_bench PRIVATE FERRIK_CLI="$<TARGET_FILE:ferrik-cli>")
  target_link_options(cli_bench PRIVATE -Wl,--wrap=fwrite -Wl,--wrap=fread)
  add_dependencies(cli_bench ferrik-cli)
endif()
