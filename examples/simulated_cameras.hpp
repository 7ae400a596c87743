// The demo robot's depth cameras as a driver and a perception node would present them: static
// transforms base_link -> <camera>_link -> <camera>_optical_frame, CameraInfo on
// /<camera>/camera_info and SemanticPointCloud on /<camera>/semantic_points.
#ifndef EXAMPLES__SIMULATED_CAMERAS_HPP_
#define EXAMPLES__SIMULATED_CAMERAS_HPP_

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "brindlex_protocol/msg/semantic_point_cloud.hpp"
#include "demo_world.hpp"
#include "geometry_msgs/msg/transform_stamped.hpp"
#include "rclcpp/rclcpp.hpp"
#include "sensor_msgs/msg/camera_info.hpp"
#include "tf2_ros/static_transform_broadcaster.h"

namespace demo
{

/// @p pose (child -> parent) as a transform message from @p parent to @p child, stamped @p stamp.
geometry_msgs::msg::TransformStamped toTransform(
  const Eigen::Isometry3d & pose, const rclcpp::Time & stamp, const std::string & parent,
  const std::string & child);

/**
 * @brief Renders and publishes each camera on its own thread at a fixed rate.
 *
 * A frame is stamped with the time it shows: the script's robot pose at that stamp is where it was
 * ray-cast from, so the server's transform lookup at the stamp finds the pose the frame was taken
 * at, provided the robot's TF follows the same script. The threads stop and join in the
 * destructor.
 */
class SimulatedCameras
{
public:
  /// The world's script: seconds of world time at a stamp, and the robot (odom frame) at a time.
  struct Script
  {
    std::function<double(const rclcpp::Time &)> world_time;
    std::function<Pose2D(double)> robot_pose;
  };

  /**
   * @param node publishes the messages and the static transforms
   * @param start the stamp at which the world's script starts (world time = stamp - start)
   * @param rate frames per second of every camera
   */
  SimulatedCameras(
    rclcpp::Node::SharedPtr node, std::shared_ptr<const DemoWorld> world,
    std::vector<CameraModel> cameras, rclcpp::Time start, double rate);

  /// As above with a script of the caller's (tests: a robot standing still, time jumps).
  SimulatedCameras(
    rclcpp::Node::SharedPtr node, std::shared_ptr<const DemoWorld> world,
    std::vector<CameraModel> cameras, Script script, double rate);
  ~SimulatedCameras();

  SimulatedCameras(const SimulatedCameras &) = delete;
  SimulatedCameras & operator=(const SimulatedCameras &) = delete;

  /// The topics of @p camera.
  static std::string cloudTopic(const CameraModel & camera);
  static std::string cameraInfoTopic(const CameraModel & camera);

  /// Frames published so far, all cameras together.
  uint64_t framesPublished() const {return frames.load();}

private:
  void run(std::size_t index);

  rclcpp::Node::SharedPtr node;
  std::shared_ptr<const DemoWorld> world;
  std::vector<CameraModel> cameras;
  Script script;
  double rate;
  tf2_ros::StaticTransformBroadcaster static_broadcaster;
  std::vector<rclcpp::Publisher<brindlex_protocol::msg::SemanticPointCloud>::SharedPtr>
  cloud_publishers;
  std::vector<rclcpp::Publisher<sensor_msgs::msg::CameraInfo>::SharedPtr> info_publishers;
  std::mutex mutex;
  std::condition_variable wake;
  bool stop{false};
  std::atomic<uint64_t> frames{0};
  std::vector<std::thread> threads;
};

}  // namespace demo

#endif  // EXAMPLES__SIMULATED_CAMERAS_HPP_
