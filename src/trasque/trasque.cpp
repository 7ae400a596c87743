#include "trasque/trasque.hpp"

#include <Magick++.h>

#include <cerrno>
#include <cmath>
#include <exception>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

#include "nav2_map_server/map_io.hpp"
#include "util/util.hpp"
#include "zone_raster.hpp"

namespace trasque {

namespace {

namespace fs = std::filesystem;

// Feature points that one zone file may name in all its zones together; a room map needs a few
// thousand. YAML aliases let a small file name a large block many times, so the bound is on what
// is read, not on the file's size.
constexpr size_t kMaxFeaturePoints = size_t{1} << 20;

// The id is appended to the directory, so it must stay a single component below it: an absolute
// id would replace the directory and ".." or a separator would leave it.
bool isDirectoryName(const std::string & id)
{
  return id != "." && id != ".." && id.find('/') == std::string::npos &&
         id.find('\0') == std::string::npos;
}

// Why a file is not read at all: a FIFO would block open() and a device would never end, so
// anything that is not a regular file (after following symlinks) is refused before it is opened.
// Empty when the file is regular or cannot be inspected; opening it then says why.
std::string irregularFile(const fs::path & file)
{
  std::error_code ec;
  const fs::file_status status = fs::status(file, ec);
  if (ec || fs::is_regular_file(status)) {
    return {};
  }
  return fs::is_directory(status) ? "is a directory" : "is not a regular file";
}

// Why a file could not be opened for reading, from the errno the failed open left.
std::string openFailure(int error)
{
  if (error == 0) {
    return "cannot be opened";
  }
  return "cannot be opened (" + std::error_code(error, std::generic_category()).message() + ")";
}

std::string getMapId(const fs::path & file)
{
  std::string id;
  // Why no id was read, for the record that names the file.
  std::string reason;
  try {
    reason = irregularFile(file);
    if (reason.empty()) {
      errno = 0;
      std::ifstream in(file);
      const int open_error = errno;
      if (!in.is_open()) {
        reason = openFailure(open_error);
      } else {
        in >> id;
        reason = in.bad() ? "cannot be read" : "holds no map id";
      }
    }
    if (!id.empty() && !isDirectoryName(id)) {
      throw std::invalid_argument("map id '" + id + "' does not name a sub-directory");
    }
  } catch (const std::exception & e) {
    LOG_ERROR("getMapId error {}", e.what());
    throw std::exception();
  }
  if (id.empty()) {
    LOG_ERROR("history map info empty: {}: {}", file.string(), reason);
    throw std::invalid_argument("history map info empty");
  }
  LOG_INFO("getMapId {}", id);
  return id;
}

// YAML::LoadFile, but a file that cannot be opened says why instead of only "bad file".
YAML::Node loadYamlFile(const fs::path & file)
{
  const std::string irregular = irregularFile(file);
  if (!irregular.empty()) {
    throw std::runtime_error(irregular);
  }
  errno = 0;
  std::ifstream in(file);
  const int open_error = errno;
  if (!in.is_open()) {
    throw std::runtime_error(openFailure(open_error));
  }
  return YAML::Load(in);
}

void initialiseMagick()
{
  static std::once_flag once;
  std::call_once(once, [] { Magick::InitializeMagick(nullptr); });
}

// Pixel (column x, row y counted downwards from the top) to world, no half-pixel offset.
NonIdealPlanePoint pixelToWorld(const YAML::Node & point, const MapMeta & meta, double radius)
{
  const double x = point["x"].as<double>();
  const double y = point["y"].as<double>();
  return {
      x * meta.resolution + meta.origin_x,
      meta.resolution * (static_cast<double>(meta.height) - y) + meta.origin_y,
      radius};
}

std::vector<NonIdealPlanePoint> readPoints(
    const YAML::Node & points, const MapMeta & meta, double radius)
{
  std::vector<NonIdealPlanePoint> result;
  if (points.IsDefined() && points.IsSequence()) {
    for (const YAML::Node & point : points) {
      result.push_back(pixelToWorld(point, meta, radius));
    }
  }
  return result;
}

struct MetaGeometry
{
  double resolution;
  double origin_x;
  double origin_y;
};

MetaGeometry readMetaFile(const fs::path & file)
{
  const YAML::Node doc = loadYamlFile(file);
  const double resolution = doc["resolution"].as<double>();
  const auto origin = doc["origin"].as<std::vector<double>>();
  if (origin.size() < 2) {
    throw std::runtime_error("origin has fewer than two elements");
  }
  // Zero, negative or non-finite values would pile every zone onto one spot or mirror it.
  if (!std::isfinite(resolution) || !(resolution > 0.0)) {
    throw std::runtime_error("resolution is not a positive finite number");
  }
  if (!std::isfinite(origin[0]) || !std::isfinite(origin[1])) {
    throw std::runtime_error("origin is not finite");
  }
  return {resolution, origin[0], origin[1]};
}

std::pair<uint32_t, uint32_t> readImageSize(const fs::path & meta_file)
{
  const nav2_map_server::LoadParameters params = nav2_map_server::loadMapYaml(meta_file.string());
  const std::string irregular = irregularFile(params.image_file_name);
  if (!irregular.empty()) {
    LOG_ERROR("map image {} {}", params.image_file_name, irregular);
    throw std::runtime_error(irregular);
  }
  initialiseMagick();
  // Only the header is read: decoding would allocate whatever size the file declares. With a
  // sub-range of one frame the coders stop after the first header instead of reading on.
  Magick::Image image;
  image.subRange(1);
  image.ping(params.image_file_name);
  return {static_cast<uint32_t>(image.columns()), static_cast<uint32_t>(image.rows())};
}

// Counts the feature points an element adds to the zone file's total; throws past the bound.
void countFeaturePoints(const YAML::Node & points, const fs::path & file, size_t & total)
{
  if (!points.IsDefined() || !points.IsSequence()) {
    return;
  }
  total += points.size();
  if (total > kMaxFeaturePoints) {
    LOG_ERROR("zone file {} holds more than {} feature points", file.string(), kMaxFeaturePoints);
    throw std::runtime_error("too many feature points");
  }
}

// Cells the zone's raster takes at @p resolution; 0 when it would make none.
uint64_t rasterCells(const Base & zone, double resolution)
{
  detail::Extent extent{};
  const bool found =
      zone.desctype == DescType::CIRCLE_LIST
          ? detail::discExtent(zone.getFeaturePoints(), true, extent) == detail::ExtentResult::VALID
          : detail::blockExtent(zone.getFeaturePoints(), extent);
  return found ? detail::rasterCells(extent, resolution) : 0;
}

// The rasters of all zones together, at the map's resolution, stay within what one raster may
// take; throws beyond it.
void checkRasterCells(
    const std::vector<std::shared_ptr<Base>> & zones, double resolution, const fs::path & file)
{
  uint64_t total = 0;
  for (const auto & zone : zones) {
    total += rasterCells(*zone, resolution);
  }
  if (total > detail::kMaxRasterCells) {
    LOG_ERROR(
        "zone file {} needs more than {} raster cells at resolution {}",
        file.string(),
        detail::kMaxRasterCells,
        resolution);
    throw std::runtime_error("zone rasters too large");
  }
}

// Appends the narrow-corridor zones of the zone file's "editlayout" sequence; throws on a bad
// element or past a bound. Returns false when the file holds no such sequence.
bool readZones(
    const YAML::Node & doc,
    const MapMeta & meta,
    const fs::path & file,
    std::vector<std::shared_ptr<Base>> & zones)
{
  if (!doc.IsMap()) {
    return false;
  }
  const YAML::Node layout = doc["editlayout"];
  if (!layout.IsDefined() || !layout.IsSequence()) {
    return false;
  }
  size_t points = 0;
  for (const YAML::Node & element : layout) {
    if (!element.IsDefined() || !element.IsMap()) {
      continue;
    }
    if (getType(element["type"].as<std::string>()) != Type::NARROW_CORRIDOR) {
      continue;
    }
    switch (getDescType(element["desctype"].as<std::string>())) {
      case DescType::CIRCLE_LIST:
        countFeaturePoints(element["points"], file, points);
        zones.push_back(CircleListFactory(element, meta));
        LOG_INFO(
            "TrasqueFactory add narrow corridor desctype CIRCLE_LIST, id {}", zones.back()->id);
        break;
      case DescType::BLOCK:
        countFeaturePoints(element["rectangle"], file, points);
        zones.push_back(BlockFactory(element, meta));
        LOG_INFO("TrasqueFactory add narrow corridor desctype BLOCK, id {}", zones.back()->id);
        break;
      default:
        break;
    }
  }
  checkRasterCells(zones, meta.resolution, file);
  return true;
}

}  // namespace

std::shared_ptr<Base> CircleListFactory(const YAML::Node & zone, const MapMeta & meta)
{
  const double radius = zone["radius"].as<double>() * meta.resolution;
  const auto points = readPoints(zone["points"], meta, radius);
  const auto id = zone["id"].as<std::string>();
  const Type type = getType(zone["type"].as<std::string>());
  return std::make_shared<CircleList>(points, type, id);
}

std::shared_ptr<Base> BlockFactory(const YAML::Node & zone, const MapMeta & meta)
{
  const auto corners = readPoints(zone["rectangle"], meta, 0.0);
  const auto id = zone["id"].as<std::string>();
  const Type type = getType(zone["type"].as<std::string>());
  return std::make_shared<Block>(corners, type, id);
}

std::vector<std::shared_ptr<Base>> TrasqueFactory(
    const fs::path & dir,
    const fs::path & idFile,
    const fs::path & metaFile,
    const fs::path & markFile,
    MapMeta & meta)
{
  try {
    std::string id;
    try {
      id = getMapId(dir / idFile);
    } catch (const std::exception & e) {
      LOG_CRITICAL("TrasqueFactory getMapId error {}", e.what());
      return {};
    }

    const fs::path meta_file = dir / id / metaFile;
    LOG_INFO("read map meta file {}", meta_file.string());
    try {
      const MetaGeometry geometry = readMetaFile(meta_file);
      meta.resolution = geometry.resolution;
      meta.origin_x = geometry.origin_x;
      meta.origin_y = geometry.origin_y;
    } catch (const std::exception & e) {
      LOG_CRITICAL("TrasqueFactory load {} failed: {}", meta_file.string(), e.what());
      return {};
    } catch (...) {
      LOG_CRITICAL("TrasqueFactory load {} failed: unknown error", meta_file.string());
      return {};
    }

    try {
      const auto size = readImageSize(meta_file);
      meta.width = size.first;
      meta.height = size.second;
    } catch (...) {
      LOG_CRITICAL("[ERROR] [map_io]: Failed processing YAML file");
      return {};
    }

    const fs::path mark_file = dir / id / markFile;
    LOG_INFO("read map mark file {}", mark_file.string());
    std::vector<std::shared_ptr<Base>> zones;
    try {
      if (!readZones(loadYamlFile(mark_file), meta, mark_file, zones)) {
        LOG_CRITICAL("TrasqueFactory could not find valid zones");
        return {};
      }
    } catch (const std::exception & e) {
      LOG_CRITICAL("TrasqueFactory load {} failed: {}", mark_file.string(), e.what());
      return {};
    } catch (...) {
      LOG_CRITICAL("TrasqueFactory load {} failed: unknown error", mark_file.string());
      return {};
    }
    return zones;
  } catch (...) {
    // Only allocation or logging failures get here; the zones must still not throw.
    return {};
  }
}

}  // namespace trasque
