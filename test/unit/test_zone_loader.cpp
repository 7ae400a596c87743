// Loading the narrow-corridor zones of a stored map directory: the map id file, the map meta
// file and image, the zone file, the pixel-to-world conversion and every failure stage.
#include <Magick++.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "trasque/trasque.hpp"
#include "trasque_test_support.hpp"

namespace {

namespace fs = std::filesystem;
using trasque::MapMeta;
using trasque::Type;
using trasque_test::LogCapture;
using trasque_test::LogRecord;
using Records = std::vector<LogRecord>;

constexpr char kMeta[] =
    "image: map.pgm\n"
    "mode: trinary\n"
    "resolution: 0.05\n"
    "origin: [-10.0, -5.0, 0.0]\n"
    "negate: 0\n"
    "occupied_thresh: 0.65\n"
    "free_thresh: 0.25\n";

void writeFile(const fs::path & path, const std::string & text)
{
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out << text;
}

void writePgm(const fs::path & path, unsigned width, unsigned height)
{
  std::string image = "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
  image.append(static_cast<size_t>(width) * height, static_cast<char>(254));
  writeFile(path, image);
}

class ZoneLoader : public ::testing::Test
{
protected:
  static void SetUpTestSuite() { trasque_test::useStdoutLogger(); }

  void SetUp() override
  {
    std::string tmpl = (fs::temp_directory_path() / "trasque_loader_XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir = tmpl;
    // Map m1: an image of 8 x 400 pixels.
    writeFile(dir / "history.map", "m1\n");
    writeFile(dir / "m1" / "map.yaml", kMeta);
    writePgm(dir / "m1" / "map.pgm", 8, 400);
  }

  void TearDown() override { fs::remove_all(dir); }

  fs::path metaPath(const std::string & id = "m1") const { return dir / id / "map.yaml"; }
  fs::path markPath(const std::string & id = "m1") const { return dir / id / "editlayout.yaml"; }

  void writeZones(const std::string & yaml, const std::string & id = "m1")
  {
    writeFile(markPath(id), yaml);
  }

  std::vector<std::shared_ptr<trasque::Base>> load()
  {
    LogCapture capture;
    auto zones = trasque::TrasqueFactory(dir, "history.map", "map.yaml", "editlayout.yaml", meta);
    records = capture.records();
    return zones;
  }

  // The records of a load that passes the id, meta and image stages of map m1.
  Records headRecords() const
  {
    return {
        {"INFO", "getMapId m1"},
        {"INFO", "read map meta file " + metaPath().string()},
        {"INFO", "read map mark file " + markPath().string()},
    };
  }

  Records withHead(const Records & tail) const
  {
    Records all = headRecords();
    all.insert(all.end(), tail.begin(), tail.end());
    return all;
  }

  void expectMetaUntouched() const
  {
    EXPECT_EQ(meta.width, 11u);
    EXPECT_EQ(meta.height, 22u);
    EXPECT_EQ(meta.resolution, 3.5);
    EXPECT_EQ(meta.origin_x, 4.5);
    EXPECT_EQ(meta.origin_y, 5.5);
  }

  void expectMetaComplete() const
  {
    EXPECT_EQ(meta.width, 8u);
    EXPECT_EQ(meta.height, 400u);
    EXPECT_EQ(meta.resolution, 0.05);
    EXPECT_EQ(meta.origin_x, -10.0);
    EXPECT_EQ(meta.origin_y, -5.0);
  }

  fs::path dir;
  MapMeta meta{11, 22, 3.5, 4.5, 5.5};
  Records records;
};

constexpr char kOneBlock[] =
    "editlayout:\n"
    "  - {id: b1, type: narrow corridor, desctype: block,\n"
    "     rectangle: [{x: 0, y: 0}, {x: 4, y: 0}, {x: 4, y: 4}, {x: 0, y: 4}]}\n";

TEST_F(ZoneLoader, LoadsZonesWithTheirRecords)
{
  writeZones(
      "editlayout:\n"
      "  - {id: c1, type: narrow corridor, desctype: circle, radius: 2, points: [{x: 1, y: 2}]}\n"
      "  - {id: b1, type: narrow corridor, desctype: block,\n"
      "     rectangle: [{x: 0, y: 0}, {x: 4, y: 0}, {x: 4, y: 4}]}\n");
  const auto zones = load();
  ASSERT_EQ(zones.size(), 2u);
  EXPECT_EQ(zones[0]->id, "c1");
  EXPECT_EQ(zones[0]->desctype, trasque::DescType::CIRCLE_LIST);
  EXPECT_EQ(zones[1]->id, "b1");
  EXPECT_EQ(zones[1]->desctype, trasque::DescType::BLOCK);
  for (const auto & zone : zones) {
    EXPECT_EQ(zone->type, Type::NARROW_CORRIDOR);
  }
  EXPECT_EQ(zones[1]->getFeaturePoints().size(), 3u);
  EXPECT_EQ(
      records,
      withHead({
          {"INFO", "TrasqueFactory add narrow corridor desctype CIRCLE_LIST, id c1"},
          {"INFO", "TrasqueFactory add narrow corridor desctype BLOCK, id b1"},
      }));
  expectMetaComplete();
}

TEST_F(ZoneLoader, OnlyTheFirstTokenOfTheIdFileCounts)
{
  writeZones(kOneBlock);
  writeZones(
      "editlayout:\n  - {id: other, type: narrow corridor, desctype: circle, radius: 1}\n", "m2");
  writeFile(metaPath("m2"), kMeta);
  writePgm(dir / "m2" / "map.pgm", 8, 400);

  writeFile(dir / "history.map", "m1 m2\n");
  auto zones = load();
  ASSERT_EQ(zones.size(), 1u);
  EXPECT_EQ(zones[0]->id, "b1");

  writeFile(dir / "history.map", "\n\n   \t m1\nm2\n");
  zones = load();
  ASSERT_EQ(zones.size(), 1u);
  EXPECT_EQ(zones[0]->id, "b1");
  EXPECT_EQ(records.front(), (LogRecord{"INFO", "getMapId m1"}));

  writeFile(dir / "history.map", "m2");
  zones = load();
  ASSERT_EQ(zones.size(), 1u);
  EXPECT_EQ(zones[0]->id, "other");
}

TEST_F(ZoneLoader, SkipsOtherKindsAndShapesSilently)
{
  writeZones(
      "editlayout:\n"
      "  - {id: f1, type: forbidden, desctype: circle, radius: 3, points: [{x: 1, y: 1}]}\n"
      "  - {id: b1, type: narrow corridor, desctype: block,\n"
      "     rectangle: [{x: 0, y: 0}, {x: 4, y: 0}, {x: 4, y: 4}]}\n"
      "  - {id: w1, type: narrow corridor, desctype: virtualWall, points: [{x: 1, y: 1}]}\n"
      "  - {id: n1, type: Narrow corridor, desctype: circle, radius: 3}\n"
      "  - {id: s1, type: narrow corridor, desctype: Circle, radius: 3}\n"
      "  - {id: t1, type: ~, desctype: circle, radius: 3}\n"
      "  - {id: d1, type: narrow corridor, desctype: ~}\n"
      "  - just a string\n"
      "  - ~\n"
      "  - [1, 2, 3]\n");
  const auto zones = load();
  ASSERT_EQ(zones.size(), 1u);
  EXPECT_EQ(zones[0]->id, "b1");
  EXPECT_EQ(
      records, withHead({{"INFO", "TrasqueFactory add narrow corridor desctype BLOCK, id b1"}}));
}

TEST_F(ZoneLoader, ConvertsPixelsToWorld)
{
  writeZones(
      "editlayout:\n"
      "  - {id: c, type: narrow corridor, desctype: circle, radius: 4, points: [{x: 10, y: 20}]}\n"
      "  - {id: b, type: narrow corridor, desctype: block, radius: 9,\n"
      "     rectangle: [{x: 0, y: 0}, {x: 8, y: 400}, {x: 2.5, y: 399.5}]}\n");
  const auto zones = load();
  ASSERT_EQ(zones.size(), 2u);
  const auto & disc = zones[0]->getFeaturePoints();
  ASSERT_EQ(disc.size(), 1u);
  EXPECT_NEAR(disc[0].x, -9.5, 1e-12);
  EXPECT_NEAR(disc[0].y, 14.0, 1e-12);
  EXPECT_NEAR(disc[0].r, 0.2, 1e-12);

  // No half-pixel offset: pixel (0, 0) is the top-left corner of the image; a block's corners
  // have radius 0 whatever "radius" says.
  const auto & corners = zones[1]->getFeaturePoints();
  ASSERT_EQ(corners.size(), 3u);
  EXPECT_NEAR(corners[0].x, -10.0, 1e-12);
  EXPECT_NEAR(corners[0].y, 15.0, 1e-12);
  EXPECT_NEAR(corners[1].x, -9.6, 1e-12);
  EXPECT_NEAR(corners[1].y, -5.0, 1e-12);
  EXPECT_NEAR(corners[2].x, -9.875, 1e-12);
  EXPECT_NEAR(corners[2].y, -4.975, 1e-12);
  for (const auto & corner : corners) {
    EXPECT_EQ(corner.r, 0.0);
  }
  expectMetaComplete();
}

TEST_F(ZoneLoader, ImageRowsAboveTheHeightGiveNegativeOffsets)
{
  // The height is converted to double before the subtraction, so rows beyond the image height
  // give world points below the origin rather than wrapping around.
  writeZones(
      "editlayout:\n"
      "  - {id: c, type: narrow corridor, desctype: circle, radius: 0, points: [{x: 0, y: "
      "410}]}\n");
  const auto zones = load();
  ASSERT_EQ(zones.size(), 1u);
  EXPECT_NEAR(zones[0]->getFeaturePoints()[0].y, -5.5, 1e-12);
}

TEST_F(ZoneLoader, MissingPointsOrRectangleGiveEmptyZones)
{
  writeZones(
      "editlayout:\n"
      "  - {id: c, type: narrow corridor, desctype: circle, radius: 4}\n"
      "  - {id: c2, type: narrow corridor, desctype: circle, radius: 4, points: 7}\n"
      "  - {id: b, type: narrow corridor, desctype: block}\n");
  const auto zones = load();
  ASSERT_EQ(zones.size(), 3u);
  for (const auto & zone : zones) {
    EXPECT_TRUE(zone->getFeaturePoints().empty());
  }
  EXPECT_EQ(
      records,
      withHead({
          {"INFO", "TrasqueFactory add narrow corridor desctype CIRCLE_LIST, id c"},
          {"INFO", "TrasqueFactory add narrow corridor desctype CIRCLE_LIST, id c2"},
          {"INFO", "TrasqueFactory add narrow corridor desctype BLOCK, id b"},
      }));
  // The block without corners is reported when it is rasterised, not when it is loaded.
  LogCapture capture;
  EXPECT_EQ(zones[2]->getGrid(0.05)->size_x, 0u);
  EXPECT_EQ(capture.records(), (Records{{"WARN", "Block id b can not create a valid cache"}}));
}

TEST_F(ZoneLoader, IdsAreTakenAsWritten)
{
  writeZones(
      "editlayout:\n"
      "  - {id: ~, type: narrow corridor, desctype: circle, radius: 1}\n"
      "  - {id: 007, type: narrow corridor, desctype: circle, radius: 1}\n"
      "  - {id: 1.50, type: narrow corridor, desctype: block}\n"
      "  - {id: '', type: narrow corridor, desctype: block}\n");
  const auto zones = load();
  ASSERT_EQ(zones.size(), 4u);
  EXPECT_EQ(zones[0]->id, "null");
  EXPECT_EQ(zones[1]->id, "007");
  EXPECT_EQ(zones[2]->id, "1.50");
  EXPECT_EQ(zones[3]->id, "");
  EXPECT_EQ(
      records[3],
      (LogRecord{"INFO", "TrasqueFactory add narrow corridor desctype CIRCLE_LIST, id null"}));
}

TEST_F(ZoneLoader, AbsoluteFileNamesReplaceTheDirectory)
{
  const fs::path elsewhere = dir / "elsewhere" / "zones.yaml";
  writeFile(elsewhere, kOneBlock);
  LogCapture capture;
  const auto zones = trasque::TrasqueFactory(dir, "history.map", "map.yaml", elsewhere, meta);
  const auto got = capture.records();
  ASSERT_EQ(zones.size(), 1u);
  ASSERT_GE(got.size(), 3u);
  EXPECT_EQ(got[2], (LogRecord{"INFO", "read map mark file " + elsewhere.string()}));
}

TEST_F(ZoneLoader, LoadedZonesRasterise)
{
  // A 40 x 20 pixel block: world x from -10 to -8, y from 14 to 15.
  writeZones(
      "editlayout:\n"
      "  - {id: b, type: narrow corridor, desctype: block,\n"
      "     rectangle: [{x: 0, y: 0}, {x: 40, y: 0}, {x: 40, y: 20}, {x: 0, y: 20}]}\n");
  const auto zones = load();
  ASSERT_EQ(zones.size(), 1u);
  const auto raster = zones[0]->getGrid(0.1);
  EXPECT_NEAR(raster->origin_x, -10.1, 1e-9);
  EXPECT_NEAR(raster->origin_y, 13.9, 1e-9);
  const auto cell = [&raster](double wx, double wy) {
    const auto cx = static_cast<uint32_t>((wx - raster->origin_x) / raster->resolution);
    const auto cy = static_cast<uint32_t>((wy - raster->origin_y) / raster->resolution);
    return raster->data[cy * raster->size_x + cx];
  };
  EXPECT_TRUE(cell(-9.0, 14.5));
  EXPECT_TRUE(cell(-9.95, 14.05));
  EXPECT_TRUE(cell(-8.05, 14.95));
  // The margin beyond the largest corner stays clear.
  for (uint32_t i = 0; i < raster->size_y; ++i) {
    EXPECT_FALSE(raster->data[i * raster->size_x + raster->size_x - 1]);
  }
  for (uint32_t j = 0; j < raster->size_x; ++j) {
    EXPECT_FALSE(raster->data[(raster->size_y - 1) * raster->size_x + j]);
  }
}

class ZoneLoaderIdFile : public ZoneLoader
{
};

TEST_F(ZoneLoaderIdFile, MissingOrBlankIdFileFailsNamingTheFileAndWhy)
{
  writeZones(kOneBlock);
  struct Case
  {
    const char * what;
    std::function<void(const fs::path &)> make;  // builds the id file at the given path
    fs::path directory;                          // the directory handed to the loader
    std::string reason;
  };
  const fs::path missing_dir = dir / "no_such_directory";
  const std::vector<Case> cases{
      {"absent", [](const fs::path &) {}, dir, "cannot be opened (No such file or directory)"},
      {"directory missing",
       [](const fs::path &) {},
       missing_dir,
       "cannot be opened (No such file or directory)"},
      {"empty", [](const fs::path & f) { writeFile(f, ""); }, dir, "holds no map id"},
      {"blank", [](const fs::path & f) { writeFile(f, " \n\t\n  "); }, dir, "holds no map id"},
      // A directory in place of the file reads as nothing.
      {"a directory", [](const fs::path & f) { fs::create_directory(f); }, dir, "is a directory"},
  };
  for (const auto & c : cases) {
    const fs::path id_file = c.directory / "history.map";
    fs::remove_all(dir / "history.map");
    c.make(id_file);
    LogCapture capture;
    const auto zones =
        trasque::TrasqueFactory(c.directory, "history.map", "map.yaml", "editlayout.yaml", meta);
    EXPECT_TRUE(zones.empty()) << c.what;
    EXPECT_EQ(
        capture.records(),
        (Records{
            {"ERROR", "history map info empty: " + id_file.string() + ": " + c.reason},
            {"CRITICAL", "TrasqueFactory getMapId error history map info empty"},
        }))
        << c.what;
  }
  expectMetaUntouched();
}

TEST_F(ZoneLoaderIdFile, IdMustNameASubDirectory)
{
  writeZones(kOneBlock);
  // An absolute id would replace the directory; ".." and separators would leave it.
  for (const std::string id : {"/tmp", "..", ".", "m1/../m1", "../m1"}) {
    writeFile(dir / "history.map", id + "\n");
    EXPECT_TRUE(load().empty()) << id;
    EXPECT_EQ(
        records,
        (Records{
            {"ERROR", "getMapId error map id '" + id + "' does not name a sub-directory"},
            {"CRITICAL", "TrasqueFactory getMapId error std::exception"},
        }))
        << id;
  }
  expectMetaUntouched();
}

// A meta file's text (or "<absent>") and the reason its failure record gives.
struct MetaCase
{
  std::string text;
  std::string reason;
};

void PrintTo(const MetaCase & c, std::ostream * os) { *os << "\"" << c.text << "\""; }

class ZoneLoaderMetaFile : public ZoneLoader, public ::testing::WithParamInterface<MetaCase>
{
};

TEST_P(ZoneLoaderMetaFile, BadMetaFileFailsWithTheReasonAndKeepsTheRecord)
{
  writeZones(kOneBlock);
  if (GetParam().text == "<absent>") {
    fs::remove(metaPath());
  } else {
    writeFile(metaPath(), GetParam().text);
  }
  EXPECT_TRUE(load().empty());
  EXPECT_EQ(
      records,
      (Records{
          {"INFO", "getMapId m1"},
          {"INFO", "read map meta file " + metaPath().string()},
          {"CRITICAL",
           "TrasqueFactory load " + metaPath().string() + " failed: " + GetParam().reason},
      }));
  expectMetaUntouched();
}

INSTANTIATE_TEST_SUITE_P(
    Variants,
    ZoneLoaderMetaFile,
    ::testing::Values(
        MetaCase{"<absent>", "cannot be opened (No such file or directory)"},
        MetaCase{"", "invalid node; first invalid key: \"resolution\""},
        MetaCase{
            "resolution: [0.05\n",
            "yaml-cpp: error at line 2, column 1: end of sequence flow not found"},
        MetaCase{"origin: [0, 0, 0]\n", "invalid node; first invalid key: \"resolution\""},
        MetaCase{
            "resolution: fine\norigin: [0, 0, 0]\n",
            "yaml-cpp: error at line 1, column 13: bad conversion"},
        MetaCase{"resolution: 0.05\n", "invalid node; first invalid key: \"origin\""},
        MetaCase{
            "resolution: 0.05\norigin: 3\n", "yaml-cpp: error at line 2, column 9: bad conversion"},
        MetaCase{"resolution: 0.05\norigin: [1]\n", "origin has fewer than two elements"},
        MetaCase{"resolution: 0\norigin: [0, 0]\n", "resolution is not a positive finite number"},
        MetaCase{"resolution: -1\norigin: [0, 0]\n", "resolution is not a positive finite number"},
        MetaCase{
            "resolution: .inf\norigin: [0, 0]\n", "resolution is not a positive finite number"},
        MetaCase{"resolution: 0.05\norigin: [0, .nan]\n", "origin is not finite"},
        MetaCase{
            "resolution: 0.05\norigin: [a, b, c]\n",
            "yaml-cpp: error at line 2, column 10: bad conversion"},
        MetaCase{
            "resolution: 0.05\norigin: {x: 1, y: 2}\n",
            "yaml-cpp: error at line 2, column 9: bad conversion"},
        MetaCase{"- resolution: 0.05\n", "invalid node; first invalid key: \"resolution\""},
        MetaCase{
            "just text\n",
            "yaml-cpp: error at line 1, column 1: operator[] call on a scalar (key: "
            "\"resolution\")"}));

class ZoneLoaderImage : public ZoneLoader, public ::testing::WithParamInterface<std::string>
{
};

TEST_P(ZoneLoaderImage, UnreadableMapFailsAfterTheMeta)
{
  writeZones(kOneBlock);
  const std::string variant = GetParam();
  if (variant == "image absent") {
    fs::remove(dir / "m1" / "map.pgm");
  } else if (variant == "image garbage") {
    writeFile(dir / "m1" / "map.pgm", "this is not an image");
  } else {
    writeFile(metaPath(), variant);
  }
  EXPECT_TRUE(load().empty());
  EXPECT_EQ(
      records,
      (Records{
          {"INFO", "getMapId m1"},
          {"INFO", "read map meta file " + metaPath().string()},
          {"CRITICAL", "[ERROR] [map_io]: Failed processing YAML file"},
      }));
  // Resolution and origin come from the meta file; the size stays as the caller left it.
  EXPECT_EQ(meta.width, 11u);
  EXPECT_EQ(meta.height, 22u);
  EXPECT_EQ(meta.resolution, 0.05);
  EXPECT_EQ(meta.origin_x, -10.0);
  EXPECT_EQ(meta.origin_y, -5.0);
}

INSTANTIATE_TEST_SUITE_P(
    Variants,
    ZoneLoaderImage,
    ::testing::Values(
        "image absent",
        // Two origin elements satisfy the loader but not the map description.
        "image: map.pgm\nresolution: 0.05\norigin: [-10.0, -5.0]\nnegate: 0\n"
        "occupied_thresh: 0.65\nfree_thresh: 0.25\n",
        "resolution: 0.05\norigin: [-10.0, -5.0, 0.0]\nnegate: 0\n"
        "occupied_thresh: 0.65\nfree_thresh: 0.25\n",
        "image: map.pgm\nresolution: 0.05\norigin: [-10.0, -5.0, 0.0]\nnegate: 0\n"
        "occupied_thresh: 0.65\n",
        "image: other.pgm\nresolution: 0.05\norigin: [-10.0, -5.0, 0.0]\nnegate: 0\n"
        "occupied_thresh: 0.65\nfree_thresh: 0.25\n"));

TEST_F(ZoneLoader, ImageSizeComesFromTheHeaderAloneInEveryRasterFormat)
{
  Magick::InitializeMagick(nullptr);
  const fs::path image = dir / "m1" / "map.pgm";
  writeZones(kOneBlock);
  // PNM headers without pixels, which a decode would not find; PNG and BMP as written by a library.
  for (const std::string format :
       {"P5\n8 400\n255\n",
        "P2\n# ascii\n8 400\n255\n",
        "P1 8\n400\n",
        "P6\n8 400 255\n",
        "PNG",
        "BMP"}) {
    if (format.size() == 3) {
      Magick::Image(Magick::Geometry(8, 400), Magick::Color("white"))
          .write(format + ":" + image.string());
    } else {
      writeFile(image, format);
    }
    meta = MapMeta{};
    EXPECT_EQ(load().size(), 1u) << format;
    EXPECT_EQ(meta.width, 8u) << format;
    EXPECT_EQ(meta.height, 400u) << format;
  }
}

TEST_F(ZoneLoader, RefusesIrregularFilesAndZoneFilesBeyondTheBounds)
{
  const auto fifo = [](const fs::path & f) {
    fs::remove(f);
    ASSERT_EQ(mkfifo(f.c_str(), 0600), 0);
  };
  const fs::path id_file = dir / "history.map";
  const fs::path image = dir / "m1" / "map.pgm";
  const std::string failed = "TrasqueFactory load " + markPath().string() + " failed: ";
  const std::string zone_file = "zone file " + markPath().string();
  // 1025 blocks that name one 1024-corner outline through an alias: 1 Mi + 1024 corners.
  std::string aliased =
      "editlayout:\n- {id: b, type: narrow corridor, desctype: block, rectangle: &r [";
  for (int k = 0; k < 1024; ++k) {
    aliased += "{x: " + std::to_string(k % 2) + ", y: " + std::to_string(k) + "}, ";
  }
  aliased += "]}\n";
  for (int k = 0; k < 1024; ++k) {
    aliased += "- {id: b, type: narrow corridor, desctype: block, rectangle: *r}\n";
  }
  // Two discs whose rasters (about 44 Mi cells each) are allowed one at a time, not together.
  const std::string disc =
      "- {id: c, type: narrow corridor, desctype: circle, radius: 3300, points: [{x: 0, y: 0}]}\n";
  std::string aliased_zones =
      "editlayout:\n- &z {id: z, type: narrow corridor, desctype: circle, radius: 1}\n";
  for (int k = 0; k < 16384; ++k) {
    aliased_zones += "- *z\n";
  }
  // A PostScript "image" would be handed to ghostscript: a stand-in for it leaves a mark.
  const fs::path ran = dir / "ghostscript ran";
  writeFile(dir / "bin" / "gs", "#!/bin/sh\ntouch '" + ran.string() + "'\n");
  fs::permissions(dir / "bin" / "gs", fs::perms::owner_all);
  const std::string path = getenv("PATH");
  setenv("PATH", (dir / "bin").string().append(":").append(path).c_str(), 1);
  const std::string image_failed = "[ERROR] [map_io]: Failed processing YAML file";
  const std::vector<std::tuple<std::string, std::function<void()>, Records>> cases{
      {"id file FIFO",
       [&] { fifo(id_file); },
       {{"ERROR", "history map info empty: " + id_file.string() + ": is not a regular file"},
        {"CRITICAL", "TrasqueFactory getMapId error history map info empty"}}},
      {"image linked to a device",
       [&] {
         fs::remove(image);
         fs::create_symlink("/dev/zero", image);
       },
       {{"ERROR", "map image " + image.string() + " is not a regular file"},
        {"CRITICAL", image_failed}}},
      {"PostScript image",
       [&] { writeFile(image, "%!PS\n{ } loop\n"); },
       {{"ERROR", "map image " + image.string() + " is not a PNM, PNG or BMP image"},
        {"CRITICAL", image_failed}}},
      {"image name read as a frame selection",
       [&] {
         writeFile(image.string() + "[0]", "P5\n8 400\n255\n");
         writeFile(metaPath(), std::string(kMeta).replace(7, 7, "map.pgm[0]"));
       },
       {{"ERROR",
         "map image " + image.string() +
             "[0] has a name ending in ']', which the decoder reads as a frame selection"},
        {"CRITICAL", image_failed}}},
      {"height beyond 32 bits",
       [&] { writeFile(image, "P5\n8 4294967308\n255\n"); },
       {{"ERROR",
         "map image " + image.string() + " declares a width or height of 0 or beyond 32 bits"},
        {"CRITICAL", image_failed}}},
      {"id file of a MiB of zero bytes",
       [&] {
         fs::resize_file(id_file, 0);
         fs::resize_file(id_file, 1 << 20);
       },
       {{"ERROR",
         "getMapId error map id '" + std::string(32, '?') + "'... is longer than 255 bytes"},
        {"CRITICAL", "TrasqueFactory getMapId error std::exception"}}},
      {"zone file beyond a MiB",
       [&] { writeZones("editlayout: []\n#" + std::string(1 << 20, 'x')); },
       {{"CRITICAL", failed + "is larger than 1048576 bytes"}}},
      {"aliased zones",
       [&] { writeZones(aliased_zones); },
       {{"ERROR", zone_file + " holds more than 16384 zones"},
        {"CRITICAL", failed + "too many zones"}}},
      {"zone id beyond 255 bytes",
       [&] {
         writeZones(
             "editlayout:\n- {type: narrow corridor, desctype: block, id: " +
             std::string(256, 'i') + "}\n");
       },
       {{"ERROR", zone_file + " holds a zone id longer than 255 bytes"},
        {"CRITICAL", failed + "zone id too long"}}},
      {"zone file FIFO",
       [&] { fifo(markPath()); },
       {{"CRITICAL", failed + "is not a regular file"}}},
      {"aliased corners",
       [&] { writeZones(aliased); },
       {{"ERROR", zone_file + " holds more than 1048576 feature points"},
        {"CRITICAL", failed + "too many feature points"}}},
      {"rasters together",
       [&] { writeZones("editlayout:\n" + disc + disc); },
       {{"ERROR", zone_file + " needs more than 67108864 raster cells at resolution 0.05"},
        {"CRITICAL", failed + "zone rasters too large"}}},
      {"one 200 m disc named twice",
       [&] {
         writeZones(
             "editlayout:\n- {id: c, type: narrow corridor, desctype: circle, radius: 4000, "
             "points: [&p {x: 0, y: 0}, *p]}\n");
       },
       {{"ERROR", zone_file + " needs more than 67108864 steps to rasterise at resolution 0.05"},
        {"CRITICAL", failed + "zone rasters too costly"}}},
  };
  for (const auto & [what, make, tail] : cases) {
    for (const fs::path & f : {id_file, image, markPath()}) {
      fs::remove(f);
    }
    writeFile(id_file, "m1\n");
    writeFile(metaPath(), kMeta);
    writePgm(image, 8, 400);
    make();
    EXPECT_TRUE(load().empty()) << what;
    ASSERT_GE(records.size(), tail.size()) << what;
    EXPECT_EQ(Records(records.end() - tail.size(), records.end()), tail) << what;
  }
  setenv("PATH", path.c_str(), 1);
  EXPECT_FALSE(fs::exists(ran));
}

TEST_F(ZoneLoader, MissingOrBrokenZoneFileFailsWithTheReasonAndACompleteRecord)
{
  const auto failed = [this](const std::string & reason) {
    return withHead(
        {{"CRITICAL", "TrasqueFactory load " + markPath().string() + " failed: " + reason}});
  };
  EXPECT_TRUE(load().empty());
  EXPECT_EQ(records, failed("cannot be opened (No such file or directory)"));
  expectMetaComplete();

  fs::create_directory(markPath());
  EXPECT_TRUE(load().empty());
  EXPECT_EQ(records, failed("is a directory"));
  fs::remove(markPath());

  writeZones("editlayout: [ {id: 1\n");
  EXPECT_TRUE(load().empty());
  EXPECT_EQ(records, failed("yaml-cpp: error at line 2, column 1: end of map flow not found"));
}

TEST_F(ZoneLoader, ZoneFileWithoutZoneSequence)
{
  for (const std::string text :
       {"",
        "other: []\n",
        "editlayout: 3\n",
        "editlayout: {id: 1}\n",
        "editlayout: ~\n",
        "just text\n",
        "- editlayout: []\n"}) {
    writeZones(text);
    EXPECT_TRUE(load().empty()) << text;
    EXPECT_EQ(records, withHead({{"CRITICAL", "TrasqueFactory could not find valid zones"}}))
        << text;
  }
  writeZones("editlayout: []\n");
  EXPECT_TRUE(load().empty());
  EXPECT_EQ(records, headRecords());
}

class ZoneLoaderBadZone : public ZoneLoader, public ::testing::WithParamInterface<std::string>
{
};

TEST_P(ZoneLoaderBadZone, OneBadZoneDropsAll)
{
  // A good zone first: it is made and announced, then dropped with the rest.
  writeZones(
      "editlayout:\n"
      "  - {id: good, type: narrow corridor, desctype: circle, radius: 1, points: [{x: 1, y: 1}]}\n"
      "  - " +
      GetParam() + "\n");
  EXPECT_TRUE(load().empty());
  // The parser's reason follows the path; it names the key or the line and column at fault.
  ASSERT_FALSE(records.empty());
  const std::string head = "TrasqueFactory load " + markPath().string() + " failed: ";
  const LogRecord last = records.back();
  EXPECT_EQ(last.level, "CRITICAL");
  EXPECT_EQ(last.text.rfind(head, 0), 0u) << last.text;
  const std::string reason = last.text.substr(std::min(head.size(), last.text.size()));
  EXPECT_TRUE(
      reason.find("invalid key") != std::string::npos ||
      reason.find("yaml-cpp: error at line 3, column") == 0)
      << reason;
  records.pop_back();
  EXPECT_EQ(
      records,
      withHead({{"INFO", "TrasqueFactory add narrow corridor desctype CIRCLE_LIST, id good"}}));
  expectMetaComplete();
}

INSTANTIATE_TEST_SUITE_P(
    Variants,
    ZoneLoaderBadZone,
    ::testing::Values(
        "{id: a, desctype: circle, radius: 1}",
        "{id: a, type: [narrow corridor], desctype: circle, radius: 1}",
        "{id: a, type: {k: v}, desctype: circle, radius: 1}",
        "{id: a, type: narrow corridor, radius: 1}",
        "{id: a, type: narrow corridor, desctype: [circle], radius: 1}",
        "{id: a, type: narrow corridor, desctype: {s: circle}, radius: 1}",
        "{type: narrow corridor, desctype: circle, radius: 1}",
        "{id: [a], type: narrow corridor, desctype: circle, radius: 1}",
        "{type: narrow corridor, desctype: block}",
        "{id: {a: b}, type: narrow corridor, desctype: block}",
        "{id: a, type: narrow corridor, desctype: circle}",
        "{id: a, type: narrow corridor, desctype: circle, radius: wide}",
        "{id: a, type: narrow corridor, desctype: circle, radius: [1]}",
        "{id: a, type: narrow corridor, desctype: circle, radius: 1, points: [{x: 1}]}",
        "{id: a, type: narrow corridor, desctype: circle, radius: 1, points: [{y: 1}]}",
        "{id: a, type: narrow corridor, desctype: circle, radius: 1, points: [{x: a, y: 1}]}",
        "{id: a, type: narrow corridor, desctype: circle, radius: 1, points: [3]}",
        "{id: a, type: narrow corridor, desctype: circle, radius: 1, points: [[1, 2]]}",
        "{id: a, type: narrow corridor, desctype: circle, radius: 1, points: [~]}",
        "{id: a, type: narrow corridor, desctype: block, rectangle: [{x: 1, y: [2]}]}",
        "{id: a, type: narrow corridor, desctype: block, rectangle: [{x: 1, y: 1}, {x: 2}]}"));

#ifdef TRASQUE_EXAMPLE_MAP_DIR
TEST(ExampleMapDirectory, LoadsItsNarrowCorridors)
{
  trasque_test::useStdoutLogger();
  MapMeta meta;
  LogCapture capture;
  const auto zones = trasque::TrasqueFactory(
      TRASQUE_EXAMPLE_MAP_DIR, "history.map", "map.yaml", "editlayout.yaml", meta);
  capture.records();
  EXPECT_EQ(meta.width, 240u);
  EXPECT_EQ(meta.height, 160u);
  EXPECT_EQ(meta.resolution, 0.05);
  EXPECT_EQ(meta.origin_x, -2.0);
  EXPECT_EQ(meta.origin_y, -1.0);

  std::vector<std::string> ids;
  size_t circles = 0;
  for (const auto & zone : zones) {
    ids.push_back(zone->id);
    EXPECT_EQ(zone->type, Type::NARROW_CORRIDOR);
    circles += zone->desctype == trasque::DescType::CIRCLE_LIST ? 1 : 0;
    const auto raster = zone->getGrid(0.05);
    EXPECT_GT(trasque_test::countSet(*raster), 0u) << zone->id;
    // Every zone lies on the map.
    EXPECT_GE(raster->origin_x, meta.origin_x - 0.1) << zone->id;
    EXPECT_GE(raster->origin_y, meta.origin_y - 0.1) << zone->id;
    EXPECT_LE(raster->origin_x + raster->size_x * 0.05, -2.0 + 240 * 0.05 + 0.1) << zone->id;
    EXPECT_LE(raster->origin_y + raster->size_y * 0.05, -1.0 + 160 * 0.05 + 0.1) << zone->id;
  }
  EXPECT_EQ(
      ids,
      (std::vector<std::string>{
          "door-west-east", "sofa-gap", "table-passage", "hall-behind-shelf", "4017"}));
  EXPECT_EQ(circles, 3u);
}
#endif

}  // namespace
