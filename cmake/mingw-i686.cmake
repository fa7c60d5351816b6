# Cross-compiles the 32-bit Windows program, the product, on Linux with mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
set(TARNEL_WINE_ARCH win32)
set(TARNEL_RELEASE_PLATFORM win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
