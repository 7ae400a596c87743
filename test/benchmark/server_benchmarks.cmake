# Benchmarks of the server's update cycle (Google Benchmark); run by hand, not by CTest:
#   build/test/benchmark/benchmark_update_cycle
add_executable(benchmark_update_cycle ${CMAKE_CURRENT_LIST_DIR}/benchmark_update_cycle.cpp)
target_compile_options(benchmark_update_cycle PRIVATE ${BRINDLEX_WARNINGS})
target_link_libraries(benchmark_update_cycle PRIVATE brindlex_util benchmark::benchmark)
ament_target_dependencies(benchmark_update_cycle PUBLIC ${BRINDLEX_SERVER_DEPENDENCIES})
