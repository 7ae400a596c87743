// Throughput of ObservationBuffer::bufferCloud on one VGA depth image split into 4 semantic
// classes, against a loop that only reads the floats of every point and applies the same 4 x 4
// transform, measured in the same run.
//
// Each stored cloud needs four fresh blocks of about 0.9 MB, and the cloud it replaces frees four.
// glibc gives the freed top of its heap back to the system and takes it again for a later cloud
// (brk), so page faults and zeroing are part of the figure. To see a heap that keeps its pages,
// run with
//   GLIBC_TUNABLES=glibc.malloc.mmap_threshold=67108864:glibc.malloc.trim_threshold=268435456
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <Eigen/Core>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "brindlex_velnor/observation_buffer.hpp"
#include "pcl_ros/transforms.hpp"
#include "rclcpp/clock.hpp"
#include "rclcpp/logging.hpp"
#include "semantic_cloud_builder.hpp"
#include "tf2_ros/buffer.h"

namespace {

constexpr uint32_t kWidth = 640;
constexpr uint32_t kHeight = 480;
constexpr int kClasses = 4;
constexpr double kNaNShare = 0.05;

// A camera 0.6 m above the base of the map frame at (1, 2), looking along the bearing 2.5 rad;
// its cloud comes in the optical frame (x right, y down, z forward).
geometry_msgs::msg::TransformStamped cameraTransform()
{
  const double yaw = 2.5;
  const double c = std::cos(yaw);
  const double s = std::sin(yaw);
  const Eigen::Matrix3d r = (Eigen::Matrix3d() << s, 0.0, c, -c, 0.0, s, 0.0, -1.0, 0.0).finished();
  const Eigen::Quaterniond q(r);
  geometry_msgs::msg::TransformStamped t;
  t.header.frame_id = "map";
  t.child_frame_id = "camera_optical";
  t.transform.translation.x = 1.0;
  t.transform.translation.y = 2.0;
  t.transform.translation.z = 0.6;
  t.transform.rotation.x = q.x();
  t.transform.rotation.y = q.y();
  t.transform.rotation.z = q.z();
  t.transform.rotation.w = q.w();
  return t;
}

// 640 x 480 points of a depth image, dealt round-robin by image block into 4 classes of 76,800
// points each; about 5 % of the pixels have no depth (NaN).
brindlex_protocol::msg::SemanticPointCloud vgaCloud()
{
  std::mt19937 random(42);
  std::uniform_real_distribution<float> depth(0.3f, 4.0f);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<std::vector<velnor_test::Point3>> classes(kClasses);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (uint32_t v = 0; v < kHeight; ++v) {
    for (uint32_t u = 0; u < kWidth; ++u) {
      const float d = depth(random);
      velnor_test::Point3 p{(u - 319.5f) * d / 525.0f, (v - 239.5f) * d / 525.0f, d};
      if (unit(random) < kNaNShare) {
        p = {nan, nan, nan};
      }
      classes[((u / 80) + (v / 60)) % kClasses].push_back(p);
    }
  }
  brindlex_protocol::msg::SemanticPointCloud cloud;
  cloud.header.frame_id = "camera_optical";
  cloud.header.stamp.sec = 100;
  const int32_t codes[kClasses] = {2, 201, 300, 105};
  for (int k = 0; k < kClasses; ++k) {
    cloud.semantic_clouds.push_back(velnor_test::makeElement(codes[k], classes[k]));
  }
  return cloud;
}

struct Fixture
{
  Fixture()
      : clock(std::make_shared<rclcpp::Clock>(RCL_ROS_TIME)),
        tf(std::make_shared<rclcpp::Clock>(RCL_ROS_TIME)),
        cloud(vgaCloud())
  {
    tf.setUsingDedicatedThread(true);
    tf.setTransform(cameraTransform(), "benchmark", true);
    // Everything in front of the camera is inside the band: only the NaN pixels are dropped.
    option.name = "vga";
    option.min_obstacle_height = -1.0;
    option.max_obstacle_height = 10.0;
  }

  std::shared_ptr<rclcpp::Clock> clock;
  tf2_ros::Buffer tf;
  velnor::ObservationBuffer::Option option;
  brindlex_protocol::msg::SemanticPointCloud cloud;
};

Fixture & fixture()
{
  static Fixture f;
  return f;
}

int64_t pointCount(const brindlex_protocol::msg::SemanticPointCloud & cloud)
{
  int64_t n = 0;
  for (const auto & element : cloud.semantic_clouds) {
    n += static_cast<int64_t>(element.points.height) * element.points.width;
  }
  return n;
}

void BM_BufferCloud(benchmark::State & state)
{
  auto & f = fixture();
  velnor::ObservationBuffer buffer(
      f.option, "map", f.tf, 0.0, f.clock, rclcpp::get_logger("benchmark"), nullptr);
  for (auto _ : state) {
    const bool stored = buffer.bufferCloud(f.cloud);
    benchmark::DoNotOptimize(stored);
  }
  state.SetItemsProcessed(state.iterations() * pointCount(f.cloud));
  int64_t kept = 0;
  for (const auto & unit : buffer.getBufferedObservations().front().units) {
    kept += unit.points.cols();
  }
  state.counters["kept_share"] =
      static_cast<double>(kept) / static_cast<double>(pointCount(f.cloud));
}
BENCHMARK(BM_BufferCloud)->Unit(benchmark::kMillisecond);

// Reads x, y and z of every point by offset and writes the transformed point: no lookup, no
// filtering, no units.
void BM_BaselineReadAndTransform(benchmark::State & state)
{
  auto & f = fixture();
  Eigen::Matrix4f a;
  pcl_ros::transformAsMatrix(cameraTransform(), a);
  std::vector<velnor::PointMatrix> out(f.cloud.semantic_clouds.size());
  for (size_t k = 0; k < out.size(); ++k) {
    const auto & points = f.cloud.semantic_clouds[k].points;
    out[k].resize(3, static_cast<Eigen::Index>(points.height) * points.width);
  }
  for (auto _ : state) {
    for (size_t k = 0; k < out.size(); ++k) {
      const auto & points = f.cloud.semantic_clouds[k].points;
      const uint8_t * p = points.data.data();
      float * o = out[k].data();
      const uint32_t n = points.height * points.width;
      for (uint32_t i = 0; i < n; ++i, p += points.point_step, o += 3) {
        float x, y, z;
        std::memcpy(&x, p + points.fields[0].offset, 4);
        std::memcpy(&y, p + points.fields[1].offset, 4);
        std::memcpy(&z, p + points.fields[2].offset, 4);
        o[0] = a(0, 0) * x + a(0, 1) * y + a(0, 2) * z + a(0, 3);
        o[1] = a(1, 0) * x + a(1, 1) * y + a(1, 2) * z + a(1, 3);
        o[2] = a(2, 0) * x + a(2, 1) * y + a(2, 2) * z + a(2, 3);
      }
      benchmark::DoNotOptimize(out[k].data());
      benchmark::ClobberMemory();
    }
  }
  state.SetItemsProcessed(state.iterations() * pointCount(f.cloud));
}
BENCHMARK(BM_BaselineReadAndTransform)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char ** argv)
{
  setenv("SPDLOG_STDOUT", "false", 1);
  setenv("SPDLOG_SYSTEMD", "false", 1);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
