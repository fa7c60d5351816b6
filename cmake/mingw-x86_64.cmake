# Cross-compiles the same program as a 64-bit Windows program: a second, equally tested build,
# and the one whose tests run on hosts that execute 64-bit code only.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOLCHAIN_PREFIX x86_64-w64-mingw32)
set(TARNEL_WINE_ARCH win64)
set(TARNEL_RELEASE_PLATFORM win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
