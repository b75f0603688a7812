# Windows binaries built here run under Wine. Every run uses one prefix inside the build
# tree; scripts/test-windows.sh keeps a wineserver alive for the whole test run so a
# process starts in a few tens of milliseconds.
set(ORVIX_WINE "/usr/lib/wine/wine64" CACHE FILEPATH "Wine loader used to run Windows binaries")
set(ORVIX_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix for test runs")
configure_file("${PROJECT_SOURCE_DIR}/cmake/wine-run.sh.in" "${CMAKE_BINARY_DIR}/wine-run.sh"
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE
  @ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_BINARY_DIR}/wine-run.sh")

# orvix_wine_prefix_setup(COMMAND ARGS...) adds a step that scripts/test-windows.sh runs in
# the test prefix before the tests (every run: the steps must be repeatable). Windows
# programs are run through ${CMAKE_CROSSCOMPILING_EMULATOR}; generator expressions work.
# The steps are written to ${CMAKE_BINARY_DIR}/wine-prefix-setup.sh.
function(orvix_wine_prefix_setup)
  set(_line "")
  foreach(_arg IN LISTS ARGN)
    string(APPEND _line " \"${_arg}\"")
  endforeach()
  set_property(GLOBAL APPEND_STRING PROPERTY ORVIX_WINE_PREFIX_SETUP "${_line} || exit 1\n")
endfunction()

function(_orvix_write_wine_prefix_setup)
  get_property(_steps GLOBAL PROPERTY ORVIX_WINE_PREFIX_SETUP)
  file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/wine-prefix-setup.sh"
    CONTENT "#!/bin/sh\n# Generated: the steps that prepare the test Wine prefix (orvix_wine_prefix_setup).\n${_steps}"
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endfunction()
cmake_language(DEFER DIRECTORY "${CMAKE_SOURCE_DIR}" CALL _orvix_write_wine_prefix_setup)
