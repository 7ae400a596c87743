#include "trasque/trasque.hpp"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <exception>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

#include "map_image.hpp"
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
// Zones that one zone file may hold, counted before any is read.
constexpr size_t kMaxZones = size_t{1} << 14;
// Bytes of a YAML file read at most: parsed, a file takes up to 250 times its size in memory.
constexpr size_t kMaxYamlFileBytes = size_t{1} << 20;
// A map id names a directory and a zone id is a name too: at most NAME_MAX bytes.
constexpr size_t kMaxNameBytes = 255;
// White space before the map id that the id file may hold.
constexpr size_t kMaxIdFileSpaceBytes = 4096;
// Bytes of a bad map id that a record quotes.
constexpr size_t kQuotedIdBytes = 32;

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

// The start of a bad id for a record: control and other unprintable bytes become '?'.
std::string quotedId(const std::string & id)
{
  std::string quoted = "'";
  for (size_t i = 0; i < id.size() && i < kQuotedIdBytes; ++i) {
    const auto c = static_cast<unsigned char>(id[i]);
    quoted += std::isprint(c) ? id[i] : '?';
  }
  quoted += id.size() > kQuotedIdBytes ? "'..." : "'";
  return quoted;
}

bool isSpace(int c) { return c != std::char_traits<char>::eof() && std::isspace(c); }

