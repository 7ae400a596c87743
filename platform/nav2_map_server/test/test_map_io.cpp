#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "nav2_map_server/map_io.hpp"
#include "nav2_map_server/map_mode.hpp"
#include "yaml-cpp/yaml.h"

using nav2_map_server::loadMapYaml;
using nav2_map_server::LoadParameters;
using nav2_map_server::MapMode;

namespace {

const char kValidBody[] =
    "resolution: 0.05\n"
    "origin: [-10.0, -5.5, 0.25]\n"
    "free_thresh: 0.196\n"
    "occupied_thresh: 0.65\n"
    "negate: 0\n";

}  // namespace

class MapYamlTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    std::string pattern = (std::filesystem::temp_directory_path() / "map_io_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
  }

  void TearDown() override { std::filesystem::remove_all(dir); }

  std::string write(const std::string & name, const std::string & content)
  {
    const auto path = std::filesystem::path(dir) / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << content;
    return path.string();
  }

  // Writes a map file whose one line for key is replaced (or dropped when line is empty).
  std::string writeWith(const std::string & key, const std::string & line)
  {
    std::string body = std::string("image: map.pgm\n") + kValidBody;
    const auto start = body.find(key + ":");
    if (start != std::string::npos) {
      body.erase(start, body.find('\n', start) - start + 1);
    }
    if (!line.empty()) {
      body += line + "\n";
    }
    return write("map.yaml", body);
  }

  // The message of the YAML::Exception loadMapYaml throws for path.
  std::string yamlError(const std::string & path)
  {
    try {
      loadMapYaml(path);
    } catch (const YAML::Exception & e) {
      return e.msg;
    }
    ADD_FAILURE() << "no YAML::Exception for " << path;
    return {};
  }

  std::string dir;
};

TEST_F(MapYamlTest, ReadsEveryKey)
{
  const auto params = loadMapYaml(
      write("maps/floor.yaml", std::string("image: floor.pgm\n") + kValidBody + "mode: scale\n"));
  EXPECT_EQ(params.image_file_name, dir + "/maps/floor.pgm");
  EXPECT_DOUBLE_EQ(params.resolution, 0.05);
  ASSERT_EQ(params.origin.size(), 3u);
  EXPECT_DOUBLE_EQ(params.origin[0], -10.0);
  EXPECT_DOUBLE_EQ(params.origin[1], -5.5);
  EXPECT_DOUBLE_EQ(params.origin[2], 0.25);
  EXPECT_DOUBLE_EQ(params.free_thresh, 0.196);
  EXPECT_DOUBLE_EQ(params.occupied_thresh, 0.65);
  EXPECT_EQ(params.mode, MapMode::Scale);
  EXPECT_FALSE(params.negate);
}

TEST_F(MapYamlTest, AbsoluteImagePathIsKept)
{
  const auto params = loadMapYaml(writeWith("image", "image: /data/maps/floor.png"));
  EXPECT_EQ(params.image_file_name, "/data/maps/floor.png");
}

TEST_F(MapYamlTest, RelativeImagePathIsJoinedToTheYamlDirectoryAsWritten)
{
  const auto params =
      loadMapYaml(write("a/b/map.yaml", "image: ../img/map.pgm\n" + std::string(kValidBody)));
  EXPECT_EQ(params.image_file_name, dir + "/a/b/../img/map.pgm");
}

TEST_F(MapYamlTest, YamlNamedWithoutDirectoryGivesDotDirectory)
{
  write("map.yaml", std::string("image: map.pgm\n") + kValidBody);
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  LoadParameters params;
  EXPECT_NO_THROW(params = loadMapYaml("map.yaml"));
  std::filesystem::current_path(cwd);
  EXPECT_EQ(params.image_file_name, "./map.pgm");
}

TEST_F(MapYamlTest, MissingRequiredKeysThrowNamingTheKey)
{
  for (const std::string key :
       {"image", "resolution", "origin", "free_thresh", "occupied_thresh", "negate"}) {
    const auto message = yamlError(writeWith(key, ""));
    EXPECT_EQ(message.rfind("Failed to parse YAML tag '" + key + "' for reason: ", 0), 0u)
        << message;
  }
}

TEST_F(MapYamlTest, EmptyImageThrows)
{
  EXPECT_EQ(yamlError(writeWith("image", "image: \"\"")), "The image tag was empty.");
}

TEST_F(MapYamlTest, OriginNeedsExactlyThreeValues)
{
  EXPECT_EQ(
      yamlError(writeWith("origin", "origin: [1.0, 2.0]")),
      "value of the 'origin' tag should have 3 elements, not 2");
  EXPECT_EQ(
      yamlError(writeWith("origin", "origin: [1.0, 2.0, 3.0, 4.0]")),
      "value of the 'origin' tag should have 3 elements, not 4");
}

