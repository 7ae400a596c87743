// libFuzzer target for the observation buffer and the cell cache: every input is decoded into up to
// three semantic point clouds (see semantic_cloud_fuzz_harness.hpp), which must be stored or
// refused exactly as a plain reference says; what is stored then goes through the cell cache.
// Build with clang and -DVELNOR_FUZZER=ON.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "semantic_cloud_fuzz_harness.hpp"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
  setenv("SPDLOG_STDOUT", "false", 1);
  setenv("SPDLOG_SYSTEMD", "false", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * data, size_t size)
{
  static velnor_test::SemanticCloudFuzz fuzz;
  const std::string problem = fuzz.run(data, size);
  if (!problem.empty()) {
    std::fprintf(stderr, "semantic cloud: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
