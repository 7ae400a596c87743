# Tests of the zone library (libtrasque).
if(TARGET trasque)
  # The records under test go to standard output at info level.
  set(TRASQUE_TEST_LOG_ENV "SPDLOG_STDOUT=true" "SPDLOG_SYSTEMD=false" "SPDLOG_LEVEL=info")

  brindlex_add_gtest(test_zone_model
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_zone_model.cpp
    LIBRARIES trasque)
  brindlex_add_gtest(test_zone_raster
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_zone_raster.cpp
    LIBRARIES trasque)
  brindlex_add_gtest(test_zone_loader
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_zone_loader.cpp
    LIBRARIES trasque)
  target_compile_definitions(test_zone_loader PRIVATE
    TRASQUE_EXAMPLE_MAP_DIR="${PROJECT_SOURCE_DIR}/data/map")
  set_property(TEST test_zone_model test_zone_raster test_zone_loader APPEND PROPERTY ENVIRONMENT
    ${TRASQUE_TEST_LOG_ENV})
endif()
