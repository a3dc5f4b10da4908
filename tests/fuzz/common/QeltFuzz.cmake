# qelt_fuzz_target(NAME SOURCES ... LIBS ...): a replay program with a CTest
# test over the folder's seeds, and with QELT_LIBFUZZER=ON under Clang the
# libFuzzer target NAME (tools/fuzz.sh builds and runs those).
option(QELT_LIBFUZZER "Build libFuzzer targets (Clang)" OFF)
function(qelt_fuzz_target name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name}_replay ${F_SOURCES} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/Replay.cpp)
  target_include_directories(${name}_replay PRIVATE ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
  target_link_libraries(${name}_replay PRIVATE ${F_LIBS})
  add_test(NAME ${name}_seeds COMMAND ${name}_replay ${CMAKE_CURRENT_SOURCE_DIR}/seeds)
  set_tests_properties(${name}_seeds PROPERTIES TIMEOUT 120)
  if(QELT_LIBFUZZER AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    add_executable(${name} ${F_SOURCES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_FUNCTION_LIST_DIR})
  endif()
endfunction()
