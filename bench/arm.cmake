# The Pi's bus-time model (bench/parts/60-pi.sh): register accesses of each
# command, counted through the simulated block; and, in the Pi build, a
# timing program to run on a real Pi for the access costs.
if(FERRIK_GPIO_BACKEND STREQUAL "sim")
  add_executable(pi_bus_counts ${CMAKE_CURRENT_LIST_DIR}/PiBusCounts.cpp)
  target_link_libraries(pi_bus_counts PRIVATE ferrikcore)
  target_compile_options(pi_bus_counts PRIVATE ${FERRIK_WARNINGS})
else()
  add_executable(pi_gpio_timing ${CMAKE_CURRENT_LIST_DIR}/PiGpioTiming.cpp)
  target_link_libraries(pi_gpio_timing PRIVATE ferrikcore)
  target_compile_options(pi_gpio_timing PRIVATE ${FERRIK_WARNINGS})
endif()
