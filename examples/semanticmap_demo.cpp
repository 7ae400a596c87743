// semanticmap_demo: runs the two semantic map nodes exactly as semanticmap_node does, beside a
// simulated robot that drives a loop through a scripted room, publishes map -> odom -> base_link
// and carries two depth cameras (demo_world.hpp, simulated_cameras.hpp), and prints what each node
// is doing.
//
//   semanticmap_demo [--duration SECONDS] [--params-file FILE] [--vga] [ROS arguments...]
//
// The cameras render 320 x 240 at 15 Hz, or 640 x 480 at 30 Hz with --vga. Without --duration it
// runs until Ctrl-C. At start it switches clean-coverage tracing on, as the robot software does
// when cleaning begins, so the covered map shows the band the robot cleaned. On exit it writes the
// last obstacle and covered maps each node published, and each node's semantic grid, as PNG
// images (--output DIR, default "demo_maps"). It exits with status 1 and one ERROR when a node
// never became active or, active with a map-publishing layer, published no map; a Ctrl-C during
// start-up is no failure.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <future>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "brindlex_nav2_protocol/srv/trigger_clean_coverage.hpp"
#include "brindlex_nav2_semanticmap/semantic_type.hpp"
#include "brindlex_nav2_semanticmap/semanticmap_ros.hpp"
#include "demo_world.hpp"
#include "geometry_msgs/msg/polygon_stamped.hpp"
#include "geometry_msgs/msg/transform_stamped.hpp"
#include "lifecycle_msgs/msg/state.hpp"
#include "map_msgs/msg/occupancy_grid_update.hpp"
#include "nav_msgs/msg/occupancy_grid.hpp"
#include "rclcpp/rclcpp.hpp"
#include "semantic_grid_image.hpp"
#include "semanticmap_startup.hpp"
#include "simulated_cameras.hpp"
#include "tf2_ros/static_transform_broadcaster.h"
#include "tf2_ros/transform_broadcaster.h"

namespace
{

using SemanticmapNode =
  semantic_map::SemanticmapROS<semantic_map::Semanticmap<semantic_map::MapTypeAndHeight>>;

struct Options
{
  double duration{0.0};
  std::string output{"demo_maps"};
  bool vga{false};
  std::vector<std::string> ros_arguments;
};

/// Reads the command line into @p options; false, with @p error set, when it is not usable.
bool parseOptions(int argc, char ** argv, Options & options, std::string & error)
{
  std::string params_file;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--duration" || arg == "--output" || arg == "--params-file") {
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      const std::string value = argv[++i];
      if (arg == "--duration") {
        char * end = nullptr;
        options.duration = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !std::isfinite(options.duration) ||
          options.duration < 0.0)
        {
          error = "--duration needs a number of seconds, not '" + value + "'";
          return false;
        }
      } else if (arg == "--output") {
        options.output = value;
      } else {
        params_file = value;
      }
    } else if (arg == "--vga") {
      options.vga = true;
    } else {
      options.ros_arguments.push_back(arg);
    }
  }
  if (!params_file.empty()) {
    options.ros_arguments.insert(
      options.ros_arguments.begin(), {"--ros-args", "--params-file", params_file, "--"});
  }
  return true;
}

/**
 * A robot that follows the demo script (demo::robotPoseAt: a circle of 2 m radius around the odom
 * origin in 40 s), publishes its TF at 20 Hz and carries the demo's two depth cameras.
 */
class SimulatedRobot
{
public:
  SimulatedRobot(uint32_t width, uint32_t height, double camera_rate)
  : node_(std::make_shared<rclcpp::Node>("simulated_robot")),
    static_broadcaster_(node_),
    broadcaster_(node_),
    start_(node_->now())
  {
    static_broadcaster_.sendTransform(
      demo::toTransform(demo::toIsometry(demo::kOdomInMap), start_, "map", "odom"));
    publish();
    timer_ = node_->create_wall_timer(std::chrono::milliseconds(50), [this]() {publish();});
    executor_.add_node(node_);
    thread_ = std::thread([this]() {executor_.spin();});
    cameras_ = std::make_unique<demo::SimulatedCameras>(
      node_, std::make_shared<demo::DemoWorld>(), demo::demoCameras(width, height), start_,
      camera_rate);
  }

