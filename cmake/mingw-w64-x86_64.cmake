# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (the POSIX
# threads variant, which std::thread and std::mutex need). The programs link
# libgcc, libstdc++ and winpthread statically, so they need only the DLLs
# Windows itself ships.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TESSIK_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TESSIK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TESSIK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TESSIK_MINGW_PREFIX}-windres)
set(CMAKE_AR /usr/bin/${TESSIK_MINGW_PREFIX}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB /usr/bin/${TESSIK_MINGW_PREFIX}-ranlib CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${TESSIK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static takes winpthread's archive instead of libwinpthread-1.dll.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under wine.
find_program(TESSIK_WINE NAMES wine wine64)
if(TESSIK_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TESSIK_WINE})
endif()
