# Cross build for 32-bit Windows with the MinGW-w64 i686 compilers (posix
# threading model, so GoogleTest's std::mutex and std::thread work in the
# test executables). Cross-built tests run under Wine through scripts/wine-run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(ORVANDEL_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${ORVANDEL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVANDEL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ORVANDEL_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${ORVANDEL_MINGW_PREFIX}-objdump CACHE FILEPATH "")
set(CMAKE_NM ${ORVANDEL_MINGW_PREFIX}-nm CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${ORVANDEL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Each build folder gets its own Wine prefix, so parallel builds and other
# people's prefixes never meet.
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run --prefix ${CMAKE_BINARY_DIR}/wineprefix)
