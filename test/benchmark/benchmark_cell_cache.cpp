// Throughput of one cache update with four VGA depth cameras, two frustums in use and ten
// seconds of history, against a loop that only reads every gathered point and computes its cell
// key, measured in the same run.
#include <benchmark/benchmark.h>

#include <Eigen/Geometry>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "brindlex_velnor/cell_cache.hpp"
#include "brindlex_velnor/frustum_detector.hpp"
#include "brindlex_velnor/observation.hpp"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kCameras = 4;
constexpr int kClasses = 4;
constexpr double kFocal = 525.0;
constexpr double kCameraHeight = 0.35;  // m above the floor
constexpr double kCycle = 0.2;          // s, five update cycles per second
constexpr double kSpeed = 0.5;          // m/s, straight along x
constexpr double kHistory = 10.0;       // s, the decay time
constexpr double kPi = 3.14159265358979323846;

sensor_msgs::msg::CameraInfo cameraInfo()
{
  sensor_msgs::msg::CameraInfo info;
  info.header.frame_id = "camera_optical";
  info.width = kWidth;
  info.height = kHeight;
  info.p = {kFocal, 0.0, 319.5, 0.0, 0.0, kFocal, 239.5, 0.0, 0.0, 0.0, 1.0, 0.0};
  return info;
}

double cameraYaw(int camera) { return camera * kPi / 2.0; }

/**
 * What the four cameras of a robot at the origin see: every pixel's ray meets the floor or, beyond
 * 3.5 m, a wall with a wavy face, so neighbouring pixels land in neighbouring cells as in a real
 * depth image. Each cloud splits into four classes by image region, in pixel order, and comes from
 * a source of its own.
 */
std::vector<velnor::Observation> baseClouds()
{
  std::vector<velnor::Observation> clouds(kCameras);
  for (int c = 0; c < kCameras; ++c) {
    const double yaw = cameraYaw(c);
    std::vector<std::vector<float>> xyz(kClasses);
    for (int v = 0; v < kHeight; ++v) {
      for (int u = 0; u < kWidth; ++u) {
        const double right = (u - 319.5) / kFocal;
        const double down = (v - 239.5) / kFocal;
        // Ray (forward 1, right, down) in the camera's horizontal frame.
        double t = 3.5 + 0.3 * std::sin(3.0 * right) + 0.2 * std::cos(7.0 * down);
        if (down > 0.0) {
          t = std::min(t, kCameraHeight / down);
        }
        const double fx = t;
        const double fy = -right * t;  // right of the view is toward -y in its own frame
        const double z = kCameraHeight - down * t;
        const double gx = fx * std::cos(yaw) - fy * std::sin(yaw);
        const double gy = fx * std::sin(yaw) + fy * std::cos(yaw);
        const int k = (u < kWidth / 2 ? 0 : 1) + (v < kHeight / 2 ? 0 : 2);
        xyz[static_cast<size_t>(k)].insert(
            xyz[static_cast<size_t>(k)].end(),
            {static_cast<float>(gx), static_cast<float>(gy), static_cast<float>(z)});
      }
    }
    for (int k = 0; k < kClasses; ++k) {
      velnor::ObservationUnit unit;
      unit.type = semantic_map::SemanticType(1u << k);
      const auto & p = xyz[static_cast<size_t>(k)];
      unit.points = Eigen::Map<const velnor::PointMatrix>(
          p.data(), 3, static_cast<Eigen::Index>(p.size() / 3));
      unit.updateEdge();
      clouds[static_cast<size_t>(c)].units.push_back(unit);
    }
    clouds[static_cast<size_t>(c)].source = static_cast<uint32_t>(c);
  }
  return clouds;
}

/// One update cycle's input: the base clouds moved with the robot, and two posed detectors.
class Drive
{
public:
  Drive()
      : base(baseClouds()),
        gathered(base),
        detectors{
            std::make_shared<velnor::FrustumDetector>(
                cameraInfo(), 0.3f, 4.0f, 0.0175f, 0.05f, velnor::FrustumDetectorStrategy()),
            std::make_shared<velnor::FrustumDetector>(
                cameraInfo(), 0.3f, 4.0f, 0.0175f, 0.05f, velnor::FrustumDetectorStrategy())}
  {
    settings.cache_resolution = 0.05;
    settings.decay_time = kHistory;
    settings.local_cache_distance = 8.0;
    settings.clearing_min_point_cloud = 10;
    settings.enable_near_blocked_protection = true;
    settings.number_points_considered_as_blocked = 100;
  }

  double robotX() const { return kSpeed * kCycle * cycle; }
  double now() const { return 1000.0 + kCycle * cycle; }

