#include "tf2_ros/transform_listener.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "tf2/exceptions.h"

namespace tf2_ros {

TransformListener::TransformListener(tf2::BufferCore & buffer, bool spin_thread) : buffer_(buffer)
{
  rclcpp::NodeOptions options;
  // A unique name; given as a remap so that a __node remap of the command line does not rename
  // it.
  char node_name[42];
  std::snprintf(
      node_name, sizeof(node_name), "transform_listener_impl_%zx", reinterpret_cast<size_t>(this));
  options.arguments({"--ros-args", "-r", "__node:=" + std::string(node_name)});
  options.start_parameter_event_publisher(false);
  options.start_parameter_services(false);
  optional_default_node_ = rclcpp::Node::make_shared("_", options);
  init(
      optional_default_node_->get_node_base_interface(),
      optional_default_node_->get_node_logging_interface(),
      optional_default_node_->get_node_parameters_interface(),
      optional_default_node_->get_node_topics_interface(),
      spin_thread,
      DynamicListenerQoS(),
      StaticListenerQoS(),
      detail::get_default_transform_listener_sub_options(),
      detail::get_default_transform_listener_static_sub_options());
}

void TransformListener::startThread()
{
  auto finished = std::make_shared<std::promise<void>>();
  thread_finished_ = finished->get_future();
  auto executor = executor_;
  dedicated_listener_thread_ = std::make_unique<std::thread>([executor, finished]() {
    executor->spin();
    finished->set_value();
  });
}

TransformListener::~TransformListener()
{
  if (spin_thread_) {
    // A cancel that lands before the thread has started spinning is lost; repeat until the
    // thread has left its spin.
    do {
      executor_->cancel();
    } while (thread_finished_.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready);
    dedicated_listener_thread_->join();
  }
}

void TransformListener::subscription_callback(
    tf2_msgs::msg::TFMessage::ConstSharedPtr msg, bool is_static)
{
  const tf2_msgs::msg::TFMessage & msg_in = *msg;
  // The sender is not known in ROS 2.
  std::string authority = "Authority undetectable";
  for (size_t i = 0u; i < msg_in.transforms.size(); i++) {
    try {
      buffer_.setTransform(msg_in.transforms[i], authority, is_static);
    } catch (const tf2::TransformException & ex) {
      std::string temp = ex.what();
      RCLCPP_ERROR(
          node_logging_interface_->get_logger(),
          "Failure to set received transform from %s to %s with error: %s\n",
          msg_in.transforms[i].child_frame_id.c_str(),
          msg_in.transforms[i].header.frame_id.c_str(),
          temp.c_str());
    }
  }
}

}  // namespace tf2_ros
