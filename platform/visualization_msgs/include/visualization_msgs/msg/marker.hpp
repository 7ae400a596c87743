#ifndef VISUALIZATION_MSGS__MSG__MARKER_HPP_
#define VISUALIZATION_MSGS__MSG__MARKER_HPP_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "builtin_interfaces/msg/duration.hpp"
#include "geometry_msgs/msg/point.hpp"
#include "geometry_msgs/msg/pose.hpp"
#include "geometry_msgs/msg/vector3.hpp"
#include "rosidl_runtime_cpp/traits.hpp"
#include "sensor_msgs/msg/compressed_image.hpp"
#include "std_msgs/msg/color_rgba.hpp"
#include "std_msgs/msg/header.hpp"
#include "visualization_msgs/msg/mesh_file.hpp"
#include "visualization_msgs/msg/uv_coordinate.hpp"

namespace visualization_msgs {
namespace msg {

struct Marker
{
  ROSIDL_STANDIN_POINTER_ALIASES(Marker)

  static constexpr int32_t ARROW = 0;
  static constexpr int32_t CUBE = 1;
  static constexpr int32_t SPHERE = 2;
  static constexpr int32_t CYLINDER = 3;
  static constexpr int32_t LINE_STRIP = 4;
  static constexpr int32_t LINE_LIST = 5;
  static constexpr int32_t CUBE_LIST = 6;
  static constexpr int32_t SPHERE_LIST = 7;
  static constexpr int32_t POINTS = 8;
  static constexpr int32_t TEXT_VIEW_FACING = 9;
  static constexpr int32_t MESH_RESOURCE = 10;
  static constexpr int32_t TRIANGLE_LIST = 11;
  static constexpr int32_t ADD = 0;
  static constexpr int32_t MODIFY = 0;
  static constexpr int32_t DELETE = 2;
  static constexpr int32_t DELETEALL = 3;

  std_msgs::msg::Header header;
  std::string ns;
  int32_t id = 0;
  int32_t type = 0;
  int32_t action = 0;
  geometry_msgs::msg::Pose pose;
  geometry_msgs::msg::Vector3 scale;
  std_msgs::msg::ColorRGBA color;
  builtin_interfaces::msg::Duration lifetime;
  bool frame_locked = false;
  std::vector<geometry_msgs::msg::Point> points;
  std::vector<std_msgs::msg::ColorRGBA> colors;
  std::string texture_resource;
  sensor_msgs::msg::CompressedImage texture;
  std::vector<visualization_msgs::msg::UVCoordinate> uv_coordinates;
  std::string text;
  std::string mesh_resource;
  visualization_msgs::msg::MeshFile mesh_file;
  bool mesh_use_embedded_materials = false;

  bool operator==(const Marker & other) const
  {
    return header == other.header && ns == other.ns && id == other.id && type == other.type &&
           action == other.action && pose == other.pose && scale == other.scale &&
           color == other.color && lifetime == other.lifetime &&
           frame_locked == other.frame_locked && points == other.points && colors == other.colors &&
           texture_resource == other.texture_resource && texture == other.texture &&
           uv_coordinates == other.uv_coordinates && text == other.text &&
           mesh_resource == other.mesh_resource && mesh_file == other.mesh_file &&
           mesh_use_embedded_materials == other.mesh_use_embedded_materials;
  }
  bool operator!=(const Marker & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace visualization_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(visualization_msgs::msg::Marker, "visualization_msgs/msg/Marker")

#endif  // VISUALIZATION_MSGS__MSG__MARKER_HPP_
