# Windows binaries built here run under Wine. Every run uses one prefix inside the build
# tree; scripts/test-windows.sh keeps a wineserver alive for the whole test run so a
# process starts in a few tens of milliseconds.
set(ORVIX_WINE "/usr/lib/wine/wine64" CACHE FILEPATH "Wine loader used to run Windows binaries")
set(ORVIX_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix for test runs")
configure_file("${PROJECT_SOURCE_DIR}/cmake/wine-run.sh.in" "${CMAKE_BINARY_DIR}/wine-run.sh"
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE
  @ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_BINARY_DIR}/wine-run.sh")
