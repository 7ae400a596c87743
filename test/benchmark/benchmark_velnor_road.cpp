// The whole road of depth-camera clouds in one process: SemanticPointCloud messages published on
// their topics -> message filter -> observation buffer -> cache -> VelnorLayer -> grid -> obstacle
// map, in a "local_semanticmap" node (rolling 4 m x 4 m at 0.05 m, cycle at 5 Hz) fed by 1, 2 or 4
// VGA cameras at 30 Hz. Each camera's cloud is ray-cast once from the demo room and re-stamped
// for every publish, so the figures are the server's cost.
//   build/test/benchmark/benchmark_velnor_road [--benchmark_min_time=...]
// Reported: points/s received, the node's own update-cycle times ("Map update time", median and
// 99th percentile, ms) and the server's CPU seconds per wall second (the process's CPU time minus
// that of the publishing threads).
#include <benchmark/benchmark.h>
#include <rcutils/logging.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../unit/rcutils_message.hpp"
#include "brindlex_nav2_semanticmap/semanticmap_ros.hpp"
#include "demo_world.hpp"
#include "lifecycle_msgs/msg/state.hpp"
#include "nav_msgs/msg/occupancy_grid.hpp"
#include "rclcpp/rclcpp.hpp"
#include "simulated_cameras.hpp"
#include "tf2_ros/static_transform_broadcaster.h"
#include "tf2_ros/transform_broadcaster.h"

namespace {

using namespace std::chrono_literals;
using Grid = semantic_map::Semanticmap<semantic_map::MapTypeAndHeight>;
using NodeT = semantic_map::SemanticmapROS<Grid>;
using Cloud = brindlex_protocol::msg::SemanticPointCloud;

double cpuSeconds(clockid_t clock)
{
  timespec time{};
  clock_gettime(clock, &time);
  return static_cast<double>(time.tv_sec) + time.tv_nsec * 1e-9;
}

// The node's cycle times, taken from its own "Map update time" debug records.
std::mutex cycle_mutex;
std::vector<double> cycle_seconds;
rcutils_logging_output_handler_t default_handler = nullptr;

void recordCycles(
    const rcutils_log_location_t * location,
    int severity,
    const char * name,
    rcutils_time_point_value_t stamp,
    const char * format,
    va_list * args)
{
  double seconds = 0.0;
  const std::string text = velnor_test::formatRcutilsMessage(format, args);
  if (std::sscanf(text.c_str(), "Map update time: %lf", &seconds) == 1) {
    std::lock_guard<std::mutex> lock(cycle_mutex);
    cycle_seconds.push_back(seconds);
  } else if (severity >= RCUTILS_LOG_SEVERITY_WARN && default_handler != nullptr) {
    default_handler(location, severity, name, stamp, format, args);
  }
}

// Publishes map -> odom -> base_link (standing still) and each camera's pre-rendered cloud at
// 30 Hz on a thread of its own; counts the CPU time of its threads.
class CameraRig
{
public:
  explicit CameraRig(int camera_count)
      : node(std::make_shared<rclcpp::Node>("benchmark_rig")),
        broadcaster(node),
        static_broadcaster(node)
  {
    const demo::DemoWorld world;
    auto models = demo::demoCameras(640, 480);
    std::vector<geometry_msgs::msg::TransformStamped> mounts;
    for (int i = 0; i < camera_count; ++i) {
      // Four cameras around the robot: front, left, back, right.
      demo::CameraModel camera = models[0];
      camera.name = "camera" + std::to_string(i);
      const double yaw = i * M_PI / 2.0;
      Eigen::Isometry3d mount = Eigen::Isometry3d::Identity();
      mount.linear() = (Eigen::AngleAxisd(yaw, Eigen::Vector3d::UnitZ()) *
                        Eigen::AngleAxisd(0.35, Eigen::Vector3d::UnitY()))
                           .toRotationMatrix();
      mount.translation() = Eigen::Vector3d(0.2 * std::cos(yaw), 0.2 * std::sin(yaw), 0.25);
      camera.base_to_link = mount;
      mounts.push_back(
          demo::toTransform(camera.base_to_link, node->now(), "base_link", camera.linkFrame()));
      mounts.push_back(demo::toTransform(
          demo::CameraModel::linkToOptical(),
          node->now(),
          camera.linkFrame(),
          camera.opticalFrame()));
      // The robot stands at odom (0, 0), map (1, 0), in the middle of the room at 10 s.
      const Eigen::Isometry3d pose = demo::toIsometry(demo::kOdomInMap) * camera.base_to_link *
                                     demo::CameraModel::linkToOptical();
      auto cloud = demo::renderCloud(world, camera, pose, 10.0, 0);
      cloud.header.frame_id = camera.opticalFrame();
      for (const auto & element : cloud.semantic_clouds) {
        points_per_cloud[i] += element.points.width * element.points.height;
      }
      clouds.push_back(std::move(cloud));
      infos.push_back(demo::makeCameraInfo(camera));
      cloud_publishers.push_back(node->create_publisher<Cloud>(
          "/" + camera.name + "/semantic_points", rclcpp::SensorDataQoS()));
      info_publishers.push_back(node->create_publisher<sensor_msgs::msg::CameraInfo>(
          "/" + camera.name + "/camera_info", rclcpp::SystemDefaultsQoS()));
    }
    mounts.push_back(
        demo::toTransform(demo::toIsometry(demo::kOdomInMap), node->now(), "map", "odom"));
    static_broadcaster.sendTransform(mounts);
    threads.emplace_back([this]() { publishPose(); });
    for (int i = 0; i < camera_count; ++i) {
      threads.emplace_back([this, i]() { publishClouds(i); });
    }
  }

