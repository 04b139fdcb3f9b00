# How every Ferrik source is compiled, in the program's build and in the
# fuzz targets' project of their own alike: C++17 without extensions, built
# optimised with debug information unless a build type is asked for, the
# warnings each target adds, and file offsets of 64 bits, so that a dump of a
# chip larger than 2 GiB can be written on a 32-bit Pi.
set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
if(NOT CMAKE_BUILD_TYPE)
  set(CMAKE_BUILD_TYPE RelWithDebInfo)
endif()
set(FERRIK_WARNINGS -Wall -Wextra -Wpedantic -Wshadow)
add_compile_definitions(_FILE_OFFSET_BITS=64)
