# Cross-build for 64-bit Windows with Debian's mingw-w64 (the POSIX-threads flavour, which
# std::thread and std::mutex need).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZM880_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZM880_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZM880_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ZM880_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZM880_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests run through wine (its launcher, which picks the 64-bit loader itself; Debian keeps
# wine64 off the PATH).
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
