# The soak: the seven jobs of the window, cycle after cycle, on the simulated
# chip, with the process's memory and the log pane's size after each cycle.
if(FERRIK_GPIO_BACKEND STREQUAL "sim")
  add_executable(soak ${CMAKE_CURRENT_LIST_DIR}/Soak.cpp)
  target_link_libraries(soak PRIVATE ferrik_bench_window ferrikcore)
  target_compile_options(soak PRIVATE ${FERRIK_WARNINGS})
endif()
