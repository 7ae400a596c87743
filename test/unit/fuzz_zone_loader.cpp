// libFuzzer target for the zone loader. The first byte of an input chooses the file it replaces
// ('m' the map meta file, 'i' the map id file, anything else the zone file); the rest is the
// file's content. Build with clang and -DTRASQUE_FUZZER=ON.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "zone_loader_fuzz_harness.hpp"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
  setenv("SPDLOG_STDOUT", "false", 1);
  setenv("SPDLOG_SYSTEMD", "false", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t * data, size_t size)
{
  static trasque_test::FuzzMapDirectory directory;
  if (size == 0) {
    return 0;
  }
  trasque_test::FuzzedFile file = trasque_test::FuzzedFile::ZONES;
  if (data[0] == 'm') {
    file = trasque_test::FuzzedFile::META;
  } else if (data[0] == 'i') {
    file = trasque_test::FuzzedFile::ID;
  }
  const std::string problem =
      directory.run(file, std::string(reinterpret_cast<const char *>(data) + 1, size - 1));
  if (!problem.empty()) {
    std::fprintf(stderr, "zone loader: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
