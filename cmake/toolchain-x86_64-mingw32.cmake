# Cross build of the tests for 64-bit Windows. The product is the 32-bit DLL;
# this build exists so the same tests can run against the real Windows
# services under 64-bit Wine on machines whose kernel runs no 32-bit
# programs, where 32-bit Wine cannot.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ORVANDEL_MINGW_PREFIX x86_64-w64-mingw32)
set(ORVANDEL_WINE_ARCH 64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-cross.cmake)
