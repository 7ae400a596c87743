// The demo's scripted room and a pinhole depth camera that ray-casts it. Demo code only: the server
// never sees these types, only the CameraInfo and SemanticPointCloud messages made from them.
#ifndef EXAMPLES__DEMO_WORLD_HPP_
#define EXAMPLES__DEMO_WORLD_HPP_

#include <Eigen/Geometry>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "brindlex_protocol/msg/semantic_point_cloud.hpp"
#include "sensor_msgs/msg/camera_info.hpp"

namespace demo
{

/// Perception class codes the simulated cameras label their points with.
enum ClassCode : int32_t
{
  kWall = 2,      ///< static obstacle
  kStain = 103,   ///< stubborn stain
  kCarpet = 105,  ///< carpet
  kFloor = 100,   ///< bare floor: points without a flag
  kTable = 200,   ///< static obstacle
  kChair = 201,   ///< chair
  kPerson = 300,  ///< person
};

/// An axis-aligned box in the map frame, metres.
struct Box
{
  Eigen::Vector3d min;
  Eigen::Vector3d max;
  int32_t code;
};

/// An upright cylinder standing on the floor, map frame, metres.
struct Cylinder
{
  double x;
  double y;
  double radius;
  double height;
  int32_t code;
};

/// What a ray met: its class code and the distance along the ray (ray parameter).
struct Hit
{
  int32_t code;
  double distance;
};

/**
 * @brief A room of 9 m x 7 m (map frame x -3.5 .. 5.5, y -3.5 .. 3.5) with walls, a table, a chair,
 * a carpet, a stubborn stain and a person who walks across it once and leaves.
 *
 * Thread-safe: the world is immutable; time is an argument.
 */
class DemoWorld
{
public:
  /// The room of the demo.
  DemoWorld();

  /// Seconds after the start at which the person enters and leaves the room.
  static constexpr double kPersonEnters = 4.0;
  static constexpr double kPersonLeaves = 16.0;

  /// The person at @p time seconds after the start, or nothing while they are out of the room.
  std::optional<Cylinder> personAt(double time) const;

  /**
   * @brief The first surface that the ray @p origin + s * @p direction meets for 0 < s <= @p
   * max_distance at @p time; floor patches (carpet, stain) win over the bare floor they lie on.
   */
  std::optional<Hit> castRay(
    const Eigen::Vector3d & origin, const Eigen::Vector3d & direction, double max_distance,
    double time) const;

  std::vector<Box> boxes;
  /// Flat patches on the floor (z = 0): x/y extent of min and max, the code; z is ignored.
  std::vector<Box> floor_patches;
};

/// Intrinsics, range and mounting of one simulated depth camera.
struct CameraModel
{
  std::string name;          ///< "front_camera": frames name + "_link", name + "_optical_frame"
  uint32_t width{320};       ///< pixels
  uint32_t height{240};      ///< pixels
  double horizontal_fov{1.52};  ///< rad (about 87 degrees)
  double min_range{0.1};     ///< m along the optical axis
  double max_range{4.0};     ///< m along the optical axis
  Eigen::Isometry3d base_to_link{Eigen::Isometry3d::Identity()};  ///< base_link -> <name>_link

  double fx() const;
  double fy() const {return fx();}
  double cx() const {return width / 2.0;}
  double cy() const {return height / 2.0;}
  std::string linkFrame() const {return name + "_link";}
  std::string opticalFrame() const {return name + "_optical_frame";}
  /// <name>_link (x forward, z up) -> <name>_optical_frame (z forward, x right, y down).
  static Eigen::Isometry3d linkToOptical();
};

/// The CameraInfo a driver of @p camera publishes (plumb bob, no distortion, frame: optical).
sensor_msgs::msg::CameraInfo makeCameraInfo(const CameraModel & camera);

/**
 * @brief Ray-casts one frame: every pixel that meets the world within the camera's range gives one
 * point in the optical frame, grouped by class code in order of first appearance. Depth carries
 * a deterministic noise of at most 1.5 mm, as a real sensor's does, seeded by @p frame_number.
 * The header is left to the caller; the polygon is the view's outline at the camera's two ranges.
 * @param optical_pose the optical frame in the map frame (optical coordinates -> map coordinates)
 */
brindlex_protocol::msg::SemanticPointCloud renderCloud(
  const DemoWorld & world, const CameraModel & camera, const Eigen::Isometry3d & optical_pose,
  double time, uint64_t frame_number);

/// A planar pose: metres and radians.
struct Pose2D
{
  double x;
  double y;
  double yaw;
};

/// Where odom lies in the map frame.
constexpr Pose2D kOdomInMap{1.0, 0.0, 0.0};

/// The robot's script: base_link in the odom frame @p time seconds after the start. It drives a
/// circle of 2 m radius around the odom origin, counter-clockwise, once every 40 s.
Pose2D robotPoseAt(double time);

/// The planar pose as a 3-D transform.
Eigen::Isometry3d toIsometry(const Pose2D & pose);

/// The two depth cameras of the demo robot at @p width x @p height pixels: "front_camera" looks
/// ahead and "left_camera" to the left (the inside of the loop), both tilted down.
std::vector<CameraModel> demoCameras(uint32_t width, uint32_t height);

}  // namespace demo

#endif  // EXAMPLES__DEMO_WORLD_HPP_
