# The bus: accesses per byte and whole-chip read time through the simulated
# block and chip; instructions per byte of the bus code with its register
# block in plain memory (counted under callgrind by bench/parts/10-bus.sh).
if(FERRIK_GPIO_BACKEND STREQUAL "sim")
  add_executable(bus_sim_bench ${CMAKE_CURRENT_LIST_DIR}/BusSimBench.cpp)
  target_link_libraries(bus_sim_bench PRIVATE ferrikcore)
  target_compile_options(bus_sim_bench PRIVATE ${FERRIK_WARNINGS})
endif()

add_executable(bus_memory_bench ${CMAKE_CURRENT_LIST_DIR}/BusMemoryBench.cpp ${PROJECT_SOURCE_DIR}/bus/NandBus.cpp
  ${PROJECT_SOURCE_DIR}/bus/Rp1Gpio.cpp)
target_include_directories(bus_memory_bench PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(bus_memory_bench PRIVATE FERRIK_GPIO_MEMORY)
# Counted at -O2 whatever the build type, so the figure is comparable.
target_compile_options(bus_memory_bench PRIVATE ${FERRIK_WARNINGS} -O2)
