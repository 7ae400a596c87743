#ifndef NAV2_MAP_SERVER__MAP_MODE_HPP_
#define NAV2_MAP_SERVER__MAP_MODE_HPP_

#include <string>

namespace nav2_map_server {

/// How image lightness maps to occupancy.
enum class MapMode
{
  /// Above the occupied threshold: occupied; below the free threshold: free; else unknown.
  Trinary,
  /// As Trinary, but values between the thresholds are scaled to 0..100 and transparent
  /// pixels are unknown.
  Scale,
  /// Lightness 0..100 is the occupancy itself; anything above is unknown.
  Raw,
};

/// "trinary", "scale" or "raw". Throws std::invalid_argument for any other value.
const char * map_mode_to_string(MapMode map_mode);

/// Case-insensitive inverse of map_mode_to_string. Throws
/// std::invalid_argument("map_mode_name") for an unknown name.
MapMode map_mode_from_string(std::string map_mode_name);

}  // namespace nav2_map_server

#endif  // NAV2_MAP_SERVER__MAP_MODE_HPP_
