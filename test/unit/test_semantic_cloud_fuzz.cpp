// The observation buffer and the cell cache under a deterministic corpus of decoded semantic point
// clouds: the committed seeds, random inputs and mutations of the seeds. Every cloud must be stored
// or refused exactly as the harness's plain reference says, and every cache update must report
// well-formed changes.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "semantic_cloud_fuzz_harness.hpp"

namespace {

using Input = std::vector<uint8_t>;

std::vector<Input> seeds()
{
  std::vector<Input> inputs;
  for (const auto & entry : std::filesystem::directory_iterator(SEMANTIC_CLOUD_CORPUS)) {
    std::ifstream file(entry.path(), std::ios::binary);
    inputs.emplace_back(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  return inputs;
}

class SemanticCloudFuzz : public ::testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    // Thousands of refused clouds: keep their records off the console.
    setenv("SPDLOG_STDOUT", "false", 1);
    setenv("SPDLOG_SYSTEMD", "false", 1);
  }

  void expectHolds(const std::vector<Input> & inputs)
  {
    size_t failures = 0;
    for (const auto & input : inputs) {
      const std::string problem = fuzz.run(input.data(), input.size());
      if (!problem.empty() && ++failures <= 5) {
        ADD_FAILURE() << problem << " (input of " << input.size() << " bytes)";
      }
    }
    EXPECT_EQ(0u, failures) << "of " << inputs.size() << " inputs";
  }

  velnor_test::SemanticCloudFuzz fuzz;
};

TEST_F(SemanticCloudFuzz, Seeds)
{
  const auto inputs = seeds();
  ASSERT_GE(inputs.size(), 8u);
  expectHolds(inputs);
  // Every seed file decodes as written: 10 clouds stored, 5 refused.
  EXPECT_EQ(10u, fuzz.stored());
  EXPECT_EQ(5u, fuzz.refused());
}

TEST_F(SemanticCloudFuzz, RandomAndMutatedInputs)
{
  std::mt19937 random(20261208);
  auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random); };
  std::vector<Input> inputs;
  for (int i = 0; i < 5000; ++i) {
    Input input(pick(400));
    for (auto & byte : input) {
      byte = static_cast<uint8_t>(pick(256));
    }
    inputs.push_back(std::move(input));
  }
  const auto base = seeds();
  for (int i = 0; i < 5000; ++i) {
    Input input = base[pick(base.size())];
    for (size_t k = 1 + pick(4); k > 0 && !input.empty(); --k) {
      const size_t at = pick(input.size());
      switch (pick(3)) {
        case 0:
          input[at] = static_cast<uint8_t>(pick(256));
          break;
        case 1:
          input.erase(input.begin() + static_cast<std::ptrdiff_t>(at));
          break;
        default:
          input.insert(
              input.begin() + static_cast<std::ptrdiff_t>(at), static_cast<uint8_t>(pick(256)));
          break;
      }
    }
    inputs.push_back(std::move(input));
  }
  expectHolds(inputs);
  // Both roads were taken often.
  EXPECT_GT(fuzz.stored(), 500u);
  EXPECT_GT(fuzz.refused(), 500u);
  EXPECT_GT(fuzz.changes(), 500u);
  std::printf(
      "%zu clouds stored, %zu refused, %zu change units\n",
      fuzz.stored(),
      fuzz.refused(),
      fuzz.changes());
}

}  // namespace
