# CPack settings for the SDK packages, both made from the Development component (the
# libraries, headers and CMake package of cmake/OrvixInstall.cmake):
#   Windows build: orvix-utilities-sdk-VERSION-windows-x64.zip, to unpack anywhere and
#                  point CMAKE_PREFIX_PATH (or OrvixUtilities_DIR) at;
#   Linux build:   orvix-utilities-dev_VERSION_ARCH.deb, installed under /usr, which also
#                  carries orvix-env (the Tool component).
# scripts/package.sh runs cpack in the existing build trees; packaging/orvix-env.wxs is the
# administrators' installer, which CPack does not make.
set(CPACK_PACKAGE_NAME "orvix-utilities")
set(CPACK_PACKAGE_VENDOR "Quillon")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Orvix agent utility layer: libraries, headers and CMake package")
# Debian shows the description as it is: lines under 80 columns.
set(CPACK_PACKAGE_DESCRIPTION "The host-side utility layer of the Orvix remote-display agent: the
configuration store, the event log, platform facts and the signed library
loader, as static libraries with their headers and a CMake package
(find_package(OrvixUtilities), target orvix::utilities).")
set(CPACK_PACKAGE_CONTACT "Quillon Orvix developers <orvix@quillon.example.com>")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL Development)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_ARCHIVE_FILE_NAME "orvix-utilities-sdk-${PROJECT_VERSION}-windows-x64")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(_doc share/doc/orvix-utilities-dev)
  # What Debian asks of every package's documentation folder: the copyright file and a
  # compressed changelog (gzip -n; the date follows SOURCE_DATE_EPOCH when it is set, so
  # a package can be made again byte for byte).
  string(TIMESTAMP ORVIX_CHANGELOG_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in
    ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
  execute_process(COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/packaging/changelog
    OUTPUT_FILE ${CMAKE_BINARY_DIR}/packaging/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
    DESTINATION ${_doc} COMPONENT DebianDocs EXCLUDE_FROM_ALL)

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL Development Tool DebianDocs)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_PACKAGE_NAME orvix-utilities-dev)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # orvix-env's shared libraries come from dpkg-shlibdeps; the rest is what the CMake
  # package needs at a consumer's build: {fmt} (find_dependency) and libpci, which the
  # exported targets link by name.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libfmt-dev (>= 8), libpci-dev")
endif()

include(CPack)
