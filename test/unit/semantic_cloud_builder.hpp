// Builds SemanticCloud elements with float x, y, z fields, for the observation buffer's tests,
// fuzz target and benchmark.
#ifndef SEMANTIC_CLOUD_BUILDER_HPP_
#define SEMANTIC_CLOUD_BUILDER_HPP_

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "brindlex_protocol/msg/semantic_cloud.hpp"
#include "sensor_msgs/msg/point_field.hpp"

namespace velnor_test {

using Point3 = std::array<float, 3>;

inline sensor_msgs::msg::PointField floatField(const std::string & name, uint32_t offset)
{
  sensor_msgs::msg::PointField field;
  field.name = name;
  field.offset = offset;
  field.datatype = sensor_msgs::msg::PointField::FLOAT32;
  field.count = 1;
  return field;
}

/**
 * An element of @p height x (points / height) points laid out as x, y, z, then 4 bytes of padding
 * (point_step 16, as a PCL PointXYZ cloud).
 */
inline brindlex_protocol::msg::SemanticCloud makeElement(
    int32_t semantic_id, const std::vector<Point3> & points, bool flag = false, uint32_t height = 1)
{
  brindlex_protocol::msg::SemanticCloud element;
  element.semantic_id = semantic_id;
  element.flag = flag;
  auto & cloud = element.points;
  cloud.fields = {floatField("x", 0), floatField("y", 4), floatField("z", 8)};
  cloud.point_step = 16;
  cloud.height = points.empty() ? 0 : height;
  cloud.width = points.empty() ? 0 : static_cast<uint32_t>(points.size() / height);
  cloud.row_step = cloud.width * cloud.point_step;
  cloud.data.assign(points.size() * cloud.point_step, 0);
  for (size_t i = 0; i < points.size(); ++i) {
    std::memcpy(cloud.data.data() + i * cloud.point_step, points[i].data(), 3 * sizeof(float));
  }
  return element;
}

}  // namespace velnor_test

#endif  // SEMANTIC_CLOUD_BUILDER_HPP_
