# Installs the libraries, their headers and a CMake package so that an agent component
# can do find_package(OrvixUtilities) and link orvix::utilities. All of it is the
# Development component, which the SDK packages carry (packaging/OrvixCPack.cmake).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

get_property(_libs GLOBAL PROPERTY ORVIX_LIBRARIES)
set(_export_targets ${_libs} orvix_utilities orvix_warnings)
if(ORVIX_FMT_IS_HEADER_ONLY)
  list(APPEND _export_targets orvix_fmt_header_only)
endif()
install(TARGETS ${_export_targets} EXPORT OrvixUtilitiesTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Development)
# The headers of the installed libraries, without those an agent component cannot use: an
# ADMIN area's (its library is not installed), the POSIX side of the seam and a library's
# own internals. The *_testing.h hooks stay: they are in the installed libraries, and a
# component's tests drive the event log's clock and disk through them.
get_property(_admin_areas GLOBAL PROPERTY ORVIX_ADMIN_AREAS)
set(_not_installed PATTERN "*_posix.h" EXCLUDE PATTERN "*_internal.h" EXCLUDE)
foreach(_area IN LISTS _admin_areas)
  list(APPEND _not_installed PATTERN "${_area}" EXCLUDE)
endforeach()
install(DIRECTORY ${PROJECT_SOURCE_DIR}/src/ DESTINATION include/orvix COMPONENT Development
  FILES_MATCHING PATTERN "*.h" PATTERN "*.inc" ${_not_installed})
install(EXPORT OrvixUtilitiesTargets NAMESPACE orvix::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/OrvixUtilities COMPONENT Development)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/OrvixUtilitiesConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/OrvixUtilitiesConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/OrvixUtilities)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/OrvixUtilitiesConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/OrvixUtilitiesConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/OrvixUtilitiesConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/OrvixUtilities COMPONENT Development)