  ~SimulatedRobot()
  {
    cameras_.reset();
    executor_.cancel();
    thread_.join();
  }

private:
  void publish()
  {
    const rclcpp::Time now = node_->now();
    const demo::Pose2D pose = demo::robotPoseAt((now - start_).seconds());
    broadcaster_.sendTransform(
      demo::toTransform(demo::toIsometry(pose), now, "odom", "base_link"));
  }

  rclcpp::Node::SharedPtr node_;
  tf2_ros::StaticTransformBroadcaster static_broadcaster_;
  tf2_ros::TransformBroadcaster broadcaster_;
  const rclcpp::Time start_;
  rclcpp::TimerBase::SharedPtr timer_;
  rclcpp::executors::SingleThreadedExecutor executor_;
  std::thread thread_;
  std::unique_ptr<demo::SimulatedCameras> cameras_;
};

/// Counts the footprints a node publishes: one per update cycle.
class CycleCounter
{
public:
  CycleCounter(const rclcpp::Node::SharedPtr & node, const std::string & node_name)
  {
    subscription_ = node->create_subscription<geometry_msgs::msg::PolygonStamped>(
      "/" + node_name + "/published_footprint", rclcpp::SystemDefaultsQoS(),
      [this](geometry_msgs::msg::PolygonStamped::ConstSharedPtr) {++count_;});
  }

  /// Cycles per second since the last call.
  double rate()
  {
    const auto now = std::chrono::steady_clock::now();
    const double seconds = std::chrono::duration<double>(now - last_).count();
    last_ = now;
    return seconds > 0.0 ? count_.exchange(0) / seconds : 0.0;
  }

private:
  rclcpp::Subscription<geometry_msgs::msg::PolygonStamped>::SharedPtr subscription_;
  std::atomic<int> count_{0};
  std::chrono::steady_clock::time_point last_{std::chrono::steady_clock::now()};
};

/**
 * Keeps the last map of one topic the way a map consumer does: a full OccupancyGrid replaces it,
 * an OccupancyGridUpdate overwrites its window.
 */
class MapRecorder
{
public:
  MapRecorder(const rclcpp::Node::SharedPtr & node, const std::string & topic)
  : topic_(topic)
  {
    const auto qos = rclcpp::QoS(rclcpp::KeepLast(1)).transient_local().reliable();
    grid_subscription_ = node->create_subscription<nav_msgs::msg::OccupancyGrid>(
      topic, qos, [this](nav_msgs::msg::OccupancyGrid::ConstSharedPtr grid) {
        std::lock_guard<std::mutex> lock(mutex_);
        map_ = *grid;
        ++grids_;
      });
    update_subscription_ = node->create_subscription<map_msgs::msg::OccupancyGridUpdate>(
      topic + "_updates", qos, [this](map_msgs::msg::OccupancyGridUpdate::ConstSharedPtr update) {
        applyUpdate(*update);
      });
  }

  /// Writes the map as a PNG (free white, occupied black, unknown grey, north up); returns the path
  /// or an empty string when no map arrived.
  std::string writePng(const std::string & directory) const
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto width = static_cast<int>(map_.info.width);
    const auto height = static_cast<int>(map_.info.height);
    if (width == 0 || height == 0 ||
      map_.data.size() != static_cast<size_t>(width) * static_cast<size_t>(height))
    {
      return "";
    }
    cv::Mat image(height, width, CV_8UC1);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const int8_t value = map_.data[static_cast<size_t>(x + y * width)];
        image.at<uint8_t>(height - 1 - y, x) =
          value < 0 ? 128 : static_cast<uint8_t>(255 - std::min<int>(value, 100) * 255 / 100);
      }
    }
    std::string name = topic_.substr(1);
    std::replace(name.begin(), name.end(), '/', '_');
    const std::string path = directory + "/" + name + ".png";
    return cv::imwrite(path, image) ? path : "";
  }

  /// Whether a full map arrived (updates only ever follow one).
  bool received() const
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return grids_ > 0;
  }

  const std::string & topic() const {return topic_;}

  std::string summary() const
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return topic_ + ": " + std::to_string(grids_) + " full grids, " + std::to_string(updates_) +
           " updates";
  }

