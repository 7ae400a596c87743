// Reading of map metadata YAML files (the image itself is opened by the caller).
#ifndef NAV2_MAP_SERVER__MAP_IO_HPP_
#define NAV2_MAP_SERVER__MAP_IO_HPP_

#include <string>
#include <vector>

#include "nav2_map_server/map_mode.hpp"
#include "nav_msgs/msg/occupancy_grid.hpp"

namespace nav2_map_server {

/// Contents of a map YAML file.
struct LoadParameters
{
  std::string image_file_name;
  double resolution{0};
  std::vector<double> origin{0, 0, 0};
  double free_thresh;
  double occupied_thresh;
  MapMode mode;
  bool negate;
};

typedef enum
{
  LOAD_MAP_SUCCESS,
  MAP_DOES_NOT_EXIST,
  INVALID_MAP_METADATA,
  INVALID_MAP_DATA
} LOAD_MAP_STATUS;

/// Reads a map YAML file. Required keys: image (a relative path is taken relative to the YAML
/// file's directory), resolution, origin (exactly 3 values), free_thresh, occupied_thresh and
/// negate (an int, or else a bool). mode is optional and defaults to trinary.
/// @throw YAML::Exception for a missing, empty or malformed key or an unreadable file;
///        std::invalid_argument for an unknown mode.
LoadParameters loadMapYaml(const std::string & yaml_filename);

/// Replaces a leading "~/" by home_dir + "/". Returns the name unchanged when it does not start
/// with "~/" or home_dir is empty.
std::string expand_user_home_dir_if_needed(std::string yaml_filename, std::string home_dir);

}  // namespace nav2_map_server

#endif  // NAV2_MAP_SERVER__MAP_IO_HPP_
