# Manual pages of the installed programs, written at build time by help2man
# from each program's own --help and --version, so that a page says what the
# program it was made from says. SIDERA_MAN_PAGES: ON makes them (and needs
# help2man), AUTO makes them when help2man is installed, OFF leaves them out.
set(SIDERA_MAN_PAGES OFF CACHE STRING "Write manual pages from --help (ON, AUTO or OFF)")
set_property(CACHE SIDERA_MAN_PAGES PROPERTY STRINGS ON AUTO OFF)
if(SIDERA_MAN_PAGES STREQUAL "OFF")
  return()
endif()
find_program(HELP2MAN_EXECUTABLE help2man)
if(NOT HELP2MAN_EXECUTABLE)
  if(SIDERA_MAN_PAGES STREQUAL "ON")
    message(FATAL_ERROR "SIDERA_MAN_PAGES is ON but help2man is not installed")
  endif()
  message(STATUS "help2man not found: no manual pages")
  return()
endif()

# target, page name, one-line description
set(SIDERA_MAN_PROGRAMS
  "sidera_cli|sidera|drive a telescope mount through the Sidera library"
  "sidera-alpaca|sidera-alpaca|serve a Sidera mount as an ASCOM Alpaca telescope"
  "location|location|set the observing site of the telescope"
  "packet-bus-emulator|packet-bus-emulator|emulate a packet-bus mount controller on a pseudo-terminal"
  "byte-command-emulator|byte-command-emulator|emulate a byte-command mount controller on a pseudo-terminal"
  "hex-command-emulator|hex-command-emulator|emulate a hex-command mount controller on a pseudo-terminal")

set(man_dir ${CMAKE_BINARY_DIR}/man)
set(man_pages "")
foreach(entry IN LISTS SIDERA_MAN_PROGRAMS)
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 target)
  list(GET fields 1 page)
  list(GET fields 2 description)
  if(NOT TARGET ${target})
    continue()
  endif()
  # Extra sections (files, environment, see also) a page may have beside
  # what --help says.
  set(include_args "")
  set(include_file "")
  if(EXISTS ${PROJECT_SOURCE_DIR}/cmake/man/${page}.h2m)
    set(include_file ${PROJECT_SOURCE_DIR}/cmake/man/${page}.h2m)
    set(include_args --include=${include_file})
  endif()
  add_custom_command(
    OUTPUT ${man_dir}/${page}.1
    COMMAND ${CMAKE_COMMAND} -E make_directory ${man_dir}
    COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 --unset=DISPLAY --unset=WAYLAND_DISPLAY
            ${HELP2MAN_EXECUTABLE} --no-info --section=1 "--name=${description}"
            ${include_args} --output=${man_dir}/${page}.1 $<TARGET_FILE:${target}>
    DEPENDS ${target} ${include_file}
    COMMENT "Writing the manual page of ${page} from its --help"
    VERBATIM)
  list(APPEND man_pages ${man_dir}/${page}.1)
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Programs)
