#ifndef TRASQUE__MAP_META_HPP_
#define TRASQUE__MAP_META_HPP_

#include <cstdint>

namespace trasque {

/// Geometry of a stored room map, as the loader reads it from the map meta file and image.
struct MapMeta
{
  uint32_t width{0};       ///< map image width, pixels
  uint32_t height{0};      ///< map image height, pixels
  double resolution{0.0};  ///< metres per pixel
  double origin_x{0.0};    ///< world x of the image's lower-left corner, metres
  double origin_y{0.0};    ///< world y of the image's lower-left corner, metres
};

}  // namespace trasque

#endif  // TRASQUE__MAP_META_HPP_
