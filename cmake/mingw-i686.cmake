# Cross-compiles the 32-bit Windows program, the product, on Linux with mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
set(TARNEL_WINE_ARCH win32)
set(TARNEL_RELEASE_PLATFORM win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
# On 64-bit Windows a large-address-aware 32-bit process gets 4 GB of address space instead of 2:
# one conversion may hold a 64 MiB source and a 128 MiB decoded picture, which a fragmented 2 GB
# space can refuse.
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -Wl,--large-address-aware")
string(APPEND CMAKE_SHARED_LINKER_FLAGS_INIT " -Wl,--large-address-aware")
