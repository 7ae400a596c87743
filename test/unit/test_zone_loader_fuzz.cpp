// Broken and hostile inputs for the zone loader: a deterministic corpus of mutated zone files,
// map meta files and map id files. No input may crash the loader or let an exception out, and
// whatever it returns must be usable.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "zone_loader_fuzz_harness.hpp"

namespace {

using trasque_test::FuzzedFile;

const std::vector<std::string> kZoneSeeds{
    "editlayout:\n"
    "  - {id: c1, type: narrow corridor, desctype: circle, radius: 2,\n"
    "     points: [{x: 1, y: 2}, {x: 5, y: 6}]}\n"
    "  - {id: b1, type: narrow corridor, desctype: block,\n"
    "     rectangle: [{x: 0, y: 0}, {x: 4, y: 0}, {x: 4, y: 4}, {x: 0, y: 4}]}\n"
    "  - {id: f1, type: forbidden, desctype: block, rectangle: [{x: 0, y: 0}]}\n",

    "editlayout:\n"
    "  - id: corridor\n"
    "    type: narrow corridor\n"
    "    desctype: circle\n"
    "    radius: 3\n"
    "    points:\n"
    "      - x: 10\n"
    "        y: 20\n"
    "      - x: 11\n"
    "        y: 21\n"
    "  - id: 7\n"
    "    type: narrow corridor\n"
    "    desctype: block\n"
    "    rectangle:\n"
    "      - {x: 1, y: 1}\n"
    "      - {x: 9, y: 3}\n"
    "      - {x: 4, y: 8}\n",

    "editlayout:\n"
    "  - &zone {id: a, type: narrow corridor, desctype: circle, radius: 1,\n"
    "     points: &points [{x: 1, y: 1}, {x: 3, y: 1}, {x: 2, y: 4}]}\n"
    "  - *zone\n"
    "  - {id: b, type: narrow corridor, desctype: block, rectangle: *points}\n"
    "  - {id: w, type: narrow corridor, desctype: virtualWall, points: []}\n",
};

const std::vector<std::string> kTokens{
    "&a ",        "*a",         "<<: *a",
    "!!binary ",  "!!str ",     "!!int ",
    "!!map ",     ".nan",       ".inf",
    "-.inf",      "1e400",      "-1e308",
    "1e300",      "4294967296", "-0",
    "0x7fffffff", "~",          "null",
    "\"\"",       "''",         "narrow corridor",
    "circle",     "block",      "virtualWall",
    "radius: ",   "points: ",   "rectangle: ",
    "x: ",        "y: ",        "id: ",
    "type: ",     "desctype: ", "editlayout:",
    "---\n",      "...\n",      "%YAML 1.2\n",
    "? ",         "\t",         "\xef\xbb\xbf",
    "[",          "]",          "{",
    "}",          ": ",         ", ",
    "- ",         "\n  ",       "#",
    "|\n",        ">\n",        std::string(1, '\0'),
    "\xff\xfe",   "\\u0000",    "\"\\x00\"",
};

constexpr char kSignificant[] = "[]{}:,-&*!|>'\"#%@?~\t\n 0123456789.eE+xyz";

// Deterministic mutations: the same corpus on every run.
class Mutator
{
public:
  explicit Mutator(uint32_t seed) : random_(seed) {}

  std::string mutate(std::string text)
  {
    const int steps = 1 + pick(4);
    for (int i = 0; i < steps; ++i) {
      const size_t at = text.empty() ? 0 : pick(text.size() + 1);
      switch (pick(5)) {
        case 0:  // replace one byte by a character YAML cares about
          if (!text.empty()) {
            text[std::min(at, text.size() - 1)] = kSignificant[pick(sizeof(kSignificant) - 1)];
          }
          break;
        case 1:  // delete a range
          text.erase(at, pick(16) + 1);
          break;
        case 2:  // duplicate a range
          text.insert(at, text.substr(pick(text.size() + 1), pick(32) + 1));
          break;
        case 3:  // insert a token
          text.insert(at, kTokens[pick(kTokens.size())]);
          break;
        default:  // a random byte
          text.insert(at, 1, static_cast<char>(pick(256)));
          break;
      }
    }
    return text;
  }

  size_t pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(random_); }

private:
  std::mt19937 random_;
};

class ZoneLoaderFuzz : public ::testing::Test
{
protected:
  static void SetUpTestSuite()
  {
    // Thousands of loads: keep their records off the console.
    setenv("SPDLOG_STDOUT", "false", 1);
    setenv("SPDLOG_SYSTEMD", "false", 1);
  }

  void expectHolds(FuzzedFile file, const std::vector<std::string> & inputs)
  {
    size_t failures = 0;
    for (const auto & input : inputs) {
      const std::string problem = directory.run(file, input);
      if (!problem.empty() && ++failures <= 5) {
        ADD_FAILURE() << problem << "\ninput:\n" << input;
      }
    }
    EXPECT_EQ(failures, 0u) << "of " << inputs.size() << " inputs";
  }

  trasque_test::FuzzMapDirectory directory;
};

TEST_F(ZoneLoaderFuzz, TruncatedZoneFiles)
{
  std::vector<std::string> inputs;
  for (const auto & seed : kZoneSeeds) {
    for (size_t n = 0; n < seed.size(); n += 3) {
      inputs.push_back(seed.substr(0, n));
    }
  }
  expectHolds(FuzzedFile::ZONES, inputs);
}

