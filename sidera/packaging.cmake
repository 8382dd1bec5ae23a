# Installation of the shared library for hosts: the library with its
# SONAME link, the public header, a CMake package (find_package(Sidera)
# gives the imported target Sidera::sidera) and a pkg-config file. Every
# rule belongs to the component "Sidera", so
# `cmake --install <build> --component Sidera` installs just this.
include(CMakePackageConfigHelpers)

# Only the C operations are exported; everything else, including template
# instantiations of the C++ runtime that default to public visibility,
# stays inside the library.
set(SIDERA_SYMBOL_MAP ${PROJECT_SOURCE_DIR}/cmake/sidera.map)
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
