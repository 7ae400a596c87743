// Semantic point clouds decoded from arbitrary bytes and fed to an observation buffer, with a plain
// reference of what the buffer must do with each. Shared by the libFuzzer target and the
// generated-corpus test.
#ifndef SEMANTIC_CLOUD_FUZZ_HARNESS_HPP_
#define SEMANTIC_CLOUD_FUZZ_HARNESS_HPP_

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "brindlex_velnor/cell_cache.hpp"
#include "brindlex_velnor/frustum_detector.hpp"
#include "brindlex_velnor/observation_buffer.hpp"
#include "brindlex_velnor/semantic_code.hpp"
#include "rclcpp/clock.hpp"
#include "rclcpp/logging.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"
#include "spdlog/fmt/fmt.h"
#include "tf2_ros/buffer.h"
#include "velnor_test_helpers.hpp"

namespace velnor_test {

/// Reads the input front to back; past its end every read gives 0.
class ByteReader
{
public:
  ByteReader(const uint8_t * data, size_t size) : data_(data), size_(size) {}

  uint8_t u8() { return at_ < size_ ? data_[at_++] : 0; }

  uint32_t u32()
  {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      value = (value << 8) | u8();
    }
    return value;
  }

  /// Mostly small values, sometimes one that a camera driver should never send.
  float value()
  {
    const uint8_t kind = u8();
    if (kind < 200) {
      return static_cast<int8_t>(u8()) / 16.0f;
    }
    static const float kSpecial[] = {
        std::numeric_limits<float>::quiet_NaN(),
        std::numeric_limits<float>::infinity(),
        -std::numeric_limits<float>::infinity(),
        std::numeric_limits<float>::max(),
        -std::numeric_limits<float>::max(),
        std::numeric_limits<float>::denorm_min(),
        -0.0f,
        1e20f,
        -0.5f,
        2.0f,
        // Around bounds that a float cannot hold exactly.
        0.1f,
        std::nextafter(0.1f, 0.0f),
        0.3f,
        std::nextafter(0.3f, 1.0f),
    };
    return kSpecial[kind % (sizeof(kSpecial) / sizeof(kSpecial[0]))];
  }

private:
  const uint8_t * data_;
  size_t size_;
  size_t at_{0};
};

/**
 * @brief One observation buffer fed with up to three decoded clouds per input. Every result is
 * compared with a plain reference: a refused cloud must leave the buffer exactly as it was; a
 * stored one must hold exactly the points a plain reader finds, filtered and moved. What the
 * buffer then holds goes through two cell cache updates, with settings and a posed frustum taken
 * from the input, whose change lists must be well formed.
 */
class SemanticCloudFuzz
{
public:
  /// Largest data block a decoded element gets, bytes.
  static constexpr size_t kMaxData = 1 << 16;

  SemanticCloudFuzz()
      : clock_(std::make_shared<rclcpp::Clock>(RCL_ROS_TIME)),
        tf_(std::make_shared<rclcpp::Clock>(RCL_ROS_TIME))
  {
    rcl_enable_ros_time_override(clock_->get_clock_handle());
    tf_.setUsingDedicatedThread(true);
    geometry_msgs::msg::TransformStamped t;
    t.header.frame_id = "map";
    t.child_frame_id = "base";
    t.transform.translation.x = 1.0;
    t.transform.translation.y = 2.0;
    t.transform.translation.z = 0.5;
    t.transform.rotation.w = 1.0;
    tf_.setTransform(t, "fuzz", true);
  }

  /// Empty when every cloud of the input was handled as the reference says, else what went wrong.
  std::string run(const uint8_t * data, size_t size)
  {
    try {
      return runUnchecked(data, size);
    } catch (const std::exception & e) {
      return std::string("exception: ") + e.what();
    } catch (...) {
      return "unknown exception";
    }
  }

  /// Observations gathered from the buffer after the last input (for a later stage of the cache).
  const std::vector<velnor::Observation> & gathered() const { return gathered_; }

  /// Clouds stored and refused so far, over all inputs.
  size_t stored() const { return stored_; }
  size_t refused() const { return refused_; }
  /// Change units the cell cache reported so far, over all inputs.
  size_t changes() const { return changes_; }

private:
  struct Band
  {
    double min;
    double max;
  };

