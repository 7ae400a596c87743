#include "tf2_ros/static_transform_broadcaster.h"

#include <vector>

namespace tf2_ros {

void StaticTransformBroadcaster::sendTransform(const geometry_msgs::msg::TransformStamped & msgtf)
{
  std::vector<geometry_msgs::msg::TransformStamped> v1;
  v1.push_back(msgtf);
  sendTransform(v1);
}

void StaticTransformBroadcaster::sendTransform(
    const std::vector<geometry_msgs::msg::TransformStamped> & msgtf)
{
  for (const auto & input : msgtf) {
    bool match_found = false;
    for (auto & stored : net_message_.transforms) {
      if (input.child_frame_id == stored.child_frame_id) {
        stored = input;
        match_found = true;
        break;
      }
    }
    if (!match_found) {
      net_message_.transforms.push_back(input);
    }
  }
  publisher_->publish(net_message_);
}

}  // namespace tf2_ros