private:
  void applyUpdate(const map_msgs::msg::OccupancyGridUpdate & update)
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++updates_;
    const uint32_t width = map_.info.width;
    if (update.x < 0 || update.y < 0 ||
      static_cast<uint64_t>(update.x) + update.width > width ||
      static_cast<uint64_t>(update.y) + update.height > map_.info.height ||
      update.data.size() != static_cast<size_t>(update.width) * update.height)
    {
      return;  // an update for another grid than the one held
    }
    for (uint32_t row = 0; row < update.height; ++row) {
      std::copy_n(
        update.data.begin() + static_cast<std::ptrdiff_t>(row * update.width), update.width,
        map_.data.begin() + static_cast<std::ptrdiff_t>(update.x + (update.y + row) * width));
    }
  }

  std::string topic_;
  rclcpp::Subscription<nav_msgs::msg::OccupancyGrid>::SharedPtr grid_subscription_;
  rclcpp::Subscription<map_msgs::msg::OccupancyGridUpdate>::SharedPtr update_subscription_;
  mutable std::mutex mutex_;
  nav_msgs::msg::OccupancyGrid map_;
  int grids_{0};
  int updates_{0};
};

/// Switches clean-coverage tracing on through "/trigger_clean_coverage" once the global node
/// offers it (after its configuration), as the robot software does when cleaning starts. The
/// response arrives through the executor spinning @p node.
void startCleaning(const rclcpp::Node::SharedPtr & node)
{
  using brindlex_nav2_protocol::srv::TriggerCleanCoverage;
  auto client = node->create_client<TriggerCleanCoverage>("/trigger_clean_coverage");
  while (rclcpp::ok() && !client->wait_for_service(std::chrono::milliseconds(200))) {
  }
  if (!rclcpp::ok()) {
    return;
  }
  auto request = std::make_shared<TriggerCleanCoverage::Request>();
  request->enable = true;
  auto response = client->async_send_request(request);
  while (rclcpp::ok() &&
    response.wait_for(std::chrono::milliseconds(200)) != std::future_status::ready)
  {
  }
  if (rclcpp::ok()) {
    std::printf(
      "clean-coverage tracing %s\n", response.get()->success ? "switched on" : "refused");
    std::fflush(stdout);
  }
}

/// Writes the node's semantic grid (semantic_grid_image.hpp) as <dir>/<node>_semantic_grid.png;
/// returns the path, or an empty string when the node has no grid.
std::string writeSemanticGridPng(SemanticmapNode & node, const std::string & directory)
{
  auto map = node.getLayeredSemanticmap();
  if (!map) {
    return "";
  }
  cv::Mat image;
  map->getSemanticmap(
    [&image](semantic_map::Semanticmap<semantic_map::MapTypeAndHeight> * semanticmap) {
      std::lock_guard<std::mutex> lock(semanticmap->mutex);
      // Small grids are drawn larger, so that a cell stays visible.
      const int scale = std::max(1, 480 / static_cast<int>(std::max(1u, semanticmap->grid->size_x)));
      image = demo::renderSemanticGrid(*semanticmap->grid, scale);
    });
  if (image.empty()) {
    return "";
  }
  const std::string path = directory + "/" + node.get_name() + "_semantic_grid.png";
  return cv::imwrite(path, image) ? path : "";
}

void printStatus(SemanticmapNode & node, CycleCounter & cycles)
{
  std::string grid = "no grid";
  std::string layers;
  if (auto map = node.getLayeredSemanticmap()) {
    map->getSemanticmap(
      [&grid](semantic_map::Semanticmap<semantic_map::MapTypeAndHeight> * semanticmap) {
        std::lock_guard<std::mutex> lock(semanticmap->mutex);
        char text[160];
        std::snprintf(
          text, sizeof(text), "%ux%u cells at %.3f m, origin (%.2f, %.2f)",
          semanticmap->grid->size_x, semanticmap->grid->size_y, semanticmap->resolution,
          semanticmap->origin_x, semanticmap->origin_y);
        grid = text;
      });
    map->forEachLayer(
      [&layers](std::shared_ptr<semantic_map::BrindlexLayer> & layer) {
        layers += (layers.empty() ? "" : ", ") + layer->name;
      });
  }
  std::printf(
    "%-20s %-10s %s, %.1f cycles/s, layers: [%s]\n", node.get_name(),
    node.get_current_state().label().c_str(), grid.c_str(), cycles.rate(), layers.c_str());
  std::fflush(stdout);
}

