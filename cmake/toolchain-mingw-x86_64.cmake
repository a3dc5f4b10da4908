# Cross-compiles the 64-bit (x64) Windows module and its tests with mingw-w64.
set(QELT_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QELT_ARCH x64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
