// Throughput of the frustum detector's per-point work against a loop that computes only the
// polar cell of each point, measured in the same run.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>

#include "brindlex_velnor/frustum_detector.hpp"

namespace {

constexpr int kPoints = 300000;

sensor_msgs::msg::CameraInfo cameraInfo()
{
  sensor_msgs::msg::CameraInfo info;
  info.header.frame_id = "camera_optical";
  info.width = 640;
  info.height = 480;
  info.p = {525.0, 0.0, 319.5, 0.0, 0.0, 525.0, 239.5, 0.0, 0.0, 0.0, 1.0, 0.0};
  return info;
}

// A camera at (1, 2), 0.6 m high, looking horizontally along the bearing 2.5 rad.
struct Scene
{
  static constexpr double x = 1.0;
  static constexpr double y = 2.0;
  static constexpr double height = 0.6;
  static constexpr double yaw = 2.5;

  Scene()
      : detector(cameraInfo(), 0.3f, 4.0f, 0.0175f, 0.05f, velnor::FrustumDetectorStrategy()),
        points(3, kPoints)
  {
    const double c = std::cos(yaw);
    const double s = std::sin(yaw);
    geometry_msgs::msg::TransformStamped t;
    t.transform.translation.x = x;
    t.transform.translation.y = y;
    t.transform.translation.z = height;
    // Optical axes: x right (s, -c, 0), y down (0, 0, -1), z forward (c, s, 0).
    const Eigen::Matrix3d r =
        (Eigen::Matrix3d() << s, 0.0, c, -c, 0.0, s, 0.0, -1.0, 0.0).finished();
    const Eigen::Quaterniond q(r);
    t.transform.rotation.x = q.x();
    t.transform.rotation.y = q.y();
    t.transform.rotation.z = q.z();
    t.transform.rotation.w = q.w();
    transform = t;

    // The footprint: the view's sector on the floor, wider than the grid.
    for (double b : {-0.7, 0.0, 0.7}) {
      for (double d : {0.1, 5.0}) {
        geometry_msgs::msg::Point32 v;
        v.x = static_cast<float>(x + d * std::cos(yaw + b));
        v.y = static_cast<float>(y + d * std::sin(yaw + b));
        shape.points.push_back(v);
      }
    }
    // Points spread over the view and somewhat beyond it, as a depth camera's cloud is.
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> bearing(-0.6, 0.6);
    std::uniform_real_distribution<double> range(0.2, 4.5);
    std::uniform_real_distribution<double> z(-0.1, 1.5);
    for (int k = 0; k < kPoints; ++k) {
      const double b = yaw + bearing(rng);
      const double d = range(rng);
      points(0, k) = static_cast<float>(x + d * std::cos(b));
      points(1, k) = static_cast<float>(y + d * std::sin(b));
      points(2, k) = static_cast<float>(z(rng));
    }
    pose();
  }

  void pose()
  {
    detector.clear();
    detector.setTrans(transform);
    detector.setShape(shape);
  }

  velnor::FrustumDetector detector;
  geometry_msgs::msg::TransformStamped transform;
  geometry_msgs::msg::Polygon shape;
  velnor::FrustumDetector::PointMatrix points;
};

void BM_PolarCellBaseline(benchmark::State & state)
{
  Scene scene;
  const float tx = scene.detector.translation[0];
  const float ty = scene.detector.translation[1];
  const float theta_min = scene.detector.theta_min;
  const float r_min = scene.detector.r_min;
  const float t_res = scene.detector.theta_resolution;
  const float r_res = scene.detector.r_resolution;
  const float * data = scene.points.data();
  for (auto _ : state) {
    int64_t sum = 0;
    for (int k = 0; k < kPoints; ++k) {
      const float dx = data[3 * k] - tx;
      const float dy = data[3 * k + 1] - ty;
      const float a = atan2f(dy, dx) - theta_min;
      const float d = sqrtf(dx * dx + dy * dy) - r_min;
      sum += static_cast<int32_t>(a / t_res) + static_cast<int32_t>(d / r_res);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_PolarCellBaseline)->Unit(benchmark::kMillisecond);

void BM_Binning(benchmark::State & state)
{
  Scene scene;
  for (auto _ : state) {
    scene.detector.reference_point_count = 0;
    scene.detector.addInputCloud(scene.points);
    benchmark::DoNotOptimize(scene.detector.slope_grid.data());
  }
  state.counters["placed"] = scene.detector.reference_point_count;
  state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_Binning)->Unit(benchmark::kMillisecond);

void BM_BinningPclCloud(benchmark::State & state)
{
  Scene scene;
  auto cloud = std::make_shared<velnor::FrustumDetector::Cloud>();
  for (int k = 0; k < kPoints; ++k) {
    cloud->push_back(pcl::PointXYZ(scene.points(0, k), scene.points(1, k), scene.points(2, k)));
  }
  for (auto _ : state) {
    scene.detector.reference_point_count = 0;
    scene.detector.setInputCloud(cloud);
    benchmark::DoNotOptimize(scene.detector.slope_grid.data());
  }
  state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_BinningPclCloud)->Unit(benchmark::kMillisecond);

void BM_CheckPointFrustumStatus(benchmark::State & state)
{
  Scene scene;
  scene.detector.addInputCloud(scene.points.leftCols(kPoints / 10));
  scene.detector.fixSetting();
  std::vector<pcl::PointXYZ> cached(kPoints);
  for (int k = 0; k < kPoints; ++k) {
    cached[k] = pcl::PointXYZ(scene.points(0, k), scene.points(1, k), scene.points(2, k));
  }
  int64_t hidden_or_seen = 0;
  for (auto _ : state) {
    int64_t sum = 0;
    for (const auto & p : cached) {
      sum += scene.detector.checkPointFrustumStatus(p, false);
    }
    benchmark::DoNotOptimize(sum);
    hidden_or_seen = sum;
  }
  state.counters["status_sum"] = static_cast<double>(hidden_or_seen);
  state.SetItemsProcessed(state.iterations() * kPoints);
}
BENCHMARK(BM_CheckPointFrustumStatus)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
