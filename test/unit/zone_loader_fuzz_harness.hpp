#ifndef TEST__UNIT__ZONE_LOADER_FUZZ_HARNESS_HPP_
#define TEST__UNIT__ZONE_LOADER_FUZZ_HARNESS_HPP_

#include <stdlib.h>

#include <cmath>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "trasque/trasque.hpp"

namespace trasque_test {

/// Which file of the stored map directory an input replaces.
enum class FuzzedFile
{
  ZONES,
  META,
  ID,
};

/**
 * @brief A stored map directory whose files are replaced one at a time by arbitrary bytes before
 * the loader reads it. Shared by the libFuzzer target and the generated-corpus test.
 */
class FuzzMapDirectory
{
public:
  static constexpr char kMeta[] =
      "image: map.pgm\nresolution: 0.05\norigin: [-10.0, -5.0, 0.0]\nnegate: 0\n"
      "occupied_thresh: 0.65\nfree_thresh: 0.25\n";
  static constexpr unsigned kWidth = 16;
  static constexpr unsigned kHeight = 12;

  FuzzMapDirectory()
  {
    std::string tmpl = (std::filesystem::temp_directory_path() / "trasque_fuzz_XXXXXX").string();
    if (mkdtemp(tmpl.data()) == nullptr) {
      std::terminate();
    }
    dir_ = tmpl;
    std::filesystem::create_directories(dir_ / "m1");
    std::string image = "P5\n" + std::to_string(kWidth) + " " + std::to_string(kHeight) + "\n255\n";
    image.append(kWidth * kHeight, static_cast<char>(254));
    write(dir_ / "m1" / "map.pgm", image);
  }

  ~FuzzMapDirectory() { std::filesystem::remove_all(dir_); }

  FuzzMapDirectory(const FuzzMapDirectory &) = delete;
  FuzzMapDirectory & operator=(const FuzzMapDirectory &) = delete;

  /**
   * @brief Writes @p bytes into the chosen file (the other files hold valid content), loads the
   * zones and checks what a caller relies on.
   * @return empty when the load held up, otherwise what went wrong
   */
  std::string run(FuzzedFile file, const std::string & bytes)
  {
    write(dir_ / "history.map", file == FuzzedFile::ID ? bytes : std::string("m1\n"));
    write(dir_ / "m1" / "map.yaml", file == FuzzedFile::META ? bytes : std::string(kMeta));
    write(dir_ / "m1" / "editlayout.yaml", file == FuzzedFile::ZONES ? bytes : std::string(kZones));

    trasque::MapMeta meta;
    std::vector<std::shared_ptr<trasque::Base>> zones;
    last_zone_count_ = 0;
    try {
      zones = trasque::TrasqueFactory(dir_, "history.map", "map.yaml", "editlayout.yaml", meta);
    } catch (const std::exception & e) {
      return std::string("exception left the loader: ") + e.what();
    } catch (...) {
      return "unknown exception left the loader";
    }
    last_zone_count_ = zones.size();
    if (!zones.empty() && (meta.width != kWidth || meta.height != kHeight)) {
      return "zones returned without the image size";
    }
    for (const auto & zone : zones) {
      if (!zone) {
        return "null zone";
      }
      if (zone->type != trasque::Type::NARROW_CORRIDOR) {
        return "zone " + zone->id + " is not a narrow corridor";
      }
      const bool circle = zone->desctype == trasque::DescType::CIRCLE_LIST &&
                          dynamic_cast<trasque::CircleList *>(zone.get()) != nullptr;
      const bool block = zone->desctype == trasque::DescType::BLOCK &&
                         dynamic_cast<trasque::Block *>(zone.get()) != nullptr;
      if (!circle && !block) {
        return "zone " + zone->id + " has a shape that does not match its class";
      }
      for (const double resolution : {0.05, meta.resolution}) {
        const std::string problem = checkRaster(*zone, resolution);
        if (!problem.empty()) {
          return "zone " + zone->id + ": " + problem;
        }
      }
    }
    return {};
  }

  /// Number of zones the last run returned.
  size_t lastZoneCount() const { return last_zone_count_; }

private:
  static constexpr char kZones[] =
      "editlayout:\n"
      "  - {id: c, type: narrow corridor, desctype: circle, radius: 2, points: [{x: 3, y: 4}]}\n";

  static void write(const std::filesystem::path & path, const std::string & bytes)
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

  static std::string checkRaster(trasque::Base & zone, double resolution)
  {
    const auto raster = zone.getGrid(resolution);
    if (!raster) {
      return "no raster";
    }
    const uint64_t cells = static_cast<uint64_t>(raster->size_x) * raster->size_y;
    if (cells > (uint64_t{1} << 26)) {
      return "raster of " + std::to_string(cells) + " cells";
    }
    if (cells > 0 && raster->data == nullptr) {
      return "raster without cells";
    }
    if (cells > 0 && (!std::isfinite(raster->origin_x) || !std::isfinite(raster->origin_y))) {
      return "raster with a non-finite origin";
    }
    if (!std::isnan(resolution) && zone.getGrid(resolution) != raster) {
      return "raster not cached";
    }
    // Read every cell so that a short allocation shows under AddressSanitizer.
    volatile bool sink = false;
    for (uint64_t i = 0; i < cells; ++i) {
      sink = raster->data[i];
    }
    static_cast<void>(sink);
    return {};
  }

  std::filesystem::path dir_;
  size_t last_zone_count_{0};
};

}  // namespace trasque_test

#endif  // TEST__UNIT__ZONE_LOADER_FUZZ_HARNESS_HPP_
