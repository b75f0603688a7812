# Authenticode test fixtures for the Windows build: certificates made with openssl and
# DLLs signed with osslsigncode at build time (never committed binaries or keys).
#
#   orvix_sign_test_dll(<target> DLL <dll-target> CERT <cert> OUTPUT <file>
#                       [PROGRAM_NAME <text> MORE_INFO_URL <url>] [TAMPER])
#
# makes <target> (built with ALL) that writes a signed copy of <dll-target>'s file to
# <file>. Put <file> in the directory of the test executable that loads it (the loader
# searches only the application and system directories). <cert> is one of
#   amd     "Advanced Micro Devices, Inc.", under the root CA the test prefix trusts
#   nvidia  "NVIDIA Corporation" (another vendor), under the same root
#   forged  "Advanced Micro Devices, Inc.", under a second root that is never installed
# PROGRAM_NAME and MORE_INFO_URL put the publisher facts (SPC_SP_OPUS_INFO) into the
# signature; without them it has none. TAMPER flips one byte of the code after signing.
#
# A test process that verifies signatures must not send HKEY_LOCAL_MACHINE elsewhere, as
# the test main's registry sandbox does: Wine then finds no trust provider and
# WinVerifyTrust answers 0 (trusted) even for an unsigned file. Undo it first with
# RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr).
#
# The certificates are in ${ORVIX_TEST_SIGNING_DIR}; root.der is added to the test Wine
# prefix's ROOT store at prefix set-up by orvix_install_test_root (see
# orvix_wine_prefix_setup in OrvixWine.cmake).
include_guard(GLOBAL)

find_program(ORVIX_OPENSSL openssl)
find_program(ORVIX_OSSLSIGNCODE osslsigncode)
if(NOT ORVIX_OPENSSL OR NOT ORVIX_OSSLSIGNCODE)
  message(FATAL_ERROR "The Windows tests sign their DLLs with openssl and osslsigncode: run scripts/install-deps.sh")
endif()

set(ORVIX_TEST_SIGNING_DIR "${CMAKE_BINARY_DIR}/test-signing" CACHE INTERNAL "Test certificates")
set(_orvix_signing_scripts "${CMAKE_CURRENT_LIST_DIR}")

add_custom_command(
  OUTPUT "${ORVIX_TEST_SIGNING_DIR}/stamp"
  COMMAND sh "${_orvix_signing_scripts}/make-test-certificates.sh" "${ORVIX_TEST_SIGNING_DIR}"
  DEPENDS "${_orvix_signing_scripts}/make-test-certificates.sh"
  COMMENT "Making the test signing certificates"
  VERBATIM)
add_custom_target(orvix_test_certificates DEPENDS "${ORVIX_TEST_SIGNING_DIR}/stamp")

# Adds the test root CA to the current user's ROOT store of the prefix it runs in.
add_executable(orvix_install_test_root "${PROJECT_SOURCE_DIR}/tests/support/tools/install_test_root_win.cpp")
target_link_libraries(orvix_install_test_root PRIVATE crypt32 orvix_warnings)
add_dependencies(orvix_install_test_root orvix_test_certificates)
orvix_wine_prefix_setup(${CMAKE_CROSSCOMPILING_EMULATOR} "$<TARGET_FILE:orvix_install_test_root>"
                        "${ORVIX_TEST_SIGNING_DIR}/root.der")

function(orvix_sign_test_dll target)
  cmake_parse_arguments(ARG "TAMPER" "DLL;CERT;OUTPUT;PROGRAM_NAME;MORE_INFO_URL" "" ${ARGN})
  if(NOT ARG_DLL OR NOT ARG_CERT OR NOT ARG_OUTPUT)
    message(FATAL_ERROR "orvix_sign_test_dll(${target}): DLL, CERT and OUTPUT are required")
  endif()
  set(_tamper "")
  if(ARG_TAMPER)
    set(_tamper tamper)
  endif()
  add_custom_command(
    OUTPUT "${ARG_OUTPUT}"
    COMMAND sh "${_orvix_signing_scripts}/sign-test-dll.sh" "$<TARGET_FILE:${ARG_DLL}>" "${ARG_OUTPUT}"
            "${ORVIX_TEST_SIGNING_DIR}" "${ARG_CERT}" "${ARG_PROGRAM_NAME}" "${ARG_MORE_INFO_URL}" "${_tamper}"
    DEPENDS ${ARG_DLL} orvix_test_certificates "${ORVIX_TEST_SIGNING_DIR}/stamp"
            "${_orvix_signing_scripts}/sign-test-dll.sh"
    COMMENT "Signing ${ARG_OUTPUT} with the ${ARG_CERT} test certificate"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS "${ARG_OUTPUT}")
endfunction()
