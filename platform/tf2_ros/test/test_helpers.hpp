// Helpers shared by the tf2_ros tests.
#ifndef TF2_ROS__TEST__TEST_HELPERS_HPP_
#define TF2_ROS__TEST__TEST_HELPERS_HPP_

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "geometry_msgs/msg/transform_stamped.hpp"
#include "rclcpp/rclcpp.hpp"
#include "tf2/LinearMath/Quaternion.h"
#include "tf2/time.h"

namespace tf2_ros_test {

inline geometry_msgs::msg::TransformStamped makeTransform(
    const std::string & parent,
    const std::string & child,
    double stamp_sec,
    double x,
    double y = 0.0,
    double yaw = 0.0)
{
  geometry_msgs::msg::TransformStamped t;
  const auto ns = tf2::timeFromSec(stamp_sec).time_since_epoch().count();
  t.header.stamp.sec = static_cast<int32_t>(ns / 1000000000);
  t.header.stamp.nanosec = static_cast<uint32_t>(ns % 1000000000);
  t.header.frame_id = parent;
  t.child_frame_id = child;
  t.transform.translation.x = x;
  t.transform.translation.y = y;
  tf2::Quaternion q;
  q.setRPY(0, 0, yaw);
  t.transform.rotation.x = q.x();
  t.transform.rotation.y = q.y();
  t.transform.rotation.z = q.z();
  t.transform.rotation.w = q.w();
  return t;
}

/// Polls `condition` every 5 ms for up to `deadline`; true once it holds.
inline bool waitFor(
    const std::function<bool()> & condition,
    std::chrono::milliseconds deadline = std::chrono::milliseconds(10000))
{
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return condition();
}

/// An executor spinning on a thread this object owns; the destructor stops and joins it.
class SpinThread
{
public:
  explicit SpinThread(rclcpp::Executor::SharedPtr executor) : executor_(std::move(executor))
  {
    auto finished = std::make_shared<std::promise<void>>();
    finished_ = finished->get_future();
    auto started = std::make_shared<std::promise<std::thread::id>>();
    auto started_future = started->get_future();
    auto executor_copy = executor_;
    thread_ = std::thread([executor_copy, finished, started]() {
      started->set_value(std::this_thread::get_id());
      executor_copy->spin();
      finished->set_value();
    });
    id_ = started_future.get();
  }

  ~SpinThread()
  {
    // A cancel before the spin has started is lost: repeat until the thread is done.
    do {
      executor_->cancel();
    } while (finished_.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready);
    thread_.join();
  }

  std::thread::id id() const { return id_; }

private:
  rclcpp::Executor::SharedPtr executor_;
  std::thread thread_;
  std::future<void> finished_;
  std::thread::id id_;
};

}  // namespace tf2_ros_test

#endif  // TF2_ROS__TEST__TEST_HELPERS_HPP_
