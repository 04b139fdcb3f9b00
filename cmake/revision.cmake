# SPDX-License-Identifier: MIT
# Run at build time (cmake -DSOURCE=DIR -DOUT=FILE -P revision.cmake): writes
# FERRIK_REVISION, the commit the source tree is at ("-modified" when files
# differ from it), into the header OUT; empty outside a git checkout, as in
# a release tarball. OUT is rewritten only when the text changes.
execute_process(
  COMMAND git -C "${SOURCE}" describe --always --dirty=-modified --abbrev=12 --exclude=*
  OUTPUT_VARIABLE revision
  OUTPUT_STRIP_TRAILING_WHITESPACE
  RESULT_VARIABLE status
  ERROR_QUIET)
if(NOT status EQUAL 0)
  set(revision "")
endif()
set(text "#define FERRIK_REVISION \"${revision}\"\n")
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
  if(old STREQUAL text)
    return()
  endif()
endif()
file(WRITE "${OUT}" "${text}")
