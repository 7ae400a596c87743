# Benchmarks of the layer plug-ins (Google Benchmark); run by hand, not by CTest:
#   build/test/benchmark/benchmark_map_publish
if(TARGET lorvent)
  add_executable(benchmark_map_publish ${CMAKE_CURRENT_LIST_DIR}/benchmark_map_publish.cpp)
  target_compile_options(benchmark_map_publish PRIVATE ${BRINDLEX_WARNINGS})
  target_link_libraries(benchmark_map_publish PRIVATE lorvent benchmark::benchmark)
endif()

#   build/test/benchmark/benchmark_clean_coverage
if(TARGET lorvent)
  add_executable(benchmark_clean_coverage ${CMAKE_CURRENT_LIST_DIR}/benchmark_clean_coverage.cpp)
  target_compile_options(benchmark_clean_coverage PRIVATE ${BRINDLEX_WARNINGS})
  target_link_libraries(benchmark_clean_coverage PRIVATE lorvent benchmark::benchmark)
endif()

# The whole road of depth-camera clouds, from the topic to the obstacle map; run by hand:
#   build/test/benchmark/benchmark_velnor_road
if(TARGET lorvent AND TARGET sorrelin AND TARGET demo_world)
  add_executable(benchmark_velnor_road ${CMAKE_CURRENT_LIST_DIR}/benchmark_velnor_road.cpp)
  target_compile_options(benchmark_velnor_road PRIVATE ${BRINDLEX_WARNINGS})
  target_link_libraries(benchmark_velnor_road PRIVATE sorrelin demo_world benchmark::benchmark)
  add_dependencies(benchmark_velnor_road lorvent)
endif()
