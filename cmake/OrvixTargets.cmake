# Helpers shared by every target of the layer.

add_library(orvix_warnings INTERFACE)
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_options(orvix_warnings INTERFACE -Wall -Wextra $<$<BOOL:${ORVIX_WERROR}>:-Werror>)
endif()

# orvix_add_library(<area> [ADMIN] SOURCES ... [DEPENDS ...]) creates orvix_<area> with the
# alias orvix::<area>. Sources are given relative to the caller's directory. An ADMIN
# library is for administrators' tools: it is neither part of orvix::utilities nor
# installed, so agent components never link it.
function(orvix_add_library area)
  cmake_parse_arguments(ARG "ADMIN" "" "SOURCES;DEPENDS;PRIVATE_DEPENDS" ${ARGN})
  add_library(orvix_${area} STATIC ${ARG_SOURCES})
  add_library(orvix::${area} ALIAS orvix_${area})
  set_target_properties(orvix_${area} PROPERTIES EXPORT_NAME ${area} OUTPUT_NAME orvix_${area})
  target_include_directories(orvix_${area} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/src>
    $<INSTALL_INTERFACE:include/orvix>)
  target_link_libraries(orvix_${area} PUBLIC ${ARG_DEPENDS} PRIVATE orvix_warnings ${ARG_PRIVATE_DEPENDS})
  if(ARG_ADMIN)
    set_property(GLOBAL APPEND PROPERTY ORVIX_ADMIN_AREAS ${area})
  else()
    set_property(GLOBAL APPEND PROPERTY ORVIX_LIBRARIES orvix_${area})
  endif()
endfunction()

# orvix_add_test(<name> SOURCES ... DEPENDS ...) builds one GoogleTest binary and
# registers each test case as its own CTest test (each runs in a fresh process, so
# the process-wide singletons start clean). Discovery happens at test time so the
# cross build needs no emulator while it compiles.
function(orvix_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;DEPENDS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} orvix_warnings)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 60)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "${ARG_LABELS}")
endfunction()

# orvix_glob_sources(<var> <dir>) lists the .cpp files of a directory for this platform:
# portable files always, *_win.cpp on Windows and *_posix.cpp elsewhere. This is the one
# place where platform sources are chosen.
function(orvix_glob_sources var dir)
  file(GLOB _all CONFIGURE_DEPENDS "${dir}/*.cpp")
  set(_out)
  foreach(f IN LISTS _all)
    get_filename_component(_name "${f}" NAME_WE)
    if(_name MATCHES "_win$")
      if(WIN32)
        list(APPEND _out "${f}")
      endif()
    elseif(_name MATCHES "_posix$")
      if(NOT WIN32)
        list(APPEND _out "${f}")
      endif()
    else()
      list(APPEND _out "${f}")
    endif()
  endforeach()
  set(${var} ${_out} PARENT_SCOPE)
endfunction()
