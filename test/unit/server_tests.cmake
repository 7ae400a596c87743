# Unit tests of the semantic grid, the layered map and its update cycle (no ROS graph needed).
set(server_unit_test_libraries brindlex_util)
foreach(test_name IN ITEMS test_semantic_grid test_update_cycle)
  brindlex_add_gtest(${test_name} SOURCES ${CMAKE_CURRENT_LIST_DIR}/${test_name}.cpp
    LIBRARIES brindlex_util)
  target_include_directories(${test_name} PRIVATE ${CMAKE_CURRENT_LIST_DIR}
    ${CMAKE_CURRENT_LIST_DIR}/..)
  ament_target_dependencies(${test_name} PUBLIC ${BRINDLEX_SERVER_DEPENDENCIES})
endforeach()

brindlex_add_gtest(test_core_library SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_core_library.cpp
  LIBRARIES ${CMAKE_DL_LIBS})
target_compile_definitions(test_core_library PRIVATE SORRELIN_PATH="$<TARGET_FILE:sorrelin>")
add_dependencies(test_core_library sorrelin)
