#ifndef VISUALIZATION_MSGS__MSG__MESH_FILE_HPP_
#define VISUALIZATION_MSGS__MSG__MESH_FILE_HPP_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "rosidl_runtime_cpp/traits.hpp"

namespace visualization_msgs {
namespace msg {

struct MeshFile
{
  ROSIDL_STANDIN_POINTER_ALIASES(MeshFile)

  std::string filename;
  std::vector<uint8_t> data;

  bool operator==(const MeshFile & other) const
  {
    return filename == other.filename && data == other.data;
  }
  bool operator!=(const MeshFile & other) const { return !(*this == other); }
};

}  // namespace msg
}  // namespace visualization_msgs

ROSIDL_STANDIN_MESSAGE_TRAITS(visualization_msgs::msg::MeshFile, "visualization_msgs/msg/MeshFile")

#endif  // VISUALIZATION_MSGS__MSG__MESH_FILE_HPP_
