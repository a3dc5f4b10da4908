# What both Windows toolchains share; the architecture's own file sets
# QELT_MINGW_TRIPLE, CMAKE_SYSTEM_PROCESSOR and QELT_ARCH (x86 or x64) first.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${QELT_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QELT_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QELT_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QELT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Programs of the build (tests, the type-library tool) run through Wine in
# the project's prefix of this architecture.
get_filename_component(_qelt_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR env QELT_ARCH=${QELT_ARCH} ${_qelt_root}/tools/wine-run.sh)
