# Benchmarks of the layer plug-ins (Google Benchmark); run by hand, not by CTest:
#   build/test/benchmark/benchmark_map_publish
if(TARGET lorvent)
  add_executable(benchmark_map_publish ${CMAKE_CURRENT_LIST_DIR}/benchmark_map_publish.cpp)
  target_compile_options(benchmark_map_publish PRIVATE ${BRINDLEX_WARNINGS})
  target_link_libraries(benchmark_map_publish PRIVATE lorvent benchmark::benchmark)
endif()