  std::string runUnchecked(const uint8_t * data, size_t size)
  {
    ByteReader in(data, size);
    const uint8_t settings = in.u8();
    static const double kKeep[] = {0.0, 0.5, 5.0, -1.0};
    static const Band kBands[] = {
        {-0.5, 2.0},
        {0.0, 0.0},
        {-HUGE_VAL, HUGE_VAL},
        {1.0, -1.0},
        {std::nan(""), std::nan("")},
        {0.1, 0.3},
    };
    velnor::ObservationBuffer::Option option;
    option.name = "fuzz";
    option.check_hz = 1;
    option.observation_keep_time = kKeep[settings & 3];
    const Band band = kBands[((settings >> 2) & 7) % 6];
    option.min_obstacle_height = band.min;
    option.max_obstacle_height = band.max;
    velnor::ObservationBuffer buffer(
        option, "map", tf_, 0.0, clock_, rclcpp::get_logger("fuzz"), nullptr);

    const int clouds = (settings >> 5) & 3;
    for (int c = 0; c < clouds; ++c) {
      now_ns_ += 100000000;
      rcl_set_ros_time_override(clock_->get_clock_handle(), now_ns_);
      const brindlex_protocol::msg::SemanticPointCloud cloud = decodeCloud(in);
      const std::string problem = check(buffer, band, cloud);
      if (!problem.empty()) {
        return fmt::format("cloud {}: {}", c, problem);
      }
    }
    gathered_.clear();
    buffer.getObservations(gathered_);
    return updateCache(in);
  }

  std::string updateCache(ByteReader & in)
  {
    static const double kResolution[] = {0.05, 0.3, 1e-30, 1000.0};
    velnor::CellCache::Settings settings;
    const uint8_t choice = in.u8();
    settings.cache_resolution = kResolution[choice & 3];
    settings.decay_time = (choice & 4) ? 0.15 : 0.0;
    settings.local_cache_distance = (choice & 8) ? 2.0 : 0.0;
    settings.clearing_min_point_cloud = (choice >> 4) & 3;
    settings.enable_near_blocked_protection = (choice & 64) != 0;
    settings.number_points_considered_as_blocked = 2;
    const double robot_x = static_cast<int8_t>(in.u8()) / 16.0;
    const double robot_y = static_cast<int8_t>(in.u8()) / 16.0;

    std::vector<std::shared_ptr<velnor::FrustumDetector>> detectors;
    if (choice & 128) {
      auto detector = std::make_shared<velnor::FrustumDetector>(
          velnor_test::makeCameraInfo(),
          0.3f,
          3.0f,
          0.1f,
          0.25f,
          velnor::FrustumDetectorStrategy());
      const velnor_test::CameraPose pose{
          robot_x, robot_y, 0.5, static_cast<int8_t>(in.u8()) / 40.0};
      detector->setTrans(pose.transform());
      geometry_msgs::msg::Polygon shape;
      for (const double d : {-4.0, 4.0}) {
        geometry_msgs::msg::Point32 v;
        v.x = static_cast<float>(robot_x + d);
        v.y = static_cast<float>(robot_y + d);
        shape.points.push_back(v);
      }
      detector->setShape(shape);
      for (const auto & observation : gathered_) {
        for (const auto & unit : observation.units) {
          detector->addInputCloud(unit.points);
        }
      }
      detector->fixSetting();
      detectors.push_back(detector);
    }

    velnor::CellCache cache;
    const double now = static_cast<double>(now_ns_) * 1e-9;
    for (const double at : {now, now + 0.1}) {
      std::vector<velnor::MapChangeUnit> changes;
      cache.update(gathered_, detectors, settings, robot_x, robot_y, at, changes);
      changes_ += changes.size();
      for (const auto & change : changes) {
        if (change.operate != velnor::MapChangeUnit::CLEAR &&
            change.operate != velnor::MapChangeUnit::MARK) {
          return fmt::format("a change unit with operation {}", static_cast<int>(change.operate));
        }
        if (change.types.size() != static_cast<size_t>(change.points.cols())) {
          return fmt::format(
              "a change unit with {} points and {} types",
              change.points.cols(),
              change.types.size());
        }
      }
      if (cache.size() != cache.getUnits().size()) {
        return "the cell cache miscounts its units";
      }
    }
    return {};
  }

