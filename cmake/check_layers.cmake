# Fails when a source file of one layer includes a header of a layer above it
# (or of a sibling layer), so the layering holds by build, not by habit.
#   cmake -DSOURCE_DIR=<folder holding the layer folders> -P check_layers.cmake
#
# Order, lowest first; layers on one line are siblings and may not include
# each other:
#   base < platform, dialing < config, service < call < cli < desktop_logic < front_door, ui, win32_desktop < app
# (platform: the seam to the operating system, one folder per backend;
# front_door: the Qt-free `pellandor` command that starts the desktop program;
# ui is the Qt front and win32_desktop the Win32 one, so neither may use the other)
cmake_minimum_required(VERSION 3.25)

if(NOT SOURCE_DIR)
  message(FATAL_ERROR "check_layers: set SOURCE_DIR")
endif()

get_filename_component(SOURCE_DIR "${SOURCE_DIR}" ABSOLUTE)

set(rank_base 0)
set(rank_platform 1)
set(rank_dialing 1)
set(rank_config 2)
set(rank_service 2)
set(rank_call 3)
set(rank_cli 4)
set(rank_desktop_logic 5)
set(rank_front_door 6)
set(rank_ui 6)
set(rank_win32_desktop 6)
set(rank_app 7)
set(layers base platform dialing config service call cli desktop_logic front_door ui win32_desktop app)

set(violations "")
foreach(layer IN LISTS layers)
  if(NOT IS_DIRECTORY "${SOURCE_DIR}/${layer}")
    continue()
  endif()
  file(GLOB_RECURSE files RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.hpp"
       "${SOURCE_DIR}/${layer}/*.cpp" "${SOURCE_DIR}/${layer}/*.cc")
  foreach(file IN LISTS files)
    file(STRINGS "${SOURCE_DIR}/${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"][a-z0-9_]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"].*$" "\\1" header "${line}")
      string(REGEX REPLACE "/.*$" "" target "${header}")
      if(target STREQUAL layer OR NOT DEFINED rank_${target})
        continue()
      endif()
      if(rank_${target} GREATER_EQUAL rank_${layer})
        list(APPEND violations "${file} includes ${header} (${layer} may not use ${target})")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n  " text)
  message(FATAL_ERROR "Layer rule broken:\n  ${text}")
endif()
