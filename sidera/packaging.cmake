# Installation of the shared library for hosts: the library with its
# SONAME link, the public header, a CMake package (find_package(Sidera)
# gives the imported target Sidera::sidera) and a pkg-config file. Every
# rule belongs to the component "Sidera", so
# `cmake --install <build> --component Sidera` installs just this.
include(CMakePackageConfigHelpers)

# Only the C operations are exported; everything else, including template
# instantiations of the C++ runtime that default to public visibility,
# stays inside the library. The names come from the operations table, read
# at configure time (a change to it configures again): the linker's version
# script, and the sorted list the package test expects to find exported.
set(SIDERA_OPERATIONS_TABLE ${CMAKE_CURRENT_SOURCE_DIR}/include/sidera_operations.h)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${SIDERA_OPERATIONS_TABLE})
file(READ ${SIDERA_OPERATIONS_TABLE} SIDERA_TABLE_TEXT)
# Rows read " X(ordinal, Name, ..." or, by name only, " X(Name, ...".
string(REGEX MATCHALL " X\\(([0-9]+, *)?[A-Za-z_][A-Za-z0-9_]*," SIDERA_ROWS "${SIDERA_TABLE_TEXT}")
set(SIDERA_EXPORTED_NAMES "")
foreach(row IN LISTS SIDERA_ROWS)
  string(REGEX REPLACE "^ X\\(([0-9]+, *)?([A-Za-z0-9_]+),$" "\\2" name "${row}")
  list(APPEND SIDERA_EXPORTED_NAMES ${name})
endforeach()
list(LENGTH SIDERA_EXPORTED_NAMES SIDERA_EXPORTED_COUNT)
if(SIDERA_EXPORTED_COUNT EQUAL 0)
  message(FATAL_ERROR "no operations found in ${SIDERA_OPERATIONS_TABLE}")
endif()
list(SORT SIDERA_EXPORTED_NAMES)
list(JOIN SIDERA_EXPORTED_NAMES ";\n    " SIDERA_MAP_NAMES)
set(SIDERA_SYMBOL_MAP ${CMAKE_CURRENT_BINARY_DIR}/sidera.map)
file(CONFIGURE OUTPUT ${SIDERA_SYMBOL_MAP} CONTENT
  "{\n  global:\n    ${SIDERA_MAP_NAMES};\n  local:\n    *;\n};\n" @ONLY)
list(JOIN SIDERA_EXPORTED_NAMES "\n" SIDERA_SYMBOL_LINES)
set(SIDERA_EXPORTED_SYMBOLS ${CMAKE_CURRENT_BINARY_DIR}/exported_symbols.txt CACHE INTERNAL
  "The library's exported symbols, one a line, sorted")
file(CONFIGURE OUTPUT ${SIDERA_EXPORTED_SYMBOLS} CONTENT "${SIDERA_SYMBOL_LINES}\n" @ONLY)
target_link_options(sidera PRIVATE -Wl,--version-script=${SIDERA_SYMBOL_MAP})
set_property(TARGET sidera APPEND PROPERTY LINK_DEPENDS ${SIDERA_SYMBOL_MAP})

set(SIDERA_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Sidera)

install(TARGETS sidera EXPORT SideraTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Sidera
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Sidera)

install(EXPORT SideraTargets
  NAMESPACE Sidera::
  DESTINATION ${SIDERA_CMAKE_DIR}
  COMPONENT Sidera)

configure_package_config_file(
  ${PROJECT_SOURCE_DIR}/cmake/SideraConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/SideraConfig.cmake
  INSTALL_DESTINATION ${SIDERA_CMAKE_DIR})
write_basic_package_version_file(
  ${CMAKE_CURRENT_BINARY_DIR}/SideraConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/SideraConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/SideraConfigVersion.cmake
  DESTINATION ${SIDERA_CMAKE_DIR}
  COMPONENT Sidera)

# The pkg-config file locates the prefix relative to itself, so the tree
# can be installed under any --prefix.
file(RELATIVE_PATH SIDERA_PC_TO_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
string(REGEX REPLACE "/$" "" SIDERA_PC_TO_PREFIX "${SIDERA_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/sidera.pc.in ${CMAKE_CURRENT_BINARY_DIR}/sidera.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/sidera.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT Sidera)
