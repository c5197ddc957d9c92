# Cross build for 64-bit Windows with Debian's mingw-w64 (posix thread model,
# for std::thread and std::mutex). Test programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PELLANDOR_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${PELLANDOR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PELLANDOR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${PELLANDOR_MINGW_TRIPLE}-windres)

# Libraries and headers come from the mingw sysroot and the dependency
# prefix (.ci/build-windows-deps), never from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${PELLANDOR_MINGW_TRIPLE})
if(PELLANDOR_WINDOWS_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH "${PELLANDOR_WINDOWS_DEPS}")
elseif(DEFINED ENV{PELLANDOR_WINDOWS_DEPS})
  list(APPEND CMAKE_FIND_ROOT_PATH "$ENV{PELLANDOR_WINDOWS_DEPS}")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)


# One self-contained .exe: no libstdc++, libgcc or winpthread DLLs to ship
# beside it (or to find under Wine).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
