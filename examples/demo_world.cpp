#include "demo_world.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

#include "sensor_msgs/point_cloud2_iterator.hpp"

namespace demo
{

namespace
{

constexpr double kEpsilon = 1e-9;

Box box(double x0, double y0, double z0, double x1, double y1, double z1, int32_t code)
{
  return Box{Eigen::Vector3d(x0, y0, z0), Eigen::Vector3d(x1, y1, z1), code};
}

// Entry distance of the ray into the box (slab method), when it enters within (0, limit].
std::optional<double> intersect(
  const Box & box, const Eigen::Vector3d & origin, const Eigen::Vector3d & direction, double limit)
{
  double enter = 0.0;
  double leave = limit;
  for (int axis = 0; axis < 3; ++axis) {
    if (std::abs(direction[axis]) < kEpsilon) {
      if (origin[axis] < box.min[axis] || origin[axis] > box.max[axis]) {
        return std::nullopt;
      }
      continue;
    }
    double near = (box.min[axis] - origin[axis]) / direction[axis];
    double far = (box.max[axis] - origin[axis]) / direction[axis];
    if (near > far) {
      std::swap(near, far);
    }
    enter = std::max(enter, near);
    leave = std::min(leave, far);
    if (enter > leave) {
      return std::nullopt;
    }
  }
  // A camera inside a box sees nothing of it.
  return enter > kEpsilon ? std::optional<double>(enter) : std::nullopt;
}

// Entry distance of the ray into the cylinder's side, when it enters within (0, limit].
std::optional<double> intersect(
  const Cylinder & cylinder, const Eigen::Vector3d & origin, const Eigen::Vector3d & direction,
  double limit)
{
  const double ox = origin.x() - cylinder.x;
  const double oy = origin.y() - cylinder.y;
  const double a = direction.x() * direction.x() + direction.y() * direction.y();
  if (a < kEpsilon) {
    return std::nullopt;
  }
  const double b = 2.0 * (ox * direction.x() + oy * direction.y());
  const double c = ox * ox + oy * oy - cylinder.radius * cylinder.radius;
  const double discriminant = b * b - 4.0 * a * c;
  if (discriminant < 0.0) {
    return std::nullopt;
  }
  const double s = (-b - std::sqrt(discriminant)) / (2.0 * a);
  if (s <= kEpsilon || s > limit) {
    return std::nullopt;
  }
  const double z = origin.z() + s * direction.z();
  if (z < 0.0 || z > cylinder.height) {
    return std::nullopt;
  }
  return s;
}

// A depth error in [-1.5, 1.5] mm that depends only on pixel and frame.
double depthNoise(uint32_t u, uint32_t v, uint64_t frame)
{
  uint64_t h = (static_cast<uint64_t>(u) << 40) ^ (static_cast<uint64_t>(v) << 20) ^ frame;
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ULL;
  h ^= h >> 33;
  return (static_cast<double>(h % 3001) - 1500.0) * 1e-6;
}

void fillPoints(sensor_msgs::msg::PointCloud2 & cloud, const std::vector<Eigen::Vector3f> & points)
{
  sensor_msgs::PointCloud2Modifier modifier(cloud);
  modifier.setPointCloud2FieldsByString(1, "xyz");
  modifier.resize(points.size());
  sensor_msgs::PointCloud2Iterator<float> x(cloud, "x");
  sensor_msgs::PointCloud2Iterator<float> y(cloud, "y");
  sensor_msgs::PointCloud2Iterator<float> z(cloud, "z");
  for (const auto & point : points) {
    *x = point.x();
    *y = point.y();
    *z = point.z();
    ++x;
    ++y;
    ++z;
  }
}

}  // namespace

DemoWorld::DemoWorld()
{
  boxes = {
    box(-3.6, -3.6, 0.0, 5.6, -3.5, 2.5, kWall),   // south wall
    box(-3.6, 3.5, 0.0, 5.6, 3.6, 2.5, kWall),     // north wall
    box(-3.6, -3.5, 0.0, -3.5, 3.5, 2.5, kWall),   // west wall
    box(5.5, -3.5, 0.0, 5.6, 3.5, 2.5, kWall),     // east wall
    box(0.5, -0.3, 0.0, 1.5, 0.3, 0.75, kTable),   // the table in the middle of the robot's loop
    box(0.8, 0.45, 0.0, 1.25, 0.9, 0.9, kChair),   // a chair north of it
  };
  floor_patches = {
    box(-0.6, 0.5, 0.0, 0.4, 1.4, 0.0, kCarpet),
    box(2.0, -0.9, 0.0, 2.2, -0.7, 0.0, kStain),
  };
}

std::optional<Cylinder> DemoWorld::personAt(double time) const
{
  if (time < kPersonEnters || time > kPersonLeaves) {
    return std::nullopt;
  }
  // From the west door to the east door, south of the table.
  const double progress = (time - kPersonEnters) / (kPersonLeaves - kPersonEnters);
  return Cylinder{-3.2 + progress * 8.4, -0.9, 0.22, 1.7, kPerson};
}

std::optional<Hit> DemoWorld::castRay(
  const Eigen::Vector3d & origin, const Eigen::Vector3d & direction, double max_distance,
  double time) const
{
  std::optional<Hit> best;
  auto consider = [&best](std::optional<double> distance, int32_t code) {
      if (distance && (!best || *distance < best->distance)) {
        best = Hit{code, *distance};
      }
    };
  for (const auto & solid : boxes) {
    consider(intersect(solid, origin, direction, max_distance), solid.code);
  }
  if (const auto person = personAt(time)) {
    consider(intersect(*person, origin, direction, max_distance), person->code);
  }
  if (direction.z() < -kEpsilon && origin.z() > 0.0) {
    const double s = -origin.z() / direction.z();
    if (s <= max_distance && (!best || s < best->distance)) {
      const Eigen::Vector3d point = origin + s * direction;
      int32_t code = kFloor;
      for (const auto & patch : floor_patches) {
        if (point.x() >= patch.min.x() && point.x() <= patch.max.x() &&
          point.y() >= patch.min.y() && point.y() <= patch.max.y())
        {
          code = patch.code;
          break;
        }
      }
      best = Hit{code, s};
    }
  }
  return best;
}

double CameraModel::fx() const {return (width / 2.0) / std::tan(horizontal_fov / 2.0);}

Eigen::Isometry3d CameraModel::linkToOptical()
{
  // Columns: the optical axes x (right), y (down), z (forward) in link coordinates.
  Eigen::Matrix3d rotation;
  rotation << 0.0, 0.0, 1.0,
    -1.0, 0.0, 0.0,
    0.0, -1.0, 0.0;
  Eigen::Isometry3d transform = Eigen::Isometry3d::Identity();
  transform.linear() = rotation;
  return transform;
}

sensor_msgs::msg::CameraInfo makeCameraInfo(const CameraModel & camera)
{
  sensor_msgs::msg::CameraInfo info;
  info.header.frame_id = camera.opticalFrame();
  info.width = camera.width;
  info.height = camera.height;
  info.distortion_model = "plumb_bob";
  info.d = {0.0, 0.0, 0.0, 0.0, 0.0};
  info.k = {camera.fx(), 0.0, camera.cx(), 0.0, camera.fy(), camera.cy(), 0.0, 0.0, 1.0};
  info.r = {1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0};
  info.p = {camera.fx(), 0.0, camera.cx(), 0.0, 0.0, camera.fy(), camera.cy(), 0.0,
    0.0, 0.0, 1.0, 0.0};
  return info;
}

brindlex_protocol::msg::SemanticPointCloud renderCloud(
  const DemoWorld & world, const CameraModel & camera, const Eigen::Isometry3d & optical_pose,
  double time, uint64_t frame_number)
{
  const double fx = camera.fx();
  const double fy = camera.fy();
  const Eigen::Vector3d origin = optical_pose.translation();
  const Eigen::Matrix3d rotation = optical_pose.linear();
  std::vector<std::pair<int32_t, std::vector<Eigen::Vector3f>>> classes;
  for (uint32_t v = 0; v < camera.height; ++v) {
    const double yn = (v + 0.5 - camera.cy()) / fy;
    for (uint32_t u = 0; u < camera.width; ++u) {
      const double xn = (u + 0.5 - camera.cx()) / fx;
      // With a unit optical z the ray parameter is the depth along the optical axis.
      const Eigen::Vector3d ray(xn, yn, 1.0);
      const auto hit = world.castRay(origin, rotation * ray, camera.max_range, time);
      if (!hit || hit->distance < camera.min_range) {
        continue;
      }
      const double depth = hit->distance + depthNoise(u, v, frame_number);
      auto group = std::find_if(
        classes.begin(), classes.end(), [&hit](const auto & entry) {return entry.first == hit->code;});
      if (group == classes.end()) {
        classes.emplace_back(hit->code, std::vector<Eigen::Vector3f>());
        group = std::prev(classes.end());
      }
      group->second.push_back((ray * depth).cast<float>());
    }
  }

  brindlex_protocol::msg::SemanticPointCloud cloud;
  cloud.sequence = frame_number;
  for (const auto & [code, points] : classes) {
    brindlex_protocol::msg::SemanticCloud element;
    element.semantic_id = code;
    element.confidence = 0.9f;
    fillPoints(element.points, points);
    cloud.semantic_clouds.push_back(std::move(element));
  }
  // The outline: the image corners at the near and at the far range.
  for (const double range : {camera.min_range, camera.max_range}) {
    for (const auto & [u, v] : {std::pair<double, double>{0.0, 0.0}, {camera.width, 0.0},
        {camera.width, camera.height}, {0.0, camera.height}})
    {
      geometry_msgs::msg::Point32 corner;
      corner.x = static_cast<float>((u - camera.cx()) / fx * range);
      corner.y = static_cast<float>((v - camera.cy()) / fy * range);
      corner.z = static_cast<float>(range);
      cloud.polygon.points.push_back(corner);
    }
  }
  return cloud;
}

Pose2D robotPoseAt(double time)
{
  const double angle = 2.0 * M_PI * time / 40.0;
  return Pose2D{2.0 * std::cos(angle), 2.0 * std::sin(angle), angle + M_PI / 2.0};
}

Eigen::Isometry3d toIsometry(const Pose2D & pose)
{
  Eigen::Isometry3d transform = Eigen::Isometry3d::Identity();
  transform.translation() = Eigen::Vector3d(pose.x, pose.y, 0.0);
  transform.linear() = Eigen::AngleAxisd(pose.yaw, Eigen::Vector3d::UnitZ()).toRotationMatrix();
  return transform;
}

std::vector<CameraModel> demoCameras(uint32_t width, uint32_t height)
{
  auto mount = [](double x, double y, double z, double yaw, double pitch) {
      Eigen::Isometry3d transform = Eigen::Isometry3d::Identity();
      transform.translation() = Eigen::Vector3d(x, y, z);
      transform.linear() = (Eigen::AngleAxisd(yaw, Eigen::Vector3d::UnitZ()) *
        Eigen::AngleAxisd(pitch, Eigen::Vector3d::UnitY())).toRotationMatrix();
      return transform;
    };
  CameraModel front;
  front.name = "front_camera";
  front.base_to_link = mount(0.2, 0.0, 0.25, 0.0, 0.35);
  CameraModel left;
  left.name = "left_camera";
  left.base_to_link = mount(0.0, 0.15, 0.25, M_PI / 2.0, 0.3);
  for (auto * camera : {&front, &left}) {
    camera->width = width;
    camera->height = height;
  }
  return {front, left};
}

}  // namespace demo
