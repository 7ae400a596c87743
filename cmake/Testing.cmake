# Test helpers shared by the server's tests and the stand-in's tests.
find_package(GTest REQUIRED)
include(GoogleTest)

# Every test runs with the build tree's resource index, so pluginlib finds the packages.
set(BRINDLEX_TEST_ENV "AMENT_PREFIX_PATH=${BRINDLEX_BUILD_PREFIX}")

# brindlex_add_gtest(<name> SOURCES <src>... [LIBRARIES <lib>...] [TIMEOUT <s>] [NO_MAIN])
# One gtest executable registered as one CTest test (cases run in one process, so tests that
# share process-wide state, such as the ROS context, behave as in the server).
function(brindlex_add_gtest name)
  cmake_parse_arguments(ARG "NO_MAIN" "TIMEOUT" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_compile_options(${name} PRIVATE ${BRINDLEX_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gtest GTest::gmock)
  if(NOT ARG_NO_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${BRINDLEX_TEST_ENV}")
endfunction()
