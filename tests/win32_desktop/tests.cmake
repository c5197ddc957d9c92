# Included from tests/windows.cmake, so paths are relative to tests/.
# The Windows desktop program: its pure pieces under Wine, and the program
# itself on a private X desktop with an XEmbed tray, where Wine docks its
# tray icons; then the installer in a Wine prefix of its own.
pellandor_add_gtest(pellandor_win32_shell_tests
  SOURCES win32_desktop/shell_pieces_test.cpp
  LIBS pellandor_win32_shell
  LABELS unit)

# TLS, Winsock, COM and the common controls come when first used, not at start.
list(JOIN PELLANDOR_DELAY_LOADED "," lazy_dlls)
add_test(NAME win32_desktop_lazy_imports
  COMMAND "${CMAKE_COMMAND}" "-DOBJDUMP=${CMAKE_OBJDUMP}" "-DEXE=$<TARGET_FILE:pellandor-desktop>"
    "-DLAZY=${lazy_dlls}" -P "${CMAKE_CURRENT_SOURCE_DIR}/win32_desktop/lazy_imports.cmake")
set_tests_properties(win32_desktop_lazy_imports PROPERTIES LABELS unit)

if(PELLANDOR_WINE AND Python3_FOUND)
  # Calls go to the Linux build's simulator; its command line says what they should send.
  get_filename_component(linux_bin "${PELLANDOR_LINUX_SIM}" DIRECTORY)
  # The interpreter by its path: as a target, ctest would run it under Wine,
  # which loses its exit status.
  add_test(NAME win32_desktop_wine
    COMMAND "${Python3_EXECUTABLE}" "${CMAKE_CURRENT_SOURCE_DIR}/win32_desktop/test_desktop_wine.py"
    WORKING_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}/win32_desktop")
  set_tests_properties(win32_desktop_wine PROPERTIES
    LABELS e2e
    SKIP_RETURN_CODE 77
    # After the shared prefix is set up: Wine started twice at once trips over its own temporary folder.
    FIXTURES_REQUIRED wine
    TIMEOUT 600
    ENVIRONMENT "PELLANDOR_BIN_DIR=${CMAKE_RUNTIME_OUTPUT_DIRECTORY};PELLANDOR_LINUX_BIN=${linux_bin};PELLANDOR_INSTALLER=${PELLANDOR_INSTALLER};PELLANDOR_SAMPLE_SETTINGS=${PROJECT_SOURCE_DIR}/resources/sample_settings.ini;PELLANDOR_ARTIFACTS=${CMAKE_BINARY_DIR}/win32-desktop-e2e;PYTHONDONTWRITEBYTECODE=1")
endif()
