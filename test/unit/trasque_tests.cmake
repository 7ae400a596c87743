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
  brindlex_add_gtest(test_zone_loader_threads
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_zone_loader_threads.cpp
    LIBRARIES trasque Threads::Threads)
  target_compile_definitions(test_zone_loader_threads PRIVATE
    TRASQUE_EXAMPLE_MAP_DIR="${PROJECT_SOURCE_DIR}/data/map")

  # A generated corpus of broken and hostile stored map files.
  brindlex_add_gtest(test_zone_loader_fuzz
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/test_zone_loader_fuzz.cpp
    LIBRARIES trasque)

  set_property(TEST test_zone_model test_zone_raster test_zone_loader APPEND PROPERTY ENVIRONMENT
    ${TRASQUE_TEST_LOG_ENV})
endif()

# libFuzzer target for the zone loader (clang only), e.g.
#   CC=clang CXX=clang++ cmake -B build-fuzz -DBRINDLEX_ASAN=ON -DTRASQUE_FUZZER=ON
#   build-fuzz/test/unit/fuzz_zone_loader -max_total_time=600 test/unit/fuzz_zone_loader_corpus
# CTest runs a short, seeded session of it.
# (TRASQUE_FUZZER is the library's option: it also instruments libtrasque.)
if(TARGET trasque AND TRASQUE_FUZZER)
  add_executable(fuzz_zone_loader ${CMAKE_CURRENT_LIST_DIR}/fuzz_zone_loader.cpp)
  target_compile_options(fuzz_zone_loader PRIVATE ${BRINDLEX_WARNINGS} -fsanitize=fuzzer)
  target_link_options(fuzz_zone_loader PRIVATE -fsanitize=fuzzer)
  target_link_libraries(fuzz_zone_loader PRIVATE trasque)
  set(TRASQUE_FUZZ_WORK_DIR "${CMAKE_CURRENT_BINARY_DIR}/fuzz_zone_loader_work")
  file(MAKE_DIRECTORY "${TRASQUE_FUZZ_WORK_DIR}")
  add_test(NAME fuzz_zone_loader
    COMMAND fuzz_zone_loader -seed=1 -runs=5000 -max_len=4096 -close_fd_mask=1
      "${TRASQUE_FUZZ_WORK_DIR}" "${CMAKE_CURRENT_LIST_DIR}/fuzz_zone_loader_corpus")
  set_tests_properties(fuzz_zone_loader PROPERTIES TIMEOUT 600)
endif()
