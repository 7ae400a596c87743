# Benchmarks of libvelnor (included from test/benchmark/CMakeLists.txt).
add_executable(benchmark_frustum_detector
  ${CMAKE_CURRENT_LIST_DIR}/benchmark_frustum_detector.cpp)
target_compile_options(benchmark_frustum_detector PRIVATE ${BRINDLEX_WARNINGS})
target_link_libraries(benchmark_frustum_detector PRIVATE velnor benchmark::benchmark)

add_executable(benchmark_cell_cache ${CMAKE_CURRENT_LIST_DIR}/benchmark_cell_cache.cpp)
target_compile_options(benchmark_cell_cache PRIVATE ${BRINDLEX_WARNINGS})
target_link_libraries(benchmark_cell_cache PRIVATE velnor benchmark::benchmark)