/// The map topics, of those @p maps records, that a layer of @p node is configured to publish.
std::vector<const MapRecorder *> mapsOf(
  SemanticmapNode & node, const std::vector<std::unique_ptr<MapRecorder>> & maps)
{
  std::vector<const MapRecorder *> published;
  const rclcpp::Parameter layers = node.get_parameter("semanticmap_plugins");
  for (const auto & layer : layers.as_string_array()) {
    rclcpp::Parameter topic;
    if (!node.get_parameter(layer + ".topic_name", topic) ||
      topic.get_type() != rclcpp::ParameterType::PARAMETER_STRING)
    {
      continue;
    }
    const std::string name = "/" + std::string(node.get_name()) + "/" + topic.as_string();
    for (const auto & map : maps) {
      if (map->topic() == name) {
        published.push_back(map.get());
      }
    }
  }
  return published;
}

/**
 * The run's verdict: empty when every node became active and, when @p judge_maps, each node that
 * publishes maps published one the demo received; otherwise why not, as one line.
 */
std::string runFailure(
  const std::vector<SemanticmapNode *> & nodes,
  const std::vector<std::unique_ptr<MapRecorder>> & maps, bool judge_maps)
{
  std::string failure;
  for (SemanticmapNode * node : nodes) {
    const std::string name = node->get_name();
    std::string problem;
    if (node->get_current_state().id() != lifecycle_msgs::msg::State::PRIMARY_STATE_ACTIVE) {
      problem = name + " never became active (it is " + node->get_current_state().label() + ")";
    } else if (judge_maps) {
      const auto published = mapsOf(*node, maps);
      if (!published.empty() &&
        std::none_of(published.begin(), published.end(), [](const MapRecorder * map) {
          return map->received();
        }))
      {
        problem = name + " was active but published no map";
      }
    }
    if (!problem.empty()) {
      failure += (failure.empty() ? "" : "; ") + problem;
    }
  }
  return failure;
}

}  // namespace

