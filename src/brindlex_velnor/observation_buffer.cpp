#include "brindlex_velnor/observation_buffer.hpp"

#include <Eigen/Core>
#include <chrono>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>
#include <utility>

#include "brindlex_velnor/semantic_code.hpp"
#include "pcl_ros/transforms.hpp"
#include "spdlog/fmt/fmt.h"
#include "tf2/exceptions.h"
#include "tf2/time.h"
#include "util/util.hpp"

namespace velnor {
namespace {

/// Fixed code of a cloud dropped because a transform lookup failed.
constexpr int64_t kTransformErrorCode = 101100016;

/// Where x, y and z sit in every point of one element, once the element has been checked.
struct PointLayout
{
  uint32_t count{0};  ///< height x width
  uint32_t step{0};   ///< point_step
  uint32_t x{0};
  uint32_t y{0};
  uint32_t z{0};
};

// Offset of the first field of that name, as the point-cloud iterators find it.
bool findField(const sensor_msgs::msg::PointCloud2 & points, const char * name, uint32_t & offset)
{
  for (const auto & field : points.fields) {
    if (field.name == name) {
      offset = field.offset;
      return true;
    }
  }
  return false;
}

/**
 * Checks that every point of the element can be read: the point count and byte size fit in 32
 * bits, x, y and z exist and lie inside a point, and data holds all points. Bytes beyond the
 * points are allowed (they are not read). An element without points needs no fields.
 * @return empty when readable, else the reason
 */
std::string checkLayout(const sensor_msgs::msg::PointCloud2 & points, PointLayout & layout)
{
  constexpr uint64_t kMax32 = std::numeric_limits<uint32_t>::max();
  const uint64_t count = static_cast<uint64_t>(points.height) * points.width;
  if (count > kMax32) {
    return fmt::format("height {} x width {} overflows 32 bits", points.height, points.width);
  }
  layout.count = static_cast<uint32_t>(count);
  layout.step = points.point_step;
  if (count == 0) {
    return {};
  }
  const uint64_t bytes = count * points.point_step;
  if (bytes > kMax32) {
    return fmt::format(
        "height {} x width {} x point_step {} overflows 32 bits",
        points.height,
        points.width,
        points.point_step);
  }
  const char * names[3] = {"x", "y", "z"};
  uint32_t * offsets[3] = {&layout.x, &layout.y, &layout.z};
  for (int i = 0; i < 3; ++i) {
    if (!findField(points, names[i], *offsets[i])) {
      return fmt::format("has no field \"{}\"", names[i]);
    }
    if (static_cast<uint64_t>(*offsets[i]) + sizeof(float) > points.point_step) {
      return fmt::format(
          "field \"{}\" at offset {} (+4 bytes) lies outside point_step {}",
          names[i],
          *offsets[i],
          points.point_step);
    }
  }
  if (points.data.size() < bytes) {
    return fmt::format(
        "data holds {} bytes, {} points of {} bytes need {}",
        points.data.size(),
        count,
        points.point_step,
        bytes);
  }
  return {};
}

inline float readFloat(const uint8_t * at)
{
  float value;
  std::memcpy(&value, at, sizeof(value));
  return value;
}

// The float bounds that decide a float z exactly as the double bounds do: for every finite float
// z, z < lowerBound(m) exactly when z < m, and z > upperBound(m) exactly when z > m (infinite z is
// dropped anyway). A NaN bound stays NaN (it drops nothing).
float lowerBound(double m)
{
  if (std::isnan(m)) {
    return std::numeric_limits<float>::quiet_NaN();
  }
  if (m > std::numeric_limits<float>::max()) {
    return std::numeric_limits<float>::infinity();
  }
  if (m < -std::numeric_limits<float>::max()) {
    return -std::numeric_limits<float>::max();
  }
  const float f = static_cast<float>(m);
  return static_cast<double>(f) < m ? std::nextafter(f, std::numeric_limits<float>::infinity()) : f;
}

float upperBound(double m) { return -lowerBound(-m); }

/// Moves the points of a cloud into the global frame and keeps those inside the height band.
class PointTransformer
{
public:
  PointTransformer(const Eigen::Matrix4f & a, double min_height, double max_height)
      : a00(a(0, 0)),
        a01(a(0, 1)),
        a02(a(0, 2)),
        a03(a(0, 3)),
        a10(a(1, 0)),
        a11(a(1, 1)),
        a12(a(1, 2)),
        a13(a(1, 3)),
        a20(a(2, 0)),
        a21(a(2, 1)),
        a22(a(2, 2)),
        a23(a(2, 3)),
        min_z(lowerBound(min_height)),
        max_z(upperBound(max_height))
  {
  }

