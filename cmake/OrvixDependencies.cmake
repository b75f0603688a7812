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

if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(ORVIX_FMT_HEADERS "/usr/include/fmt" CACHE PATH "Directory holding the {fmt} headers")
  orvix_header_only_shim(orvix_fmt_header_only "${ORVIX_FMT_HEADERS}" fmt)
  target_compile_definitions(orvix_fmt_header_only INTERFACE FMT_HEADER_ONLY=1)
  add_library(fmt::fmt ALIAS orvix_fmt_header_only)
  set(ORVIX_FMT_IS_HEADER_ONLY ON)
else()
  find_package(fmt 8 REQUIRED)
  set(ORVIX_FMT_IS_HEADER_ONLY OFF)
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
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    set(ORVIX_JSON_HEADERS "/usr/include/nlohmann" CACHE PATH "Directory holding the nlohmann/json headers")
    orvix_header_only_shim(orvix_json_header_only "${ORVIX_JSON_HEADERS}" nlohmann)
    add_library(nlohmann_json::nlohmann_json ALIAS orvix_json_header_only)
  else()
    find_package(nlohmann_json 3 REQUIRED)
  endif()
  # CLI11 (header-only) parses the console tool's sub-commands and options.
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    set(ORVIX_CLI11_HEADERS "/usr/include/CLI" CACHE PATH "Directory holding the CLI11 headers")
    orvix_header_only_shim(orvix_cli11_header_only "${ORVIX_CLI11_HEADERS}" CLI)
    add_library(CLI11::CLI11 ALIAS orvix_cli11_header_only)
  else()
    find_package(CLI11 2 REQUIRED)
  endif()
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