  brindlex_protocol::msg::SemanticPointCloud decodeCloud(ByteReader & in)
  {
    brindlex_protocol::msg::SemanticPointCloud cloud;
    const uint8_t frame = in.u8() % 8;
    cloud.header.frame_id = frame == 0 ? "" : frame == 1 ? "nowhere" : "base";
    cloud.header.stamp.sec = static_cast<int32_t>(now_ns_ / 1000000000);
    cloud.header.stamp.nanosec = static_cast<uint32_t>(now_ns_ % 1000000000);
    const int elements = in.u8() % 5;
    for (int e = 0; e < elements; ++e) {
      cloud.semantic_clouds.push_back(decodeElement(in));
    }
    return cloud;
  }

  static brindlex_protocol::msg::SemanticCloud decodeElement(ByteReader & in)
  {
    static const char * kNames[] = {"x", "y", "z", "w", ""};
    brindlex_protocol::msg::SemanticCloud element;
    element.semantic_id = static_cast<int8_t>(in.u8());
    const uint8_t flags = in.u8();
    element.flag = flags & 1;
    auto & points = element.points;
    if (flags & 2) {
      for (uint32_t i = 0; i < 3; ++i) {
        sensor_msgs::msg::PointField field;
        field.name = kNames[i];
        field.offset = 4 * i;
        field.datatype = sensor_msgs::msg::PointField::FLOAT32;
        field.count = 1;
        points.fields.push_back(field);
      }
      points.point_step = (flags & 16) ? 16 : 12;
    } else {
      points.point_step = in.u8() % 33;
      const int fields = in.u8() % 5;
      for (int i = 0; i < fields; ++i) {
        sensor_msgs::msg::PointField field;
        field.name = kNames[in.u8() % 5];
        field.offset = in.u8() % 40;
        field.datatype = sensor_msgs::msg::PointField::FLOAT32;
        field.count = 1;
        points.fields.push_back(field);
      }
    }
    points.height = (flags & 4) ? in.u32() : in.u8() % 4;
    points.width = (flags & 8) ? in.u32() : in.u8() % 64;
    const uint64_t claimed =
        static_cast<uint64_t>(points.height) * points.width * points.point_step;
    uint64_t bytes = 0;
    switch (in.u8() % 4) {
      case 0:
        bytes = claimed;
        break;
      case 1:
        bytes = claimed - std::min<uint64_t>(claimed, 1 + in.u8() % 8);
        break;
      case 2:
        bytes = claimed + in.u8() % 24;
        break;
      default:
        bytes = 4u * in.u8();
        break;
    }
    points.data.resize(static_cast<size_t>(std::min<uint64_t>(bytes, kMaxData)));
    for (size_t at = 0; at + 4 <= points.data.size(); at += 4) {
      const float v = in.value();
      std::memcpy(points.data.data() + at, &v, sizeof(v));
    }
    return element;
  }

  /// Offset of the first field of that name, or -1.
  static int64_t fieldOffset(const sensor_msgs::msg::PointCloud2 & points, const char * name)
  {
    const auto field = std::find_if(
        points.fields.begin(), points.fields.end(), [&](const auto & f) { return f.name == name; });
    return field == points.fields.end() ? -1 : int64_t{field->offset};
  }

  /// Whether every point of the element can be read, by the plain rules of a PointCloud2.
  static bool readable(const sensor_msgs::msg::PointCloud2 & points)
  {
    const uint64_t count = static_cast<uint64_t>(points.height) * points.width;
    if (count == 0) {
      return true;
    }
    const uint64_t bytes = count * points.point_step;
    if (count > 0xffffffffULL || bytes > 0xffffffffULL || points.data.size() < bytes) {
      return false;
    }
    for (const char * name : {"x", "y", "z"}) {
      const int64_t offset = fieldOffset(points, name);
      if (offset < 0 || offset + 4 > int64_t{points.point_step}) {
        return false;
      }
    }
    return true;
  }

  /// The points the buffer must keep of a readable element, moved into "map".
  static std::vector<float> expectedPoints(
      const sensor_msgs::msg::PointCloud2 & points, const Band & band)
  {
    std::vector<float> out;
    const uint64_t count = static_cast<uint64_t>(points.height) * points.width;
    const int64_t ox = fieldOffset(points, "x");
    const int64_t oy = fieldOffset(points, "y");
    const int64_t oz = fieldOffset(points, "z");
    for (uint64_t i = 0; i < count; ++i) {
      // Fields may sit anywhere in a point, so they are copied out, not dereferenced.
      const uint8_t * point = points.data.data() + i * points.point_step;
      float x, y, z;
      std::memcpy(&x, point + ox, 4);
      std::memcpy(&y, point + oy, 4);
      std::memcpy(&z, point + oz, 4);
      const bool in_band = !(z < band.min) && !(z > band.max);
      if (in_band && std::isfinite(x) && std::isfinite(y) && std::isfinite(z)) {
        out.insert(out.end(), {x + 1.0f, y + 2.0f, z + 0.5f});
      }
    }
    return out;
  }

