#ifndef TRASQUE__TRASQUE_HPP_
#define TRASQUE__TRASQUE_HPP_

#include <yaml-cpp/yaml.h>

#include <filesystem>
#include <memory>
#include <vector>

#include "trasque/base.hpp"
#include "trasque/block.hpp"
#include "trasque/circle_list.hpp"
#include "trasque/map_meta.hpp"
#include "trasque/types.hpp"

namespace trasque {

/**
 * @brief Loads the narrow-corridor zones of the current map of a stored map directory.
 *
 * The map id is the first whitespace-separated token of dir / idFile; it must name a
 * sub-directory of @p dir (a single path component other than "." and ".."). From that
 * sub-directory it reads the map meta file (nav2 map_server format, with the map image it names)
 * and the zone file, whose "editlayout" sequence holds one element per zone. Pixel positions of
 * the zone file become world coordinates through the map's resolution, origin and image height.
 *
 * Each field of @p meta is written when the stage that reads it succeeds and is never cleared.
 * Every failure, also one inside a single zone, is reported by log records and an empty result;
 * no exception leaves this function. Runs on the calling thread, reads files, keeps no state.
 *
 * The directory is untrusted input, so the load is bounded: only files that are regular files
 * are read, the id file's first token alone, YAML files of at most 1 MiB, the map image's header
 * alone and only if it is a PNM, PNG or BMP image. A zone file is refused when it holds more than
 * 16384 zones, 1 Mi feature points or a zone id longer than 255 bytes, or when its zones' rasters
 * together would take more than 64 Mi cells or 64 Mi steps to make at the map's resolution.
 *
 * @return the narrow-corridor circle lists and blocks, in zone-file order
 */
std::vector<std::shared_ptr<Base>> TrasqueFactory(
    const std::filesystem::path & dir,
    const std::filesystem::path & idFile,
    const std::filesystem::path & metaFile,
    const std::filesystem::path & markFile,
    MapMeta & meta);

/**
 * @brief As above, with the bounds on the zones' rasters held at @p raster_resolution, the
 * resolution at which the caller will ask the zones for their rasters (getGrid()). A resolution
 * that is not positive and finite holds them at the map's.
 */
std::vector<std::shared_ptr<Base>> TrasqueFactory(
    const std::filesystem::path & dir,
    const std::filesystem::path & idFile,
    const std::filesystem::path & metaFile,
    const std::filesystem::path & markFile,
    MapMeta & meta,
    double raster_resolution);

/**
 * @brief A circle list from one zone element: "radius" (pixels, applied to every disc), "points"
 * (pixel "x" and "y" of each centre; no discs when absent), "id" and "type".
 * @throw YAML::Exception on a missing or ill-typed key
 */
std::shared_ptr<Base> CircleListFactory(const YAML::Node & zone, const MapMeta & meta);

/**
 * @brief A block from one zone element: "rectangle" (pixel "x" and "y" of each corner, in
 * outline order; no corners when absent), "id" and "type". Corners have radius 0.
 * @throw YAML::Exception on a missing or ill-typed key
 */
std::shared_ptr<Base> BlockFactory(const YAML::Node & zone, const MapMeta & meta);

}  // namespace trasque

#endif  // TRASQUE__TRASQUE_HPP_
