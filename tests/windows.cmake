# The Windows build's tests. Each test program is one ctest entry run in one
# Wine process: starting Wine per case costs about ten times as long.
# Tests that need POSIX itself (descriptors, fork, signals, the Linux
# simulator started from inside the test) are not in this list.
if(PELLANDOR_WINE)
  add_test(NAME wine_start COMMAND "${PROJECT_SOURCE_DIR}/cmake/wine-run" --start "${PELLANDOR_WINE_PREFIX}")
  add_test(NAME wine_stop COMMAND "${PROJECT_SOURCE_DIR}/cmake/wine-run" --stop "${PELLANDOR_WINE_PREFIX}")
  set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
  set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine)
endif()

function(pellandor_add_gtest name)
  cmake_parse_arguments(ARG "" "DATA;SKIP" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}")
  target_compile_definitions(${name} PRIVATE
    PELLANDOR_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/${ARG_DATA}/data"
    PELLANDOR_BIN_DIR="${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
  if(ARG_SKIP)
    add_test(NAME ${name} COMMAND ${name} "--gtest_filter=-${ARG_SKIP}")
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}" FIXTURES_REQUIRED wine TIMEOUT 300)
endfunction()

pellandor_add_gtest(pellandor_dialing_tests
  SOURCES dialing/text_utils_test.cpp dialing/dialing_rules_test.cpp
  LIBS pellandor_dialing
  LABELS unit)
pellandor_add_gtest(pellandor_cipher_tests
  SOURCES base/credential_cipher_test.cpp
  LIBS pellandor_base
  LABELS unit)
pellandor_add_gtest(pellandor_service_tests
  SOURCES service/answer_parser_test.cpp service/http_framing_test.cpp service/exchange_request_test.cpp
          service/result_message_test.cpp
  LIBS pellandor_service
  LABELS unit)
# Three cases compare whole files with the Linux layout (LF, a blank line
# before each section); on Windows the layout is Windows' own, which
# pellandor_ini_profile_tests checks against the profile functions.
pellandor_add_gtest(pellandor_config_tests
  DATA config
  SKIP "ScratchFolder.SaveWritesEverySectionAndKeyInOrder:ScratchFolder.SaveWritesTheKeysInOrderAndLeavesStaleEntries:ScratchFolder.SectionSavesWriteTheirKeysInOrder"
  SOURCES config/app_settings_test.cpp config/dialing_rule_sections_test.cpp config/language_table_test.cpp
          config/call_log_test.cpp support/scratch_folder.cpp
  LIBS pellandor_config
  LABELS unit)
pellandor_add_gtest(pellandor_ini_profile_tests
  SOURCES config/ini_profile_test.cpp
  LIBS pellandor_config
  LABELS unit)
# The failure texts in words are matched against Linux error numbers; the
# Windows socket errors (WSAE...) are not described yet.
pellandor_add_gtest(pellandor_call_tests
  SOURCES call/call_press_test.cpp call/keyring_password_test.cpp support/scratch_folder.cpp
  LIBS pellandor_call
  SKIP "RequestFailureTest.SaysInWordsWhatFailed"
  LABELS unit)
pellandor_add_gtest(pellandor_credential_store_tests
  SOURCES platform/windows_credential_store_test.cpp
  LIBS pellandor_platform
  LABELS unit)

# pellandor.exe under Wine against the simulator of a Linux build (the ci
# preset's by default): the same request bytes as the Linux client.
set(PELLANDOR_LINUX_SIM "${PROJECT_SOURCE_DIR}/build-ci/bin/pellandor-exchange-sim" CACHE FILEPATH
  "The exchange simulator of a Linux build, for the Windows command-line tests")
find_package(Python3 COMPONENTS Interpreter)
if(PELLANDOR_WINE AND Python3_FOUND)
  # The interpreter by its path: as a target, ctest would run it under Wine,
  # which loses its exit status.
  add_test(NAME cli_wine
    COMMAND "${Python3_EXECUTABLE}" "${CMAKE_CURRENT_SOURCE_DIR}/cli/test_wine.py"
    WORKING_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}/cli")
  set_tests_properties(cli_wine PROPERTIES
    LABELS "e2e;net"
    FIXTURES_REQUIRED wine
    SKIP_RETURN_CODE 77
    TIMEOUT 900
    ENVIRONMENT "PELLANDOR_BIN_DIR=${CMAKE_RUNTIME_OUTPUT_DIRECTORY};PELLANDOR_SIM=${PELLANDOR_LINUX_SIM};PELLANDOR_WINE_RUN=${PROJECT_SOURCE_DIR}/cmake/wine-run;PELLANDOR_WINE_PREFIX=${PELLANDOR_WINE_PREFIX};PYTHONDONTWRITEBYTECODE=1")
endif()
include(win32_desktop/tests.cmake)
add_subdirectory(win32_dialogs)