  ~CameraRig()
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

  /// CPU seconds the rig's threads have used so far (each updates its share every tick).
  double threadCpuSeconds() const
  {
    uint64_t total = 0;
    for (const auto & ns : thread_cpu_ns) {
      total += ns.load();
    }
    return total * 1e-9;
  }
  uint64_t pointsPublished() const { return points.load(); }

private:
  // Records this thread's CPU time in its slot, then waits for the next tick; false once told to
  // stop.
  bool tick(
      std::size_t slot,
      std::chrono::steady_clock::time_point & next,
      std::chrono::nanoseconds period)
  {
    thread_cpu_ns[slot] = static_cast<uint64_t>(cpuSeconds(CLOCK_THREAD_CPUTIME_ID) * 1e9);
    next += period;
    std::unique_lock<std::mutex> lock(mutex);
    return !wake.wait_until(lock, next, [this]() { return stop; });
  }

  void publishPose()
  {
    auto next = std::chrono::steady_clock::now();
    while (tick(4, next, 50ms)) {
      broadcaster.sendTransform(
          demo::toTransform(Eigen::Isometry3d::Identity(), node->now(), "odom", "base_link"));
    }
  }

  void publishClouds(int index)
  {
    auto next = std::chrono::steady_clock::now();
    while (tick(static_cast<std::size_t>(index), next, std::chrono::nanoseconds(1000000000 / 30))) {
      const rclcpp::Time stamp = node->now();
      auto info = std::make_unique<sensor_msgs::msg::CameraInfo>(infos[index]);
      info->header.stamp = stamp;
      info_publishers[index]->publish(std::move(info));
      auto cloud = std::make_unique<Cloud>(clouds[index]);
      cloud->header.stamp = stamp;
      cloud_publishers[index]->publish(std::move(cloud));
      points += points_per_cloud[index];
    }
  }

