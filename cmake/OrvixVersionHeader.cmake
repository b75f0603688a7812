# Writes orvix-env's version.h: the project version and, in a git checkout, the commit
# the build comes from (`git describe --always --dirty`). Run at every build (see
# tools/CMakeLists.txt) so the description follows new commits and local edits;
# configure_file leaves the header untouched while the text stays the same, so nothing
# recompiles then.
#   cmake -DSOURCE_DIR=... -DVERSION=... -DINPUT=version.h.in -DOUTPUT=version.h -P OrvixVersionHeader.cmake
set(ORVIX_ENV_VERSION "${VERSION}")
if(EXISTS "${SOURCE_DIR}/.git")
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" describe --always --dirty
      OUTPUT_VARIABLE _described RESULT_VARIABLE _result
      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    # A checkout git refuses to read (another owner, no history) keeps the plain version.
    if(_result EQUAL 0 AND NOT _described STREQUAL "")
      set(ORVIX_ENV_VERSION "${VERSION} (${_described})")
    endif()
  endif()
endif()
configure_file("${INPUT}" "${OUTPUT}" @ONLY)