  /// Moves to the next cycle's pose and fills the observations and the detectors.
  void next()
  {
    ++cycle;
    const auto dx = static_cast<float>(robotX());
    const double stamp = now() - 0.03;
    for (size_t c = 0; c < gathered.size(); ++c) {
      gathered[c].stamp.sec = static_cast<int32_t>(stamp);
      gathered[c].stamp.nanosec = static_cast<uint32_t>((stamp - std::floor(stamp)) * 1e9);
      for (size_t k = 0; k < gathered[c].units.size(); ++k) {
        auto & unit = gathered[c].units[k];
        unit.points = base[c].units[k].points;
        unit.points.row(0).array() += dx;
        unit.min_x = base[c].units[k].min_x + dx;
        unit.max_x = base[c].units[k].max_x + dx;
      }
    }
    for (size_t d = 0; d < detectors.size(); ++d) {
      auto & detector = *detectors[d];
      const double yaw = cameraYaw(static_cast<int>(d));
      const Eigen::Vector3f forward(
          static_cast<float>(std::cos(yaw)), static_cast<float>(std::sin(yaw)), 0.0f);
      const Eigen::Vector3f right(
          static_cast<float>(std::sin(yaw)), static_cast<float>(-std::cos(yaw)), 0.0f);
      Eigen::Matrix4f pose = Eigen::Matrix4f::Identity();
      pose.block<3, 1>(0, 0) = right;
      pose.block<3, 1>(0, 1) = Eigen::Vector3f(0.0f, 0.0f, -1.0f);
      pose.block<3, 1>(0, 2) = forward;
      pose.block<3, 1>(0, 3) = Eigen::Vector3f(dx, 0.0f, static_cast<float>(kCameraHeight));
      detector.clear();
      detector.setPose(pose, rclcpp::Time(0, 0));
      geometry_msgs::msg::Polygon shape;
      for (double b : {-0.7, 0.0, 0.7}) {
        for (double r : {0.1, 5.0}) {
          geometry_msgs::msg::Point32 v;
          v.x = static_cast<float>(dx + r * std::cos(yaw + b));
          v.y = static_cast<float>(r * std::sin(yaw + b));
          shape.points.push_back(v);
        }
      }
      detector.setShape(shape);
      for (const auto & unit : gathered[d].units) {
        detector.addInputCloud(unit.points);
      }
      detector.fixSetting();
    }
  }

  int64_t points() const
  {
    int64_t n = 0;
    for (const auto & o : gathered) {
      for (const auto & u : o.units) {
        n += u.points.cols();
      }
    }
    return n;
  }

  std::vector<velnor::Observation> base;
  std::vector<velnor::Observation> gathered;
  std::vector<std::shared_ptr<velnor::FrustumDetector>> detectors;
  velnor::CellCache::Settings settings;
  int cycle{0};
};

void BM_CacheUpdate(benchmark::State & state)
{
  Drive drive;
  velnor::CellCache cache;
  std::vector<velnor::MapChangeUnit> changes;
  // Fill ten seconds of history first.
  for (int i = 0; i < static_cast<int>(kHistory / kCycle); ++i) {
    drive.next();
    changes.clear();
    cache.update(
        drive.gathered, drive.detectors, drive.settings, drive.robotX(), 0.0, drive.now(), changes);
  }
  size_t cached_points = 0;
  size_t change_count = 0;
  for (auto _ : state) {
    state.PauseTiming();
    drive.next();
    changes.clear();
    state.ResumeTiming();
    cache.update(
        drive.gathered, drive.detectors, drive.settings, drive.robotX(), 0.0, drive.now(), changes);
    benchmark::DoNotOptimize(changes.data());
    change_count += changes.size();
  }
  for (const auto & unit : cache.getUnits()) {
    cached_points += static_cast<size_t>(unit.points.cols());
  }
  state.SetItemsProcessed(state.iterations() * drive.points());
  state.counters["cached_units"] = static_cast<double>(cache.size());
  state.counters["cached_points"] = static_cast<double>(cached_points);
  state.counters["history_s"] =
      cache.getUnits().empty() ? 0.0 : drive.now() - cache.getUnits().back().stamp;
  state.counters["changes_per_cycle"] =
      static_cast<double>(change_count) / static_cast<double>(state.iterations());
}

void BM_CellKeyBaseline(benchmark::State & state)
{
  Drive drive;
  drive.next();
  const double resolution = drive.settings.cache_resolution;
  for (auto _ : state) {
    uint64_t sum = 0;
    for (const auto & o : drive.gathered) {
      for (const auto & u : o.units) {
        const float * p = u.points.data();
        const auto n = static_cast<size_t>(u.points.cols());
        for (size_t i = 0; i < n; ++i) {
          const double qx = static_cast<double>(p[3 * i]) / resolution;
          const double qy = static_cast<double>(p[3 * i + 1]) / resolution;
          const auto ix = static_cast<uint32_t>(static_cast<int32_t>(qx));
          const auto iy = static_cast<uint32_t>(static_cast<int32_t>(qy));
          sum += (static_cast<uint64_t>(ix) << 32) | iy;
          sum += static_cast<uint64_t>(p[3 * i + 2] > 0.0f);
        }
      }
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * drive.points());
}

}  // namespace

BENCHMARK(BM_CellKeyBaseline)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CacheUpdate)->Unit(benchmark::kMillisecond)->Iterations(100);

BENCHMARK_MAIN();