  /**
   * Writes A (x, y, z, 1) of the point into @p column whether it is kept or not, so that the
   * caller needs no branch on the scattered invalid pixels of a depth image; the column is only
   * taken when the answer is true. The band is tested on z in the cloud frame, before the
   * transform; a NaN z would pass both comparisons and make every coordinate NaN.
   */
  bool apply(const uint8_t * point, const PointLayout & layout, float * column) const
  {
    const float x = readFloat(point + layout.x);
    const float y = readFloat(point + layout.y);
    const float z = readFloat(point + layout.z);
    // v - v is 0 for a finite v and NaN otherwise.
    const float finite = (x - x) + (y - y) + (z - z);
    const bool keep = !(z < min_z) & !(z > max_z) & (finite == 0.0f);
    column[0] = a00 * x + a01 * y + a02 * z + a03;
    column[1] = a10 * x + a11 * y + a12 * z + a13;
    column[2] = a20 * x + a21 * y + a22 * z + a23;
    return keep;
  }

private:
  const float a00, a01, a02, a03;
  const float a10, a11, a12, a13;
  const float a20, a21, a22, a23;
  const float min_z;
  const float max_z;
};

/// Weight of a point's coordinates in the edge scan: dropped (index 0) or kept (index 1).
constexpr float kEdgeWeight[2] = {std::numeric_limits<float>::quiet_NaN(), 1.0f};

/**
 * Fills the unit with the kept points of one checked element, in order, and sets its edge as
 * `updateEdge` would (the first kept point starts the box; only a strictly smaller or larger
 * value replaces a bound), without a second pass over the points.
 */
void fillUnit(
    const uint8_t * data,
    const PointLayout & layout,
    const PointTransformer & transformer,
    ObservationUnit & unit)
{
  unit.points.resize(3, layout.count);
  float * out = unit.points.data();
  const uint8_t * point = data;
  uint32_t i = 0;
  for (; i < layout.count; ++i, point += layout.step) {
    if (transformer.apply(point, layout, out)) {
      break;
    }
  }
  if (i == layout.count) {
    unit.points.resize(3, 0);
    unit.min_x = unit.min_y = unit.max_x = unit.max_y = 0.0f;
    return;
  }
  float min_x = out[0], max_x = out[0];
  float min_y = out[1], max_y = out[1];
  Eigen::Index kept = 1;
  for (++i, point += layout.step; i < layout.count; ++i, point += layout.step) {
    float * column = out + 3 * kept;
    const bool keep = transformer.apply(point, layout, column);
    // A dropped point offers NaN, which never replaces a bound (x * 1 keeps x bit for bit);
    // the weight is looked up rather than chosen, so the loop has no branch.
    const float weight = kEdgeWeight[keep];
    const float x = column[0] * weight;
    const float y = column[1] * weight;
    min_x = x < min_x ? x : min_x;
    max_x = x > max_x ? x : max_x;
    min_y = y < min_y ? y : min_y;
    max_y = y > max_y ? y : max_y;
    kept += keep;
  }
  unit.points.conservativeResize(3, kept);
  unit.min_x = min_x;
  unit.min_y = min_y;
  unit.max_x = max_x;
  unit.max_y = max_y;
}

tf2::TimePoint cloudTime(const builtin_interfaces::msg::Time & stamp)
{
  return tf2::TimePoint(std::chrono::nanoseconds(
      static_cast<int64_t>(stamp.sec) * 1000000000LL + static_cast<int64_t>(stamp.nanosec)));
}

}  // namespace

ObservationBuffer::ObservationBuffer(
    const Option & buffer_option,
    const std::string & frame,
    tf2_ros::Buffer & transforms,
    double tolerance,
    std::shared_ptr<rclcpp::Clock> node_clock,
    rclcpp::Logger node_logger,
    std::shared_ptr<FrustumAgent> frustum_agent)
    : arrival_times(kRateWindowSize, rclcpp::Time(0, 0, node_clock->get_clock_type())),
      window_index(-1),
      window_full(false),
      measured_rate(-1.0),
      option(buffer_option),
      global_frame(frame),
      tf_buffer(transforms),
      tf_tolerance(tolerance),
      keep_time(rclcpp::Duration::from_seconds(buffer_option.observation_keep_time)),
      last_updated(node_clock->now()),
      clock(std::move(node_clock)),
      logger(std::move(node_logger)),
      agent(std::move(frustum_agent))
{
  camera_transform.transform.rotation.w = 1.0;
}

ObservationBuffer::~ObservationBuffer() = default;

bool ObservationBuffer::bufferCloud(const brindlex_protocol::msg::SemanticPointCloud & cloud)
{
  const auto start = std::chrono::system_clock::now();
  const std::string & cloud_frame = cloud.header.frame_id;
  if (cloud_frame.empty()) {
    LOG_WARN("Warning: Pointcloud's frame_id is empty!");
    return false;
  }

  // Every element is checked before any point is read, so a refused cloud changes nothing.
  std::vector<PointLayout> layouts(cloud.semantic_clouds.size());
  for (size_t i = 0; i < cloud.semantic_clouds.size(); ++i) {
    const std::string reason = checkLayout(cloud.semantic_clouds[i].points, layouts[i]);
    if (!reason.empty()) {
      LOG_ERROR(
          "ObservationBuffer {}: cloud of frame {} refused, semantic_clouds[{}] {}",
          option.name,
          cloud_frame,
          i,
          reason);
      return false;
    }
  }

  // The new camera pose and outline are kept aside until both lookups have succeeded.
  const tf2::TimePoint time = cloudTime(cloud.header.stamp);
  const tf2::Duration timeout = tf2::durationFromSec(tf_tolerance);
  Eigen::Matrix4f transform;
  geometry_msgs::msg::TransformStamped new_camera_transform;
  bool camera_known = false;
  try {
    pcl_ros::transformAsMatrix(
        tf_buffer.lookupTransform(global_frame, cloud_frame, time, timeout), transform);
    std::string camera_frame;
    if (agent && agent->getFrameId(camera_frame)) {
      new_camera_transform = tf_buffer.lookupTransform(global_frame, camera_frame, time, timeout);
      camera_known = true;
    }
  } catch (const tf2::TransformException & e) {
    LOG_ERROR(
        "TF Exception that should never happen for global frame: {}, cloud frame: {}, {}, error "
        "code is {}",
        global_frame,
        cloud_frame,
        e.what(),
        kTransformErrorCode);
    return false;
  }
  transform.row(3) << 0.0f, 0.0f, 0.0f, 1.0f;

  const PointTransformer transformer(
      transform, option.min_obstacle_height, option.max_obstacle_height);
  Observation observation;
  observation.units.reserve(cloud.semantic_clouds.size());
  for (size_t i = 0; i < cloud.semantic_clouds.size(); ++i) {
    const auto & element = cloud.semantic_clouds[i];
    const PointLayout & layout = layouts[i];
    ObservationUnit unit;
    unit.type = semanticTypeFromCode(element.semantic_id);
    unit.flag = element.flag;
    fillUnit(element.points.data.data(), layout, transformer, unit);
    observation.units.push_back(std::move(unit));
  }
  observation.stamp = cloud.header.stamp;
  observation.frame = global_frame;

  if (camera_known) {
    camera_transform = std::move(new_camera_transform);
    polygon.points.resize(cloud.polygon.points.size());
    for (size_t i = 0; i < cloud.polygon.points.size(); ++i) {
      const auto & in = cloud.polygon.points[i];
      const Eigen::Vector4f moved = transform * Eigen::Vector4f(in.x, in.y, in.z, 1.0f);
      polygon.points[i].x = moved.x();
      polygon.points[i].y = moved.y();
      polygon.points[i].z = moved.z();
    }
  }
  observations.push_front(std::move(observation));

  last_updated = clock->now();
  if (option.check_hz >= 1) {
    updateRateWindow();
  }
  purgeStaleObservations();

  const double elapsed_ms =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now() - start)
          .count() /
      1000000.0;
  if (elapsed_ms >= 100.0) {
    LOG_WARN("ObservationBuffer::bufferCloud deal is slow, use time {:4.3f} ms.", elapsed_ms);
  }
  return true;
}

