#ifndef VELNOR_TEST_HELPERS_HPP_
#define VELNOR_TEST_HELPERS_HPP_

#include <spdlog/sinks/base_sink.h>

#include <Eigen/Geometry>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "geometry_msgs/msg/transform_stamped.hpp"
#include "sensor_msgs/msg/camera_info.hpp"
#include "util/util.hpp"

/// The spdlog logger of the logger object shared by the libraries (see velnor_log_access.cpp).
std::shared_ptr<spdlog::logger> velnorLibraryLogger();

namespace velnor_test {

/// Records every message of the process logger; installed once, never removed.
class LogCapture
{
public:
  struct Record
  {
    spdlog::level::level_enum level;
    std::string text;
  };

  static LogCapture & instance()
  {
    static LogCapture capture;
    return capture;
  }

  void clear()
  {
    std::lock_guard<std::mutex> lock(sink_->mutex_);
    sink_->records.clear();
  }

  /// Records at @p level whose text ends with @p text (the "NNN [LEVEL] " prefix is skipped).
  size_t count(spdlog::level::level_enum level, const std::string & text) const
  {
    std::lock_guard<std::mutex> lock(sink_->mutex_);
    return static_cast<size_t>(
        std::count_if(sink_->records.begin(), sink_->records.end(), [&](const Record & r) {
          return r.level == level && r.text.size() >= text.size() &&
                 r.text.compare(r.text.size() - text.size(), text.size(), text) == 0;
        }));
  }

  /// Records at @p level whose text contains @p text.
  size_t countContaining(spdlog::level::level_enum level, const std::string & text) const
  {
    std::lock_guard<std::mutex> lock(sink_->mutex_);
    return static_cast<size_t>(
        std::count_if(sink_->records.begin(), sink_->records.end(), [&](const Record & r) {
          return r.level == level && r.text.find(text) != std::string::npos;
        }));
  }

  size_t total() const
  {
    std::lock_guard<std::mutex> lock(sink_->mutex_);
    return sink_->records.size();
  }

private:
  class Sink : public spdlog::sinks::base_sink<std::mutex>
  {
  public:
    using spdlog::sinks::base_sink<std::mutex>::mutex_;
    std::vector<Record> records;

  protected:
    void sink_it_(const spdlog::details::log_msg & msg) override
    {
      records.push_back({msg.level, std::string(msg.payload.data(), msg.payload.size())});
    }
    void flush_() override {}
  };

  LogCapture() : sink_(std::make_shared<Sink>())
  {
    auto logger = velnorLibraryLogger();
    if (logger) {
      logger->sinks().push_back(sink_);
    }
  }

  std::shared_ptr<Sink> sink_;
};

constexpr double kFx = 525.0;
constexpr double kFy = 525.0;
constexpr double kCx = 319.5;
constexpr double kCy = 239.5;

inline sensor_msgs::msg::CameraInfo makeCameraInfo(uint32_t width = 640, uint32_t height = 480)
{
  sensor_msgs::msg::CameraInfo info;
  info.header.frame_id = "camera_optical";
  info.width = width;
  info.height = height;
  info.p = {kFx, 0.0, kCx, 0.0, 0.0, kFy, kCy, 0.0, 0.0, 0.0, 1.0, 0.0};
  return info;
}

/// A camera at (x, y, height) looking horizontally along the bearing yaw.
struct CameraPose
{
  double x;
  double y;
  double height;
  double yaw;

  Eigen::Vector3d forward() const { return {std::cos(yaw), std::sin(yaw), 0.0}; }
  Eigen::Vector3d right() const { return {std::sin(yaw), -std::cos(yaw), 0.0}; }

  /// An optical-frame point (x right, y down, z along the view) in the global frame.
  Eigen::Vector3d toGlobal(double qx, double qy, double qz) const
  {
    return Eigen::Vector3d(x, y, height) + qz * forward() + qx * right() +
           qy * Eigen::Vector3d(0.0, 0.0, -1.0);
  }

  /// The global point at absolute bearing b, horizontal distance d and height z.
  Eigen::Vector3d polar(double b, double d, double z) const
  {
    return {x + d * std::cos(b), y + d * std::sin(b), z};
  }

  geometry_msgs::msg::TransformStamped transform(int32_t sec = 0, uint32_t nanosec = 0) const
  {
    Eigen::Matrix3d r;
    r.col(0) = right();
    r.col(1) = Eigen::Vector3d(0.0, 0.0, -1.0);
    r.col(2) = forward();
    const Eigen::Quaterniond q(r);
    geometry_msgs::msg::TransformStamped t;
    t.header.frame_id = "map";
    t.header.stamp.sec = sec;
    t.header.stamp.nanosec = nanosec;
    t.child_frame_id = "camera_optical";
    t.transform.translation.x = x;
    t.transform.translation.y = y;
    t.transform.translation.z = height;
    t.transform.rotation.x = q.x();
    t.transform.rotation.y = q.y();
    t.transform.rotation.z = q.z();
    t.transform.rotation.w = q.w();
    return t;
  }
};

/// Polls @p condition every 5 ms until it holds or @p deadline passes. Returns its last answer, so a
/// missed event fails the test instead of hanging it.
inline bool waitUntil(
    const std::function<bool()> & condition,
    std::chrono::steady_clock::duration deadline = std::chrono::seconds(10))
{
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) {
      return condition();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace velnor_test

#endif  // VELNOR_TEST_HELPERS_HPP_
