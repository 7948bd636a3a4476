# Cross build for 32-bit Windows: the DLL and its tests.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ORVANDEL_MINGW_PREFIX i686-w64-mingw32)
set(ORVANDEL_WINE_ARCH 32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-cross.cmake)
