# Tests of the layer plug-ins (liblorvent), driven directly on a layered map.
if(TARGET lorvent)
  # The records under test (DEBUG included) go to standard output.
  set(LORVENT_TEST_LOG_ENV "SPDLOG_STDOUT=true" "SPDLOG_SYSTEMD=false" "SPDLOG_LEVEL=debug")

  brindlex_add_gtest(test_map_publish_layer
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_map_publish_layer.cpp
    LIBRARIES lorvent)
  brindlex_add_gtest(test_static_mark_layer
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_static_mark_layer.cpp
    LIBRARIES lorvent)
  brindlex_add_gtest(test_clean_coverage_layer
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_clean_coverage_layer.cpp
    LIBRARIES lorvent)
  set_property(TEST test_clean_coverage_layer APPEND PROPERTY ENVIRONMENT ${LORVENT_TEST_LOG_ENV})
  brindlex_add_gtest(test_layer_base
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_layer_base.cpp
    LIBRARIES lorvent)

  set_property(TEST test_map_publish_layer test_static_mark_layer test_layer_base APPEND PROPERTY
    ENVIRONMENT ${LORVENT_TEST_LOG_ENV})
endif()

# The depth-camera layer on a layered map (its records are read through the libraries' logger).
if(TARGET lorvent AND TARGET velnor_test_log)
  brindlex_add_gtest(test_velnor_layer
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_velnor_layer.cpp
    LIBRARIES lorvent velnor_test_log)
  set_property(TEST test_velnor_layer APPEND PROPERTY ENVIRONMENT ${LORVENT_TEST_LOG_ENV})
endif()
