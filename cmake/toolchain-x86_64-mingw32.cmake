# Cross build of the tests for 64-bit Windows (MinGW-w64 x86_64, posix
# threads). The product is the 32-bit DLL; this build exists so the same
# tests can run against the real Windows services under 64-bit Wine on
# machines whose kernel runs no 32-bit programs, where 32-bit Wine cannot.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ORVANDEL_MINGW_PREFIX x86_64-w64-mingw32)
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
    ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run --arch 64 --prefix ${CMAKE_BINARY_DIR}/wineprefix)
