# Erase and Blank check over the whole default chip, in the simulated program.
if(FERRIK_GPIO_BACKEND STREQUAL "sim")
  add_executable(erase_blank_bench ${CMAKE_CURRENT_LIST_DIR}/EraseBlankBench.cpp)
  target_link_libraries(erase_blank_bench PRIVATE ferrikcore)
  target_compile_options(erase_blank_bench PRIVATE ${FERRIK_WARNINGS})
endif()
