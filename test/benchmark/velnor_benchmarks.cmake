# Benchmarks of libvelnor (included from test/benchmark/CMakeLists.txt).
add_executable(benchmark_frustum_detector
  ${CMAKE_CURRENT_LIST_DIR}/benchmark_frustum_detector.cpp)
target_compile_options(benchmark_frustum_detector PRIVATE ${BRINDLEX_WARNINGS})
target_link_libraries(benchmark_frustum_detector PRIVATE velnor benchmark::benchmark)

add_executable(benchmark_cell_cache ${CMAKE_CURRENT_LIST_DIR}/benchmark_cell_cache.cpp)
target_compile_options(benchmark_cell_cache PRIVATE ${BRINDLEX_WARNINGS})
target_link_libraries(benchmark_cell_cache PRIVATE velnor benchmark::benchmark)

add_executable(benchmark_observation_buffer
  ${CMAKE_CURRENT_LIST_DIR}/benchmark_observation_buffer.cpp)
target_compile_options(benchmark_observation_buffer PRIVATE ${BRINDLEX_WARNINGS})
target_include_directories(benchmark_observation_buffer PRIVATE ${PROJECT_SOURCE_DIR}/test/unit)
target_link_libraries(benchmark_observation_buffer PRIVATE velnor benchmark::benchmark)
