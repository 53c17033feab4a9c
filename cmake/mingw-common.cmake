# Shared part of the MinGW-w64 cross toolchains; the caller sets
# CMAKE_SYSTEM_PROCESSOR and QX_MINGW_PREFIX first. The win32 thread model
# links no winpthread, whose imports (GetTickCount64, vectored exception
# handlers...) no Windows before Vista has; linked statically, the programs
# import only Windows' own DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${QX_MINGW_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${QX_MINGW_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER ${QX_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Windows test programs run under Wine in a throwaway prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tests/wine/run-test-exe.sh)