int main(int argc, char ** argv)
{
  Options options;
  std::string error;
  if (!parseOptions(argc, argv, options, error)) {
    brindlex::Logger::Log(3, "semanticmap_demo: {}", error);
    return 1;
  }
  std::vector<const char *> ros_argv{argv[0]};
  for (const auto & arg : options.ros_arguments) {
    ros_argv.push_back(arg.c_str());
  }
  semantic_map::ShutdownSignalsHeld signals_held;
  try {
    rclcpp::init(static_cast<int>(ros_argv.size()), ros_argv.data());
  } catch (const std::exception & e) {
    brindlex::Logger::Log(3, "semanticmap_demo cannot start: {}", e.what());
    return 1;
  }
  signals_held.release();

  // Everything below is built while a signal may shut the context down; what was built is taken
  // down in order either way.
  std::unique_ptr<SimulatedRobot> robot;
  std::shared_ptr<SemanticmapNode> global_semanticmap;
  std::shared_ptr<SemanticmapNode> local_semanticmap;
  std::shared_ptr<rclcpp::executors::MultiThreadedExecutor> executor;
  std::future<void> startup;
  rclcpp::Node::SharedPtr observer_node;
  std::unique_ptr<CycleCounter> global_cycles;
  std::unique_ptr<CycleCounter> local_cycles;
  std::vector<std::unique_ptr<MapRecorder>> maps;
  rclcpp::executors::SingleThreadedExecutor observer_executor;
  std::thread observer_spin;
  std::thread cleaning;
  std::thread status;
  // The run's verdict. A run that ends by its duration is judged in full. A signal during
  // start-up is no failure: once the start-up transitions have run, a node that did not become
  // active is; a node that publishes maps is judged on them only when the signal came
  // kFirstMapsDue after that, when its first maps are out.
  constexpr auto kFirstMapsDue = std::chrono::seconds(10);
  std::atomic<bool> duration_over{false};
  std::atomic<bool> started_up{false};
  std::atomic<std::chrono::steady_clock::rep> started_up_at{0};
  int exit_code = 0;
  try {
    // The simulated world first: activation waits for the robot's transform.
    robot = options.vga ? std::make_unique<SimulatedRobot>(640, 480, 30.0) :
      std::make_unique<SimulatedRobot>(320, 240, 15.0);

    // From here on exactly as semanticmap_node.
    try {
      global_semanticmap = std::make_shared<SemanticmapNode>("global_semanticmap");
      local_semanticmap = std::make_shared<SemanticmapNode>("local_semanticmap");
    } catch (const std::exception & e) {
      if (rclcpp::ok()) {
        brindlex::Logger::Log(3, "semanticmap_demo cannot create its nodes: {}", e.what());
        exit_code = 1;
      }
      throw;
    }
    executor = std::make_shared<rclcpp::executors::MultiThreadedExecutor>(
      rclcpp::ExecutorOptions(), 2, true);
    startup = std::async(
      [global_semanticmap, local_semanticmap, &started_up, &started_up_at]() {
        semantic_map::runStartupTransitions(
          *global_semanticmap, *local_semanticmap, "semanticmap_demo");
        if (rclcpp::ok()) {
          started_up_at = std::chrono::steady_clock::now().time_since_epoch().count();
          started_up = true;
        }
      });
    executor->add_node(global_semanticmap->get_node_base_interface());
    executor->add_node(local_semanticmap->get_node_base_interface());

    // The observer: status lines every two seconds, and the end of the run.
    observer_node = std::make_shared<rclcpp::Node>("semanticmap_demo_observer");
    global_cycles = std::make_unique<CycleCounter>(observer_node, "global_semanticmap");
    local_cycles = std::make_unique<CycleCounter>(observer_node, "local_semanticmap");
    for (const char * node_name : {"global_semanticmap", "local_semanticmap"}) {
      for (const char * topic : {"obstacle_map", "covered_map"}) {
        maps.push_back(
          std::make_unique<MapRecorder>(
            observer_node, std::string("/") + node_name + "/" + topic));
      }
    }
    observer_executor.add_node(observer_node);
    observer_spin = std::thread([&observer_executor]() {observer_executor.spin();});
    cleaning = std::thread([&observer_node]() {startCleaning(observer_node);});
    status = std::thread([&]() {
        const auto start = std::chrono::steady_clock::now();
        while (rclcpp::ok()) {
          rclcpp::sleep_for(std::chrono::seconds(2));
          if (!rclcpp::ok()) {
            break;
          }
          printStatus(*global_semanticmap, *global_cycles);
          printStatus(*local_semanticmap, *local_cycles);
          const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
          if (options.duration > 0.0 && elapsed >= options.duration) {
            duration_over = true;
            rclcpp::shutdown();
          }
        }
      });

    executor->spin();
  } catch (const std::exception & e) {
    if (exit_code == 0 && rclcpp::ok()) {
      brindlex::Logger::Log(3, "semanticmap_demo failed: {}", e.what());
      exit_code = 1;
    } else if (exit_code == 0) {
      // A signal shut the context down while the demo was being set up.
      brindlex::Logger::Log(1, "semanticmap_demo stopped while starting");
    }
  }
  const auto ended_at = std::chrono::steady_clock::now().time_since_epoch().count();
  rclcpp::shutdown();
  if (status.joinable()) {
    status.join();
  }
  if (cleaning.joinable()) {
    cleaning.join();
  }
  if (observer_spin.joinable()) {
    observer_executor.cancel();
    observer_spin.join();
  }
  if (startup.valid()) {
    startup.wait();
  }
  robot.reset();
  if (exit_code != 0) {
    return exit_code;
  }

  std::error_code error_code;
  std::filesystem::create_directories(options.output, error_code);
  for (auto * node : {global_semanticmap.get(), local_semanticmap.get()}) {
    if (node == nullptr) {
      continue;  // stopped before it was built
    }
    const std::string path = writeSemanticGridPng(*node, options.output);
    std::printf(
      "%s semantic grid -> %s\n", node->get_name(), path.empty() ? "(no grid)" : path.c_str());
  }
  for (const auto & map : maps) {
    const std::string path = map->writePng(options.output);
    std::printf(
      "%s -> %s\n", map->summary().c_str(), path.empty() ? "(no map received)" : path.c_str());
  }
  const bool maps_due = duration_over ||
    (started_up && std::chrono::steady_clock::duration(ended_at - started_up_at) >= kFirstMapsDue);
  if ((duration_over || started_up) && global_semanticmap && local_semanticmap) {
    const std::string failure =
      runFailure({global_semanticmap.get(), local_semanticmap.get()}, maps, maps_due);
    if (!failure.empty()) {
      std::fflush(stdout);
      brindlex::Logger::Log(3, "semanticmap_demo failed: {}", failure);
      return 1;
    }
  }
  std::printf("semanticmap_demo: done\n");
  return 0;
}