TEST_F(MapYamlTest, NonNumericValueThrowsNamingTheKey)
{
  const auto message = yamlError(writeWith("occupied_thresh", "occupied_thresh: high"));
  EXPECT_EQ(message.rfind("Failed to parse YAML tag 'occupied_thresh'", 0), 0u) << message;
}

TEST_F(MapYamlTest, ThresholdsAreReadAsGivenWithoutChecks)
{
  // The reader does not order or range-check thresholds; that is the image loader's business.
  const auto params = loadMapYaml(writeWith("free_thresh", "free_thresh: 1"));
  EXPECT_DOUBLE_EQ(params.free_thresh, 1.0);
  EXPECT_DOUBLE_EQ(params.occupied_thresh, 0.65);
}

TEST_F(MapYamlTest, NegateAcceptsIntegersAndBooleans)
{
  EXPECT_TRUE(loadMapYaml(writeWith("negate", "negate: 1")).negate);
  EXPECT_TRUE(loadMapYaml(writeWith("negate", "negate: 2")).negate);
  EXPECT_FALSE(loadMapYaml(writeWith("negate", "negate: 0")).negate);
  EXPECT_TRUE(loadMapYaml(writeWith("negate", "negate: true")).negate);
  EXPECT_FALSE(loadMapYaml(writeWith("negate", "negate: false")).negate);
  const auto message = yamlError(writeWith("negate", "negate: maybe"));
  EXPECT_EQ(message.rfind("Failed to parse YAML tag 'negate'", 0), 0u) << message;
}

TEST_F(MapYamlTest, ModeDefaultsToTrinaryAndIsCaseInsensitive)
{
  EXPECT_EQ(loadMapYaml(writeWith("mode", "")).mode, MapMode::Trinary);
  EXPECT_EQ(loadMapYaml(writeWith("mode", "mode: Raw")).mode, MapMode::Raw);
  EXPECT_EQ(loadMapYaml(writeWith("mode", "mode: SCALE")).mode, MapMode::Scale);
  EXPECT_EQ(loadMapYaml(writeWith("mode", "mode: trinary")).mode, MapMode::Trinary);
}

TEST_F(MapYamlTest, UnknownModeThrowsInvalidArgument)
{
  try {
    loadMapYaml(writeWith("mode", "mode: fuzzy"));
    FAIL() << "expected std::invalid_argument";
  } catch (const std::invalid_argument & e) {
    EXPECT_STREQ(e.what(), "map_mode_name");
  }
}

TEST_F(MapYamlTest, MissingFileThrowsYamlException)
{
  EXPECT_THROW(loadMapYaml(dir + "/absent.yaml"), YAML::BadFile);
}

TEST_F(MapYamlTest, HomePrefixIsExpandedForTheFileButNotForTheImage)
{
  write("home/maps/map.yaml", std::string("image: map.pgm\n") + kValidBody);
  const char * old_home = std::getenv("HOME");
  const std::string saved = old_home ? old_home : "";
  setenv("HOME", (dir + "/home").c_str(), 1);
  LoadParameters params;
  EXPECT_NO_THROW(params = loadMapYaml("~/maps/map.yaml"));
  if (old_home) {
    setenv("HOME", saved.c_str(), 1);
  } else {
    unsetenv("HOME");
  }
  EXPECT_EQ(params.image_file_name, "~/maps/map.pgm");
}

TEST(HomeExpansionTest, OnlyALeadingTildeSlashIsReplaced)
{
  using nav2_map_server::expand_user_home_dir_if_needed;
  EXPECT_EQ(expand_user_home_dir_if_needed("~/m.yaml", "/home/u"), "/home/u/m.yaml");
  EXPECT_EQ(expand_user_home_dir_if_needed("~/m.yaml", ""), "~/m.yaml");
  EXPECT_EQ(expand_user_home_dir_if_needed("~m.yaml", "/home/u"), "~m.yaml");
  EXPECT_EQ(expand_user_home_dir_if_needed("a/~/m.yaml", "/home/u"), "a/~/m.yaml");
  EXPECT_EQ(expand_user_home_dir_if_needed("~", "/home/u"), "~");
}

TEST(MapModeTest, NamesRoundTrip)
{
  for (const auto mode : {MapMode::Trinary, MapMode::Scale, MapMode::Raw}) {
    EXPECT_EQ(
        nav2_map_server::map_mode_from_string(nav2_map_server::map_mode_to_string(mode)), mode);
  }
  EXPECT_STREQ(nav2_map_server::map_mode_to_string(MapMode::Trinary), "trinary");
  EXPECT_THROW(nav2_map_server::map_mode_from_string(""), std::invalid_argument);
}
