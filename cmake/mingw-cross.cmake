# Shared by the two MinGW-w64 toolchain files, which set ORVANDEL_MINGW_PREFIX
# and ORVANDEL_WINE_ARCH first. Posix threading model, so GoogleTest's
# std::mutex and std::thread work in the test executables; cross-built tests
# run under Wine through scripts/wine-run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${ORVANDEL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVANDEL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ORVANDEL_MINGW_PREFIX}-windres)
set(CMAKE_OBJDUMP ${ORVANDEL_MINGW_PREFIX}-objdump CACHE FILEPATH "")
set(CMAKE_NM ${ORVANDEL_MINGW_PREFIX}-nm CACHE FILEPATH "")
set(CMAKE_STRIP ${ORVANDEL_MINGW_PREFIX}-strip CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${ORVANDEL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Each build folder gets its own Wine prefix, so parallel builds and other
# people's prefixes never meet.
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run --arch ${ORVANDEL_WINE_ARCH}
    --prefix ${CMAKE_BINARY_DIR}/wineprefix)
