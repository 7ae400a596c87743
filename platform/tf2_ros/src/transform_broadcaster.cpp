#include "tf2_ros/transform_broadcaster.h"

#include <vector>

namespace tf2_ros {

void TransformBroadcaster::sendTransform(const geometry_msgs::msg::TransformStamped & msgtf)
{
  std::vector<geometry_msgs::msg::TransformStamped> v1;
  v1.push_back(msgtf);
  sendTransform(v1);
}

void TransformBroadcaster::sendTransform(
    const std::vector<geometry_msgs::msg::TransformStamped> & msgtf)
{
  tf2_msgs::msg::TFMessage message;
  for (const auto & it : msgtf) {
    message.transforms.push_back(it);
  }
  publisher_->publish(message);
}

}  // namespace tf2_ros
