# Cross build for 64-bit Windows: the x64 Orvandel.dll for 64-bit hosts (the
# win64 zip) and the same tests as the 32-bit build, under 64-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ORVANDEL_MINGW_PREFIX x86_64-w64-mingw32)
set(ORVANDEL_WINE_ARCH 64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-cross.cmake)
