# Dependencies come from the system (Debian packages); nothing is vendored.
#
# Native builds use the installed CMake packages. The Windows cross build uses the
# same {fmt} headers in header-only mode and builds GoogleTest from Debian's sources,
# because no MinGW binaries of either are packaged.

# orvix_header_only_shim(TARGET DIR LINK): an interface target whose include path holds
# only a link named LINK to DIR, so the cross build sees that one header directory and
# not the rest of /usr/include, which holds the host's C library.
function(orvix_header_only_shim target dir link)
  set(root "${CMAKE_BINARY_DIR}/_deps/${target}-include")
  file(MAKE_DIRECTORY "${root}")
  if(NOT EXISTS "${root}/${link}")
    file(CREATE_LINK "${dir}" "${root}/${link}" SYMBOLIC)
  endif()
  add_library(${target} INTERFACE)
  target_include_directories(${target} INTERFACE "$<BUILD_INTERFACE:${root}>")
endfunction()

# orvix_header_only_package(PACKAGE VERSION ALIAS SHIM DIR_VARIABLE DIR): the package's
# target ALIAS (such as CLI11::CLI11). Natively it comes from the package's CMake config;
# the cross build makes it a shim (SHIM) over the header directory DIR, which the cache
# variable DIR_VARIABLE can move.
function(orvix_header_only_package package version alias shim dir_variable dir)
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    set(${dir_variable} "${dir}" CACHE PATH "Directory holding the ${package} headers")
    get_filename_component(link "${dir}" NAME)
    orvix_header_only_shim(${shim} "${${dir_variable}}" ${link})
    add_library(${alias} ALIAS ${shim})
  else()
    find_package(${package} ${version} REQUIRED)
  endif()
endfunction()

orvix_header_only_package(fmt 8 fmt::fmt orvix_fmt_header_only ORVIX_FMT_HEADERS /usr/include/fmt)
set(ORVIX_FMT_IS_HEADER_ONLY OFF)
if(TARGET orvix_fmt_header_only)  # the cross build's: no MinGW build of {fmt} is packaged
  target_compile_definitions(orvix_fmt_header_only INTERFACE FMT_HEADER_ONLY=1)
  set(ORVIX_FMT_IS_HEADER_ONLY ON)
endif()

find_package(Threads REQUIRED)

if(NOT WIN32)
  # libpci (Debian libpci-dev) lists the display adapters; checked here for a clear message.
  find_path(ORVIX_PCI_INCLUDE_DIR pci/pci.h REQUIRED)
  find_library(ORVIX_PCI_LIBRARY pci REQUIRED)  # only checked: src/os links it by name
endif()

# nlohmann/json (header-only) for the console tool's --json output. The cross build puts
# only its nlohmann/ directory on the include path, as for {fmt}, and so for CLI11.
if(ORVIX_BUILD_TOOLS)
  orvix_header_only_package(nlohmann_json 3 nlohmann_json::nlohmann_json orvix_json_header_only
    ORVIX_JSON_HEADERS /usr/include/nlohmann)
  # CLI11 (header-only) parses the console tool's sub-commands and options.
  orvix_header_only_package(CLI11 2 CLI11::CLI11 orvix_cli11_header_only ORVIX_CLI11_HEADERS /usr/include/CLI)
endif()

if(ORVIX_BUILD_TESTS)
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    set(ORVIX_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest sources for the cross build")
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    add_subdirectory("${ORVIX_GTEST_SOURCE}" "${CMAKE_BINARY_DIR}/_deps/googletest" EXCLUDE_FROM_ALL SYSTEM)
    # GoogleTest's own CMake defines the GTest:: aliases.
  else()
    find_package(GTest REQUIRED)
  endif()
endif()

if(ORVIX_BUILD_BENCH)
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    # No MinGW build of Google Benchmark is packaged: only the plain latency program
    # builds for Windows.
  else()
    find_package(benchmark REQUIRED)
  endif()
endif()
