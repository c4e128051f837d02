# Test registration. Windows test programs run under Wine through tools/wine-run.sh, each in a
# Wine prefix of its own and on the Xvfb display that tools/test.sh sets up for the run.
if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_SOURCE_DIR}/tools/wine-run.sh")
endif()

# orv_add_gtest(target SOURCES... [LIBS ...] [TIMEOUT s] [COST n]): one test program, one CTest
# test. COST (about its seconds) lets a parallel run start the long tests first.
function(orv_add_gtest target)
  cmake_parse_arguments(A "" "TIMEOUT;COST" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${A_SOURCES})
  target_link_libraries(${target} PRIVATE ${A_LIBS} orv::gmock orv::gtest_main)
  target_compile_definitions(${target} PRIVATE
    ORV_SOURCE_DIR="${CMAKE_SOURCE_DIR}" ORV_BINARY_DIR="${CMAKE_BINARY_DIR}")
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  add_test(NAME ${target} COMMAND ${target})
  set_tests_properties(${target} PROPERTIES TIMEOUT ${A_TIMEOUT})
  if(A_COST)
    set_tests_properties(${target} PROPERTIES COST ${A_COST})
  endif()
endfunction()