  rclcpp::Node::SharedPtr node;
  tf2_ros::TransformBroadcaster broadcaster;
  tf2_ros::StaticTransformBroadcaster static_broadcaster;
  std::vector<Cloud> clouds;
  std::vector<sensor_msgs::msg::CameraInfo> infos;
  uint64_t points_per_cloud[4]{};
  std::vector<rclcpp::Publisher<Cloud>::SharedPtr> cloud_publishers;
  std::vector<rclcpp::Publisher<sensor_msgs::msg::CameraInfo>::SharedPtr> info_publishers;
  std::mutex mutex;
  std::condition_variable wake;
  bool stop{false};
  std::atomic<uint64_t> thread_cpu_ns[5]{};
  std::atomic<uint64_t> points{0};
  std::vector<std::thread> threads;
};

void setUpLocalNode(NodeT & node, int camera_count)
{
  auto set = [&node](const std::string & name, const rclcpp::ParameterValue & value) {
    if (node.has_parameter(name)) {
      node.set_parameter(rclcpp::Parameter(name, value));
    } else {
      node.declare_parameter(name, value);
    }
  };
  set("global_frame", rclcpp::ParameterValue(std::string("odom")));
  set("robot_base_frame", rclcpp::ParameterValue(std::string("base_link")));
  set("rolling_window", rclcpp::ParameterValue(true));
  set("width", rclcpp::ParameterValue(4));
  set("height", rclcpp::ParameterValue(4));
  set("resolution", rclcpp::ParameterValue(0.05));
  set("update_frequency", rclcpp::ParameterValue(5.0));
  set("publish_frequency", rclcpp::ParameterValue(5.0));
  set("plugins", rclcpp::ParameterValue(std::vector<std::string>{}));
  set("semanticmap_plugins",
      rclcpp::ParameterValue(std::vector<std::string>{"velnor_layer", "obstacle_map_layer"}));
  set("velnor_layer.plugin", rclcpp::ParameterValue(std::string("semantic_map::VelnorLayer")));
  set("obstacle_map_layer.plugin",
      rclcpp::ParameterValue(std::string("semantic_map::ObstacleMapPublishLayer")));
  set("obstacle_map_layer.topic_name", rclcpp::ParameterValue(std::string("obstacle_map")));
  set("obstacle_map_layer.map_publish_frequency", rclcpp::ParameterValue(5.0));
  std::string frustums;
  std::string sources;
  for (int i = 0; i < camera_count; ++i) {
    const std::string camera = "camera" + std::to_string(i);
    frustums += camera + " ";
    sources += "source" + std::to_string(i) + " ";
    set("velnor_layer." + camera + ".camera_info_topic",
        rclcpp::ParameterValue("/" + camera + "/camera_info"));
    const std::string prefix = "velnor_layer.source" + std::to_string(i) + ".";
    set(prefix + "topic_name", rclcpp::ParameterValue("/" + camera + "/semantic_points"));
    set(prefix + "msg_type", rclcpp::ParameterValue(std::string("SemanticPointCloud")));
    set(prefix + "frustum_name", rclcpp::ParameterValue(camera));
    set(prefix + "marking", rclcpp::ParameterValue(true));
  }
  set("velnor_layer.frustum_list", rclcpp::ParameterValue(frustums));
  set("velnor_layer.default_frustum_conf.max_view_distance", rclcpp::ParameterValue(4.0));
  set("velnor_layer.observation_list", rclcpp::ParameterValue(sources));
}

double percentile(std::vector<double> values, double fraction)
{
  if (values.empty()) {
    return 0.0;
  }
  std::sort(values.begin(), values.end());
  const auto index = static_cast<std::size_t>(std::ceil(fraction * values.size())) - 1;
  return values[std::min(index, values.size() - 1)];
}

void BM_VelnorRoad(benchmark::State & state)
{
  const int camera_count = static_cast<int>(state.range(0));
  for (auto _ : state) {
    auto rig = std::make_unique<CameraRig>(camera_count);
    auto node = std::make_shared<NodeT>("local_semanticmap");
    setUpLocalNode(*node, camera_count);
    // A subscriber, so that the obstacle map is built and sent.
    auto observer = std::make_shared<rclcpp::Node>("benchmark_observer");
    auto subscription = observer->create_subscription<nav_msgs::msg::OccupancyGrid>(
        "/local_semanticmap/obstacle_map",
        rclcpp::QoS(1).transient_local().reliable(),
        [](nav_msgs::msg::OccupancyGrid::ConstSharedPtr) {});
    rclcpp::executors::MultiThreadedExecutor executor(rclcpp::ExecutorOptions(), 2, true);
    executor.add_node(node->get_node_base_interface());
    executor.add_node(observer);
    std::thread spin([&executor]() { executor.spin(); });
    if (node->configure().id() != lifecycle_msgs::msg::State::PRIMARY_STATE_INACTIVE ||
        node->activate().id() != lifecycle_msgs::msg::State::PRIMARY_STATE_ACTIVE) {
      state.SkipWithError("the node did not come up");
    }
    // Warm-up: frustums built from CameraInfo, the cache filled.
    std::this_thread::sleep_for(3s);
    {
      std::lock_guard<std::mutex> lock(cycle_mutex);
      cycle_seconds.clear();
    }
    const auto wall_start = std::chrono::steady_clock::now();
    const double cpu_start = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
    const double rig_start = rig->threadCpuSeconds();
    const uint64_t points_start = rig->pointsPublished();
    std::this_thread::sleep_for(10s);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
    const double cpu = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpu_start;
    const double rig_cpu = rig->threadCpuSeconds() - rig_start;
    const uint64_t points = rig->pointsPublished() - points_start;
    std::vector<double> cycles;
    {
      std::lock_guard<std::mutex> lock(cycle_mutex);
      cycles = cycle_seconds;
    }
    rig.reset();
    node->deactivate();
    executor.cancel();
    spin.join();
    state.SetIterationTime(wall);
    state.counters["points_per_s"] = points / wall;
    state.counters["cycles"] = static_cast<double>(cycles.size());
    state.counters["cycle_median_ms"] = percentile(cycles, 0.5) * 1e3;
    state.counters["cycle_p99_ms"] = percentile(cycles, 0.99) * 1e3;
    state.counters["server_cpu_per_wall"] = (cpu - rig_cpu) / wall;
    state.counters["process_cpu_per_wall"] = cpu / wall;
  }
}

BENCHMARK(BM_VelnorRoad)
    ->Arg(1)
    ->Arg(2)
    ->Arg(4)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char ** argv)
{
  rclcpp::init(0, nullptr);
  rcutils_logging_set_default_logger_level(RCUTILS_LOG_SEVERITY_DEBUG);
  default_handler = rcutils_logging_get_output_handler();
  rcutils_logging_set_output_handler(recordCycles);
  ::benchmark::Initialize(&argc, argv);
  ::benchmark::RunSpecifiedBenchmarks();
  ::benchmark::Shutdown();
  rclcpp::shutdown();
  return 0;
}
