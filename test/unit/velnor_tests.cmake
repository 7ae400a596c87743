# Unit tests of libvelnor (included from test/unit/CMakeLists.txt).
set(VELNOR_TEST_DIR ${CMAKE_CURRENT_LIST_DIR})

# A library loaded at run time by test_semantic_code; it carries its own copies of the shared
# constant definitions.
add_library(velnor_second_definitions MODULE ${VELNOR_TEST_DIR}/velnor_second_definitions.cpp)
target_include_directories(velnor_second_definitions PRIVATE ${PROJECT_SOURCE_DIR}/include)
target_compile_options(velnor_second_definitions PRIVATE ${BRINDLEX_WARNINGS})

# Gives the tests the logger object that libvelnor writes to.
add_library(velnor_test_log SHARED ${VELNOR_TEST_DIR}/velnor_log_access.cpp)
target_link_libraries(velnor_test_log PUBLIC brindlex_util)
target_compile_options(velnor_test_log PRIVATE ${BRINDLEX_WARNINGS})

brindlex_add_gtest(test_semantic_code
  SOURCES ${VELNOR_TEST_DIR}/test_semantic_code.cpp
  LIBRARIES velnor ${CMAKE_DL_LIBS})
target_compile_definitions(test_semantic_code PRIVATE
  VELNOR_SECOND_LIBRARY="$<TARGET_FILE:velnor_second_definitions>")
add_dependencies(test_semantic_code velnor_second_definitions)

brindlex_add_gtest(test_observation
  SOURCES ${VELNOR_TEST_DIR}/test_observation.cpp
  LIBRARIES velnor)

brindlex_add_gtest(test_frustum_detector
  SOURCES ${VELNOR_TEST_DIR}/test_frustum_detector.cpp
  LIBRARIES velnor velnor_test_log)

brindlex_add_gtest(test_frustum_manager
  SOURCES ${VELNOR_TEST_DIR}/test_frustum_manager.cpp ${VELNOR_TEST_DIR}/ros_test_main.cpp
  LIBRARIES velnor velnor_test_log
  NO_MAIN)

brindlex_add_gtest(test_cell_cache
  SOURCES ${VELNOR_TEST_DIR}/test_cell_cache.cpp
  LIBRARIES velnor velnor_test_log)

brindlex_add_gtest(test_observation_buffer
  SOURCES ${VELNOR_TEST_DIR}/test_observation_buffer.cpp ${VELNOR_TEST_DIR}/ros_test_main.cpp
  LIBRARIES velnor velnor_test_log
  NO_MAIN)

brindlex_add_gtest(test_velnor_cache
  SOURCES ${VELNOR_TEST_DIR}/test_velnor_cache.cpp
  LIBRARIES velnor velnor_test_log
  NO_MAIN)

brindlex_add_gtest(test_velnor_cache_master
  SOURCES ${VELNOR_TEST_DIR}/test_velnor_cache_master.cpp ${VELNOR_TEST_DIR}/ros_test_main.cpp
  LIBRARIES velnor
  NO_MAIN)

# A generated corpus of well-formed, hostile and malformed semantic point clouds.
brindlex_add_gtest(test_semantic_cloud_fuzz
  SOURCES ${VELNOR_TEST_DIR}/test_semantic_cloud_fuzz.cpp
  LIBRARIES velnor velnor_test_log)
target_compile_definitions(test_semantic_cloud_fuzz PRIVATE
  SEMANTIC_CLOUD_CORPUS="${VELNOR_TEST_DIR}/fuzz_semantic_cloud_corpus")

# libFuzzer target for the observation buffer (clang only), e.g.
#   CC=clang CXX=clang++ cmake -B build-fuzz -DBRINDLEX_ASAN=ON -DVELNOR_FUZZER=ON
#   build-fuzz/test/unit/fuzz_semantic_cloud -max_total_time=600 test/unit/fuzz_semantic_cloud_corpus
# CTest runs a short, seeded session of it.
if(VELNOR_FUZZER)
  add_executable(fuzz_semantic_cloud ${VELNOR_TEST_DIR}/fuzz_semantic_cloud.cpp)
  target_compile_options(fuzz_semantic_cloud PRIVATE ${BRINDLEX_WARNINGS} -fsanitize=fuzzer)
  target_link_options(fuzz_semantic_cloud PRIVATE -fsanitize=fuzzer)
  target_link_libraries(fuzz_semantic_cloud PRIVATE velnor velnor_test_log)
  set(VELNOR_FUZZ_WORK_DIR "${CMAKE_CURRENT_BINARY_DIR}/fuzz_semantic_cloud_work")
  file(MAKE_DIRECTORY "${VELNOR_FUZZ_WORK_DIR}")
  add_test(NAME fuzz_semantic_cloud
    COMMAND fuzz_semantic_cloud -seed=1 -runs=20000 -max_len=4096 -close_fd_mask=1
      "${VELNOR_FUZZ_WORK_DIR}" "${VELNOR_TEST_DIR}/fuzz_semantic_cloud_corpus")
  set_tests_properties(fuzz_semantic_cloud PROPERTIES TIMEOUT 600)
endif()