// The first whitespace-separated token of the stream, as `in >> id` reads it, but with bounds:
// the id file may be a large file of anything. Throws past them; empty when no token comes.
std::string readIdToken(std::istream & in)
{
  for (size_t skipped = 0; isSpace(in.peek()); ++skipped) {
    if (skipped == kMaxIdFileSpaceBytes) {
      throw std::invalid_argument(
          "no map id within the first " + std::to_string(kMaxIdFileSpaceBytes) + " bytes");
    }
    in.get();
  }
  std::string id;
  while (in.peek() != std::char_traits<char>::eof() && !isSpace(in.peek())) {
    id += static_cast<char>(in.get());
    if (id.size() > kMaxNameBytes) {
      throw std::invalid_argument(
          "map id " + quotedId(id) + " is longer than " + std::to_string(kMaxNameBytes) + " bytes");
    }
  }
  return id;
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
        id = readIdToken(in);
        reason = in.bad() ? "cannot be read" : "holds no map id";
      }
    }
    if (!id.empty() && !isDirectoryName(id)) {
      throw std::invalid_argument("map id " + quotedId(id) + " does not name a sub-directory");
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
  std::ifstream in(file, std::ios::binary);
  const int open_error = errno;
  if (!in.is_open()) {
    throw std::runtime_error(openFailure(open_error));
  }
  std::string text(kMaxYamlFileBytes + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  if (in.bad()) {
    throw std::runtime_error("cannot be read");
  }
  if (static_cast<size_t>(in.gcount()) > kMaxYamlFileBytes) {
    throw std::runtime_error("is larger than " + std::to_string(kMaxYamlFileBytes) + " bytes");
  }
  text.resize(static_cast<size_t>(in.gcount()));
  return YAML::Load(text);
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

detail::ImageSize readImageSize(const fs::path & meta_file)
{
  const nav2_map_server::LoadParameters params = nav2_map_server::loadMapYaml(meta_file.string());
  std::string refusal = irregularFile(params.image_file_name);
  if (refusal.empty()) {
    try {
      return detail::readMapImageSize(params.image_file_name);
    } catch (const detail::RefusedImage & e) {
      refusal = e.what();
    }
  }
  LOG_ERROR("map image {} {}", params.image_file_name, refusal);
  throw std::runtime_error(refusal);
}

// A scalar's text without a copy: an aliased scalar may be read for every zone. A YAML null
// reads "null"; anything else throws as as<std::string>() does.
std::string_view scalarText(const YAML::Node & node)
{
  if (node.IsScalar()) {
    return node.Scalar();
  }
  if (node.IsNull()) {
    return "null";
  }
  node.as<std::string>();
  throw YAML::TypedBadConversion<std::string>(node.Mark());
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

// The rasters of all zones together, at the resolution they are made at, stay within what one
// raster may take and what one raster may cost to make; throws beyond either.
void checkRasterCost(
    const std::vector<std::shared_ptr<Base>> & zones, double resolution, const fs::path & file)
{
  uint64_t cells = 0;
  double steps = 0.0;
  for (const auto & zone : zones) {
    const detail::RasterCost cost = detail::rasterCost(
        zone->getFeaturePoints(), zone->desctype == DescType::CIRCLE_LIST, resolution);
    cells += cost.cells;
    steps += cost.steps;
  }
  if (cells > detail::kMaxRasterCells) {
    LOG_ERROR(
        "zone file {} needs more than {} raster cells at resolution {}",
        file.string(),
        detail::kMaxRasterCells,
        resolution);
    throw std::runtime_error("zone rasters too large");
  }
  if (steps > detail::kMaxRasterSteps) {
    LOG_ERROR(
        "zone file {} needs more than {:.0f} steps to rasterise at resolution {}",
        file.string(),
        detail::kMaxRasterSteps,
        resolution);
    throw std::runtime_error("zone rasters too costly");
  }
}

// Appends the narrow-corridor zones of the zone file's "editlayout" sequence; throws on a bad
// element or past a bound. Returns false when the file holds no such sequence.
bool readZones(
    const YAML::Node & doc,
    const MapMeta & meta,
    double raster_resolution,
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
  // Aliases let a small file name one element any number of times.
  if (layout.size() > kMaxZones) {
    LOG_ERROR("zone file {} holds more than {} zones", file.string(), kMaxZones);
    throw std::runtime_error("too many zones");
  }
  size_t points = 0;
  for (const YAML::Node & element : layout) {
    if (!element.IsDefined() || !element.IsMap()) {
      continue;
    }
    if (getType(scalarText(element["type"])) != Type::NARROW_CORRIDOR) {
      continue;
    }
    switch (getDescType(scalarText(element["desctype"]))) {
      case DescType::CIRCLE_LIST:
        countFeaturePoints(element["points"], file, points);
        zones.push_back(CircleListFactory(element, meta));
        break;
      case DescType::BLOCK:
        countFeaturePoints(element["rectangle"], file, points);
        zones.push_back(BlockFactory(element, meta));
        break;
      default:
        continue;
    }
    if (zones.back()->id.size() > kMaxNameBytes) {
      LOG_ERROR("zone file {} holds a zone id longer than {} bytes", file.string(), kMaxNameBytes);
      throw std::runtime_error("zone id too long");
    }
    LOG_INFO(
        "TrasqueFactory add narrow corridor desctype {}, id {}",
        zones.back()->desctype == DescType::CIRCLE_LIST ? "CIRCLE_LIST" : "BLOCK",
        zones.back()->id);
  }
  checkRasterCost(zones, raster_resolution, file);
  return true;
}

std::vector<std::shared_ptr<Base>> loadZones(
    const fs::path & dir,
    const fs::path & idFile,
    const fs::path & metaFile,
    const fs::path & markFile,
    MapMeta & meta,
    std::optional<double> raster_resolution)
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
      const detail::ImageSize size = readImageSize(meta_file);
      meta.width = size.width;
      meta.height = size.height;
    } catch (...) {
      LOG_CRITICAL("[ERROR] [map_io]: Failed processing YAML file");
      return {};
    }

    const fs::path mark_file = dir / id / markFile;
    LOG_INFO("read map mark file {}", mark_file.string());
    std::vector<std::shared_ptr<Base>> zones;
    try {
      if (!readZones(
              loadYamlFile(mark_file),
              meta,
              raster_resolution.value_or(meta.resolution),
              mark_file,
              zones)) {
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
  return loadZones(dir, idFile, metaFile, markFile, meta, std::nullopt);
}

std::vector<std::shared_ptr<Base>> TrasqueFactory(
    const fs::path & dir,
    const fs::path & idFile,
    const fs::path & metaFile,
    const fs::path & markFile,
    MapMeta & meta,
    double raster_resolution)
{
  const bool usable = std::isfinite(raster_resolution) && raster_resolution > 0.0;
  return loadZones(
      dir,
      idFile,
      metaFile,
      markFile,
      meta,
      usable ? std::optional<double>(raster_resolution) : std::nullopt);
}

}  // namespace trasque