void ObservationBuffer::updateRateWindow()
{
  if (window_index >= 0 && last_updated < arrival_times[window_index]) {
    // The clock went back: the older arrivals say nothing about the rate any more.
    resetRateWindow();
  }
  if (!window_full && window_index == kRateWindowSize - 1) {
    window_full = true;
  }
  window_index = (window_index + 1) % kRateWindowSize;
  arrival_times[window_index] = last_updated;
  if (window_full) {
    const int32_t oldest = (window_index + 1) % kRateWindowSize;
    measured_rate =
        (kRateWindowSize - 1) / (arrival_times[window_index] - arrival_times[oldest]).seconds();
  } else if (window_index > 0) {
    measured_rate = window_index / (arrival_times[window_index] - arrival_times[0]).seconds();
  } else {
    measured_rate = 0.0;
  }
}

void ObservationBuffer::purgeStaleObservations()
{
  if (observations.empty()) {
    return;
  }
  if (keep_time.nanoseconds() == 0) {
    observations.erase(std::next(observations.begin()), observations.end());
    return;
  }
  for (auto it = observations.begin(); it != observations.end(); ++it) {
    // Built from nanoseconds so that a stamp before the epoch is a time like any other.
    const rclcpp::Time stamp(
        static_cast<int64_t>(it->stamp.sec) * 1000000000LL +
            static_cast<int64_t>(it->stamp.nanosec),
        clock->get_clock_type());
    if (clock->now() - stamp > keep_time) {
      observations.erase(it, observations.end());
      return;
    }
  }
}

void ObservationBuffer::getObservations(std::vector<Observation> & out)
{
  purgeStaleObservations();
  out.reserve(out.size() + observations.size());
  for (const auto & observation : observations) {
    out.push_back(observation);
  }
  if (agent) {
    std::vector<const PointMatrix *> clouds;
    for (const auto & observation : observations) {
      for (const auto & unit : observation.units) {
        clouds.push_back(&unit.points);
      }
    }
    agent->setInput(camera_transform, polygon, clouds);
  }
}

void ObservationBuffer::resetLastUpdated() { last_updated = clock->now(); }

void ObservationBuffer::resetRateWindow()
{
  window_index = -1;
  window_full = false;
  measured_rate = -1.0;
}

bool ObservationBuffer::isCurrent() const { return true; }

}  // namespace velnor
