# Cross build for 64-bit Windows with Debian's MinGW-w64 compiler (the POSIX
# thread model, which std::thread and std::mutex need). The programs and the
# tests then run under wine, which CMake and ctest use to start them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VERTOLIN_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VERTOLIN_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VERTOLIN_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${VERTOLIN_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VERTOLIN_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# wine with the compiler's runtime DLLs on its path; without wine the build
# still links, only the default pictures and the tests need it.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
