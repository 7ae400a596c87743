# Tests of the layer plug-ins (liblorvent) loaded by class name through pluginlib.
if(TARGET lorvent AND TARGET sorrelin)
  # The plug-in library is only ever opened by the loader: linking it as well would register its
  # classes outside the loader's bookkeeping. The tests take its headers only.
  brindlex_add_gtest(test_lorvent_registration
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_lorvent_registration.cpp
    LIBRARIES sorrelin)
  brindlex_add_gtest(test_map_publish_node
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_map_publish_node.cpp
    LIBRARIES sorrelin)
  brindlex_add_gtest(test_clean_coverage_node
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_clean_coverage_node.cpp
    LIBRARIES sorrelin)
  target_include_directories(test_clean_coverage_node PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/.. ${CMAKE_CURRENT_LIST_DIR}/../unit)
  ament_target_dependencies(test_clean_coverage_node PUBLIC brindlex_nav2_protocol fennick)
  # Trigger records under test go to standard output.
  set_property(TEST test_clean_coverage_node APPEND PROPERTY ENVIRONMENT
    "SPDLOG_STDOUT=true" "SPDLOG_SYSTEMD=false" "SPDLOG_LEVEL=info")
  foreach(test_target IN ITEMS test_lorvent_registration test_map_publish_node
      test_clean_coverage_node)
    target_include_directories(${test_target} PRIVATE
      $<TARGET_PROPERTY:lorvent,INTERFACE_INCLUDE_DIRECTORIES>)
    add_dependencies(${test_target} lorvent nav2_costmap_2d_test_layers)
  endforeach()
  # The node test reaches into the loaded layers by static_cast; UBSan's check of such casts needs
  # the layers' type information at link time, which lives only in the plug-in library.
  if(BRINDLEX_ASAN)
    target_compile_options(test_map_publish_node PRIVATE -fno-sanitize=vptr)
    target_compile_options(test_clean_coverage_node PRIVATE -fno-sanitize=vptr)
  endif()
  target_compile_definitions(test_lorvent_registration PRIVATE
    LORVENT_LIBRARY_PATH="$<TARGET_FILE:lorvent>")

  # Both nodes with every shipped layer, up and down again (tools/soak.sh runs it longer).
  brindlex_add_gtest(test_lifecycle_loop
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_lifecycle_loop.cpp
    LIBRARIES sorrelin demo_world
    TIMEOUT 900)
  add_dependencies(test_lifecycle_loop lorvent nav2_costmap_2d_test_layers)
  target_include_directories(test_lifecycle_loop PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
  target_compile_definitions(test_lifecycle_loop PRIVATE
    LOOP_MAP_DIR="${PROJECT_SOURCE_DIR}/data/map/")
endif()

# The depth-camera layer end to end: both nodes, TF and the demo's simulated cameras.
if(TARGET lorvent AND TARGET sorrelin AND TARGET demo_world)
  brindlex_add_gtest(test_velnor_layer_node
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_velnor_layer_node.cpp
    LIBRARIES sorrelin velnor demo_world
    TIMEOUT 600)
  target_include_directories(test_velnor_layer_node PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
  add_dependencies(test_velnor_layer_node lorvent)
endif()
