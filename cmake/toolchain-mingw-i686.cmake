# Cross-compiles the 32-bit (x86) Windows module and its tests with mingw-w64.
set(QELT_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QELT_ARCH x86)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
