# Makes a delay-import library for one DLL:
#   cmake -DDLLTOOL=... -DAR=... -DDEF=x.def -DDLL=x.dll -DSYSTEM_LIB=libx.a -DOUT=libx.a -P make_delay_lib.cmake
# dlltool writes the delay-loaded imports the .def names. The system's import
# library may also carry mingw-w64's own code (ws2_32's gai_strerrorA, the
# IN6_* helpers); those members are copied over, since this library takes
# the system one's place on the link line.
cmake_minimum_required(VERSION 3.25)
get_filename_component(name "${SYSTEM_LIB}" NAME_WE)
set(work "${OUT}.members")
file(REMOVE_RECURSE "${work}")
file(MAKE_DIRECTORY "${work}")
execute_process(COMMAND "${DLLTOOL}" --input-def "${DEF}" --dllname "${DLL}" --output-delaylib "${OUT}"
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "dlltool failed for ${DLL}")
endif()
execute_process(COMMAND "${AR}" t "${SYSTEM_LIB}" OUTPUT_VARIABLE members RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot list ${SYSTEM_LIB}")
endif()
string(REGEX MATCHALL "[^\n]+" members "${members}")
# Import stubs are named lib<name>h.o, lib<name>t.o and lib<name>s<N>.o.
list(FILTER members EXCLUDE REGEX "^${name}[ht]\\.o$|^${name}s[0-9]+\\.o$")
if(members)
  execute_process(COMMAND "${AR}" x "${SYSTEM_LIB}" ${members} WORKING_DIRECTORY "${work}" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cannot extract ${members} from ${SYSTEM_LIB}")
  endif()
  execute_process(COMMAND "${AR}" qs "${OUT}" ${members} WORKING_DIRECTORY "${work}" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cannot add mingw-w64's own members to ${OUT}")
  endif()
endif()
file(REMOVE_RECURSE "${work}")