  static bool samePoints(const velnor::PointMatrix & points, const std::vector<float> & expected)
  {
    return static_cast<size_t>(points.size()) == expected.size() &&
           (expected.empty() ||
            std::memcmp(points.data(), expected.data(), expected.size() * sizeof(float)) == 0);
  }

  static bool sameObservations(
      const std::list<velnor::Observation> & a, const std::list<velnor::Observation> & b)
  {
    if (a.size() != b.size()) {
      return false;
    }
    for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j) {
      if (i->stamp != j->stamp || i->frame != j->frame || i->units.size() != j->units.size()) {
        return false;
      }
      for (size_t u = 0; u < i->units.size(); ++u) {
        const auto & p = i->units[u];
        const auto & q = j->units[u];
        if (p.points.cols() != q.points.cols() || p.type != q.type || p.flag != q.flag ||
            (p.points.size() > 0 &&
             std::memcmp(p.points.data(), q.points.data(), p.points.size() * sizeof(float)) != 0)) {
          return false;
        }
      }
    }
    return true;
  }

  std::string check(
      velnor::ObservationBuffer & buffer,
      const Band & band,
      const brindlex_protocol::msg::SemanticPointCloud & cloud)
  {
    const std::list<velnor::Observation> before = buffer.getBufferedObservations();
    const rclcpp::Time updated_before = buffer.getLastUpdated();
    const double rate_before = buffer.getMeasuredRate();

    bool valid = cloud.header.frame_id == "base";
    for (const auto & element : cloud.semantic_clouds) {
      valid = valid && readable(element.points);
    }
    const bool stored = buffer.bufferCloud(cloud);
    ++(stored ? stored_ : refused_);
    if (stored != valid) {
      return fmt::format("bufferCloud answered {}, the reference {}", stored, valid);
    }
    if (!stored) {
      if (!sameObservations(before, buffer.getBufferedObservations()) ||
          updated_before != buffer.getLastUpdated() || rate_before != buffer.getMeasuredRate()) {
        return "a refused cloud changed the buffer";
      }
      return {};
    }
    if (buffer.getLastUpdated().nanoseconds() != now_ns_) {
      return "last_updated is not the clock time of the store";
    }
    // The newest observation may already be purged (keep time below its age).
    if (buffer.getBufferedObservations().empty()) {
      return {};
    }
    const auto & front = buffer.getBufferedObservations().front();
    if (front.stamp != cloud.header.stamp || front.frame != "map" ||
        front.units.size() != cloud.semantic_clouds.size()) {
      return "the stored observation does not match the cloud";
    }
    for (size_t e = 0; e < front.units.size(); ++e) {
      const auto & element = cloud.semantic_clouds[e];
      const auto & unit = front.units[e];
      const std::vector<float> expected = expectedPoints(element.points, band);
      if (!samePoints(unit.points, expected)) {
        return fmt::format(
            "unit {} holds {} points, expected {}", e, unit.points.cols(), expected.size() / 3);
      }
      if (unit.type != velnor::semanticTypeFromCode(element.semantic_id) ||
          unit.flag != element.flag) {
        return fmt::format("unit {} has the wrong type or flag", e);
      }
      velnor::ObservationUnit recomputed = unit;
      recomputed.updateEdge();
      if (recomputed.min_x != unit.min_x || recomputed.max_x != unit.max_x ||
          recomputed.min_y != unit.min_y || recomputed.max_y != unit.max_y) {
        return fmt::format("unit {} has a stale edge", e);
      }
    }
    return {};
  }

  std::shared_ptr<rclcpp::Clock> clock_;
  tf2_ros::Buffer tf_;
  int64_t now_ns_{1000LL * 1000000000LL};
  std::vector<velnor::Observation> gathered_;
  size_t stored_{0};
  size_t refused_{0};
  size_t changes_{0};
};

}  // namespace velnor_test

#endif  // SEMANTIC_CLOUD_FUZZ_HARNESS_HPP_
