# Windows test programs run under Wine: one Wine process per test program
# (one per case would cost about ten times as long), in a prefix of the
# build's own that the first test creates.
find_program(PELLANDOR_WINE wine)
if(NOT PELLANDOR_WINE)
  message(STATUS "Windows tests: no wine; they are built but cannot run here")
  return()
endif()
set(PELLANDOR_WINE_PREFIX "${CMAKE_BINARY_DIR}/wine-prefix")
set(CMAKE_CROSSCOMPILING_EMULATOR "${PROJECT_SOURCE_DIR}/cmake/wine-run;${PELLANDOR_WINE_PREFIX}")
