#include "simulated_cameras.hpp"

#include <chrono>
#include <utility>

#include "geometry_msgs/msg/transform_stamped.hpp"

namespace demo
{

geometry_msgs::msg::TransformStamped toTransform(
  const Eigen::Isometry3d & pose, const rclcpp::Time & stamp, const std::string & parent,
  const std::string & child)
{
  geometry_msgs::msg::TransformStamped transform;
  transform.header.stamp = stamp;
  transform.header.frame_id = parent;
  transform.child_frame_id = child;
  transform.transform.translation.x = pose.translation().x();
  transform.transform.translation.y = pose.translation().y();
  transform.transform.translation.z = pose.translation().z();
  const Eigen::Quaterniond rotation(pose.linear());
  transform.transform.rotation.x = rotation.x();
  transform.transform.rotation.y = rotation.y();
  transform.transform.rotation.z = rotation.z();
  transform.transform.rotation.w = rotation.w();
  return transform;
}

SimulatedCameras::SimulatedCameras(
  rclcpp::Node::SharedPtr node_in, std::shared_ptr<const DemoWorld> world_in,
  std::vector<CameraModel> cameras_in, rclcpp::Time start, double rate_in)
: SimulatedCameras(
    std::move(node_in), std::move(world_in), std::move(cameras_in),
    Script{[start](const rclcpp::Time & stamp) {return (stamp - start).seconds();}, robotPoseAt},
    rate_in)
{
}

SimulatedCameras::SimulatedCameras(
  rclcpp::Node::SharedPtr node_in, std::shared_ptr<const DemoWorld> world_in,
  std::vector<CameraModel> cameras_in, Script script_in, double rate_in)
: node(std::move(node_in)), world(std::move(world_in)), cameras(std::move(cameras_in)),
  script(std::move(script_in)), rate(rate_in), static_broadcaster(node)
{
  std::vector<geometry_msgs::msg::TransformStamped> mounts;
  const rclcpp::Time now = node->now();
  for (const auto & camera : cameras) {
    mounts.push_back(toTransform(camera.base_to_link, now, "base_link", camera.linkFrame()));
    mounts.push_back(
      toTransform(
        CameraModel::linkToOptical(), now, camera.linkFrame(), camera.opticalFrame()));
    cloud_publishers.push_back(
      node->create_publisher<brindlex_protocol::msg::SemanticPointCloud>(
        cloudTopic(camera), rclcpp::SensorDataQoS()));
    info_publishers.push_back(
      node->create_publisher<sensor_msgs::msg::CameraInfo>(
        cameraInfoTopic(camera), rclcpp::SystemDefaultsQoS()));
  }
  static_broadcaster.sendTransform(mounts);
  for (std::size_t index = 0; index < cameras.size(); ++index) {
    threads.emplace_back([this, index]() {run(index);});
  }
}

SimulatedCameras::~SimulatedCameras()
{
  {
    std::lock_guard<std::mutex> lock(mutex);
    stop = true;
  }
  wake.notify_all();
  for (auto & thread : threads) {
    thread.join();
  }
}

std::string SimulatedCameras::cloudTopic(const CameraModel & camera)
{
  return "/" + camera.name + "/semantic_points";
}

std::string SimulatedCameras::cameraInfoTopic(const CameraModel & camera)
{
  return "/" + camera.name + "/camera_info";
}

void SimulatedCameras::run(std::size_t index)
{
  const CameraModel & camera = cameras[index];
  const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
    std::chrono::duration<double>(1.0 / rate));
  const sensor_msgs::msg::CameraInfo info = makeCameraInfo(camera);
  const Eigen::Isometry3d base_to_optical = camera.base_to_link * CameraModel::linkToOptical();
  const Eigen::Isometry3d odom_in_map = toIsometry(kOdomInMap);
  auto next = std::chrono::steady_clock::now();
  for (uint64_t frame = 0;; ++frame) {
    {
      std::unique_lock<std::mutex> lock(mutex);
      if (wake.wait_until(lock, next, [this]() {return stop;})) {
        return;
      }
    }
    next += period;
    const rclcpp::Time stamp = node->now();
    const double time = script.world_time(stamp);
    const Eigen::Isometry3d optical_pose =
      odom_in_map * toIsometry(script.robot_pose(time)) * base_to_optical;
    auto cloud = renderCloud(*world, camera, optical_pose, time, frame);
    cloud.header.stamp = stamp;
    cloud.header.frame_id = camera.opticalFrame();
    auto camera_info = info;
    camera_info.header.stamp = stamp;
    info_publishers[index]->publish(camera_info);
    cloud_publishers[index]->publish(std::move(cloud));
    ++frames;
    // A frame that took longer than its period is not made up for.
    next = std::max(next, std::chrono::steady_clock::now());
  }
}

}  // namespace demo
