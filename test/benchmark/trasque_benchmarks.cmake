# Benchmarks of the zone library (Google Benchmark); run by hand, not by CTest:
#   build/test/benchmark/benchmark_zone_raster
if(TARGET trasque)
  add_executable(benchmark_zone_raster ${CMAKE_CURRENT_LIST_DIR}/benchmark_zone_raster.cpp)
  target_compile_options(benchmark_zone_raster PRIVATE ${BRINDLEX_WARNINGS})
  target_link_libraries(benchmark_zone_raster PRIVATE trasque benchmark::benchmark
    benchmark::benchmark_main)
endif()
