# The ECC schemes' own speed: checking clean pages, and mending a step.
add_executable(ecc_bench ${CMAKE_CURRENT_LIST_DIR}/EccBench.cpp)
target_link_libraries(ecc_bench PRIVATE ferrik_jobs)
target_compile_options(ecc_bench PRIVATE ${FERRIK_WARNINGS})
