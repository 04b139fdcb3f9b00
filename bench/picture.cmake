# The README's picture of the window (scripts/make-window-png).
if(FERRIK_GPIO_BACKEND STREQUAL "sim")
  add_executable(window_picture ${CMAKE_CURRENT_LIST_DIR}/WindowPicture.cpp)
  target_link_libraries(window_picture PRIVATE ferrik_bench_window ferrikcore PkgConfig::GTK3)
  target_compile_options(window_picture PRIVATE ${FERRIK_WARNINGS})
endif()
