# Cross-build for 64-bit Windows with mingw-w64; ctest runs the Windows programs under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VEX_MINGW_PREFIX x86_64-w64-mingw32)

# The posix thread model gives std::mutex and std::thread.
set(CMAKE_C_COMPILER ${VEX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VEX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VEX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VEX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Each program runs under Wine through scripts/wine-launch.sh, which keeps Wine's own processes
# off ctest's output pipe and, for scripts/test.sh, runs a launch that Wine spoiled once more.
find_program(VEX_WINE NAMES wine wine64)
if(VEX_WINE)
    get_filename_component(VEX_WINE_LAUNCH ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-launch.sh
                           ABSOLUTE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VEX_WINE_LAUNCH} ${VEX_WINE})
endif()
