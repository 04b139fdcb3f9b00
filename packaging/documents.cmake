# SPDX-License-Identifier: MIT
# The manual pages and the bash completion, in every build (so that
# `man ./build/man/ferrik-cli.1` works in a source tree), installed by the
# packages:
#   man/ferrik-cli.1            written by ferrik-cli itself from its command
#                               and option tables (cli/Documents.cpp)
#   completion/ferrik-cli       the same, for bash
#   man/ferrik.1, ferrik-launch.1   short pages, packaging/man/*.in
# A cross build runs ferrik-cli under the emulator its toolchain file names
# (qemu-user).

# The release's date: that of the changelog's latest entry, which names the
# version too (the package check holds the two together).
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog FERRIK_SIGNOFF REGEX "^ -- " LIMIT_COUNT 1)
if(NOT FERRIK_SIGNOFF MATCHES ">  [A-Z][a-z][a-z], ([0-9][0-9]) ([A-Z][a-z][a-z]) ([0-9][0-9][0-9][0-9]) ")
  message(FATAL_ERROR "packaging/changelog: no date in the latest entry's last line")
endif()
set(FERRIK_RELEASE_DAY ${CMAKE_MATCH_1})
set(FERRIK_RELEASE_YEAR ${CMAKE_MATCH_3})
set(FERRIK_MONTHS Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND FERRIK_MONTHS ${CMAKE_MATCH_2} FERRIK_RELEASE_MONTH)
math(EXPR FERRIK_RELEASE_MONTH "${FERRIK_RELEASE_MONTH} + 1" OUTPUT_FORMAT DECIMAL)
if(FERRIK_RELEASE_MONTH LESS 10)
  set(FERRIK_RELEASE_MONTH 0${FERRIK_RELEASE_MONTH})
endif()
set(FERRIK_RELEASE_DATE ${FERRIK_RELEASE_YEAR}-${FERRIK_RELEASE_MONTH}-${FERRIK_RELEASE_DAY})

set(FERRIK_MAN_DIR ${CMAKE_BINARY_DIR}/man)
set(FERRIK_COMPLETION ${CMAKE_BINARY_DIR}/completion/ferrik-cli)
foreach(page ferrik ferrik-launch)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/man/${page}.1.in ${FERRIK_MAN_DIR}/${page}.1 @ONLY)
endforeach()

if(TARGET ferrik-cli)
  if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    message(FATAL_ERROR "A cross build runs ferrik-cli to write its manual page and completion: "
                        "install qemu-user (the toolchain file finds it)")
  endif()
  # The command name ferrik-cli runs the program just built, under the
  # emulator when there is one.
  add_custom_command(OUTPUT ${FERRIK_MAN_DIR}/ferrik-cli.1
    COMMAND ferrik-cli --generate manual-page ${FERRIK_RELEASE_DATE} > ${FERRIK_MAN_DIR}/ferrik-cli.1
    DEPENDS ferrik-cli
    COMMENT "Manual page of ferrik-cli")
  add_custom_command(OUTPUT ${FERRIK_COMPLETION}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/completion
    COMMAND ferrik-cli --generate bash-completion > ${FERRIK_COMPLETION}
    DEPENDS ferrik-cli
    COMMENT "Bash completion of ferrik-cli")
  add_custom_target(ferrik_cli_documents ALL DEPENDS ${FERRIK_MAN_DIR}/ferrik-cli.1 ${FERRIK_COMPLETION})
endif()