TEST_F(ZoneLoaderFuzz, MutatedZoneFiles)
{
  Mutator mutator(20261208);
  std::vector<std::string> inputs;
  for (const auto & seed : kZoneSeeds) {
    for (int i = 0; i < 400; ++i) {
      inputs.push_back(mutator.mutate(seed));
    }
  }
  expectHolds(FuzzedFile::ZONES, inputs);
}

TEST_F(ZoneLoaderFuzz, HostileZoneFiles)
{
  std::ostringstream many_points;
  many_points << "editlayout:\n  - {id: m, type: narrow corridor, desctype: block, rectangle: [";
  for (int i = 0; i < 5000; ++i) {
    many_points << "{x: " << (i % 97) << ", y: " << (i % 89) << "}, ";
  }
  many_points << "]}\n";
  const std::string zone = "editlayout:\n  - {id: z, type: narrow corridor, desctype: ";
  expectHolds(
      FuzzedFile::ZONES,
      {
          "editlayout: " + std::string(20000, '[') + std::string(20000, ']') + "\n",
          "editlayout:\n" + std::string(20000, '-') + "\n",
          "editlayout: &l [*l, *l]\n",
          "editlayout:\n  - &e {id: e, type: narrow corridor, desctype: block, rectangle: [*e]}\n",
          zone + "circle, radius: 1e300, points: [{x: 1, y: 1}]}\n",
          zone + "circle, radius: 1e9, points: [{x: 1, y: 1}]}\n",
          zone + "circle, radius: .inf, points: [{x: 1, y: 1}]}\n",
          zone + "circle, radius: .nan, points: [{x: 1, y: 1}]}\n",
          zone + "circle, radius: -5, points: [{x: 1, y: 1}]}\n",
          zone + "circle, radius: 2, points: [{x: .nan, y: 1}, {x: 1, y: .inf}]}\n",
          zone + "circle, radius: 2, points: [{x: 1e308, y: -1e308}]}\n",
          zone + "block, rectangle: [{x: 0, y: 0}, {x: 1e308, y: 0}, {x: 0, y: 1e308}]}\n",
          zone + "block, rectangle: [{x: 0, y: 0}, {x: .nan, y: 5}, {x: 5, y: 5}]}\n",
          zone + "block, rectangle: [{x: -1e6, y: 0}, {x: 1e6, y: 0}, {x: 0, y: 1e6}]}\n",
          zone + "block, rectangle: [{x: 0, y: 0}, {x: 0, y: 0}, {x: 0, y: 0}]}\n",
          many_points.str(),
          std::string("editlayout:\n  - {id: \"a") + '\0' +
              "b\", type: narrow corridor, desctype: block}\n",
          "\xef\xbb\xbf"
          "editlayout: []\n",
          "--- !!binary AAAA\n",
          std::string(100000, 'x'),
          std::string(4096, '\0'),
      });
}

TEST_F(ZoneLoaderFuzz, MutatedMetaFiles)
{
  Mutator mutator(5102);
  std::vector<std::string> inputs;
  const std::string seed = trasque_test::FuzzMapDirectory::kMeta;
  for (size_t n = 0; n < seed.size(); n += 2) {
    inputs.push_back(seed.substr(0, n));
  }
  for (int i = 0; i < 400; ++i) {
    inputs.push_back(mutator.mutate(seed));
  }
  const std::string tail = "negate: 0\noccupied_thresh: 0.65\nfree_thresh: 0.25\n";
  for (const std::string geometry :
       {"resolution: 0\norigin: [0, 0, 0]\n",
        "resolution: -0.05\norigin: [0, 0, 0]\n",
        "resolution: .nan\norigin: [0, 0, 0]\n",
        "resolution: .inf\norigin: [.inf, -.inf, 0]\n",
        "resolution: 1e-300\norigin: [0, 0, 0]\n",
        "resolution: 0.05\norigin: [1e308, 1e308, 0]\n"}) {
    inputs.push_back("image: map.pgm\n" + geometry + tail);
  }
  inputs.push_back("image: ''\nresolution: 0.05\norigin: [0, 0, 0]\n" + tail);
  inputs.push_back("image: .\nresolution: 0.05\norigin: [0, 0, 0]\n" + tail);
  inputs.push_back("image: map.pgm\nresolution: 0.05\norigin: [0, 0, 0]\nmode: odd\n" + tail);
  expectHolds(FuzzedFile::META, inputs);
}

TEST_F(ZoneLoaderFuzz, OddMapIds)
{
  Mutator mutator(1);
  std::vector<std::string> inputs{
      "",
      "\n",
      "..",
      ".",
      "/",
      "/m1",
      "m1/",
      "m1/..",
      std::string("m1\0x", 4),
      std::string(1, '\0') + "m1",
      std::string(5000, 'm'),
      "\xff\xfe\xfd",
      "m1\r\n",
      "~/m1",
      "history.map",
      "m1 m1 m1",
  };
  for (int i = 0; i < 100; ++i) {
    inputs.push_back(mutator.mutate("m1\n"));
  }
  expectHolds(FuzzedFile::ID, inputs);
}

TEST_F(ZoneLoaderFuzz, SeedsLoadTheirZones)
{
  // The mutations start from files that load, or the corpus would prove little.
  const std::vector<size_t> expected{2, 2, 3};
  for (size_t i = 0; i < kZoneSeeds.size(); ++i) {
    EXPECT_EQ(directory.run(FuzzedFile::ZONES, kZoneSeeds[i]), "");
    EXPECT_EQ(directory.lastZoneCount(), expected[i]) << "seed " << i;
  }
}

}  // namespace
