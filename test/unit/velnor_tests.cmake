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
  SOURCES ${VELNOR_TEST_DIR}/test_frustum_manager.cpp
  LIBRARIES velnor velnor_test_log
  NO_MAIN)

brindlex_add_gtest(test_cell_cache
  SOURCES ${VELNOR_TEST_DIR}/test_cell_cache.cpp
  LIBRARIES velnor velnor_test_log)

brindlex_add_gtest(test_observation_buffer
  SOURCES ${VELNOR_TEST_DIR}/test_observation_buffer.cpp
  LIBRARIES velnor velnor_test_log
  NO_MAIN)
