# GoogleTest from Debian's sources, built with whichever compiler builds us,
# and qelt_add_test(): one CTest test per test program, with a timeout.
include(CTest)
if(NOT TARGET gtest)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

# qelt_add_test(NAME SOURCES a.cpp b.cpp LIBS lib... [TIMEOUT s] [SERIAL])
function(qelt_add_test name)
  cmake_parse_arguments(T "SERIAL" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gtest_main gtest)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_SERIAL)
    set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
  endif()
endfunction()

# Adds every folder below the current one that has a CMakeLists.txt: tests,
# benchmarks and fuzz targets grow by adding a folder.
function(qelt_add_subfolders)
  file(GLOB _dirs LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(_dir IN LISTS _dirs)
    if(IS_DIRECTORY ${_dir} AND EXISTS ${_dir}/CMakeLists.txt)
      add_subdirectory(${_dir})
    endif()
  endforeach()
endfunction()

# Every test of a Windows build learns its architecture (the environment
# CTest gives its tests), so that scripts and Wine pick the matching prefix
# and loader however CTest is started on the build folder.
if(QELT_ARCH)
  file(WRITE ${CMAKE_BINARY_DIR}/QeltArchitecture.cmake "set(ENV{QELT_ARCH} \"${QELT_ARCH}\")\n")
  set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY TEST_INCLUDE_FILES
               ${CMAKE_BINARY_DIR}/QeltArchitecture.cmake)
endif()
