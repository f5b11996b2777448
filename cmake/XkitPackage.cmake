# The library as other CMake projects use it: one name per unit, `xkit::<unit>`, the same
# after add_subdirectory(xkit) and after find_package(xkit) on an installed tree. An install
# holds the unit libraries, their public headers under include/xkit/ (so that consumers write
# the same #include "xFGInt/xFGInt.h" as the code in this tree), the xkit program, and the
# package config that find_package reads.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# Unit target -> exported name. Each unit lists its public headers in a HEADERS file set.
set(XKIT_UNITS
  xkit_platform:platform
  xkit_xfgint:xfgint
  xkit_xfgintrsa:xfgintrsa
  xkit_crypto:crypto
  xkit_xhttpget:xhttpget
)

set(xkit_unit_targets "")
foreach(unit IN LISTS XKIT_UNITS)
  string(REPLACE ":" ";" unit "${unit}")
  list(GET unit 0 target)
  list(GET unit 1 name)
  set_target_properties(${target} PROPERTIES EXPORT_NAME ${name})
  add_library(xkit::${name} ALIAS ${target})
  list(APPEND xkit_unit_targets ${target})
endforeach()

if(NOT XKIT_INSTALL)
  return()
endif()
set(XKIT_CONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/xkit)
install(TARGETS ${xkit_unit_targets} EXPORT xkitTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/xkit
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/xkit)
install(TARGETS xkit RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(EXPORT xkitTargets NAMESPACE xkit:: DESTINATION ${XKIT_CONFIG_DIR})

configure_package_config_file(cmake/xkitConfig.cmake.in
  ${PROJECT_BINARY_DIR}/xkitConfig.cmake INSTALL_DESTINATION ${XKIT_CONFIG_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/xkitConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/xkitConfig.cmake ${PROJECT_BINARY_DIR}/xkitConfigVersion.cmake
  DESTINATION ${XKIT_CONFIG_DIR})
