// semanticmap_demo: runs the two semantic map nodes exactly as semanticmap_node does, beside a
// simulated robot that drives a loop and publishes map -> odom -> base_link, and prints what each
// node is doing.
//
//   semanticmap_demo [--duration SECONDS] [--params-file FILE] [ROS arguments...]
//
// Without --duration it runs until Ctrl-C.
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "brindlex_nav2_semanticmap/semanticmap_ros.hpp"
#include "geometry_msgs/msg/polygon_stamped.hpp"
#include "geometry_msgs/msg/transform_stamped.hpp"
#include "rclcpp/rclcpp.hpp"
#include "tf2_ros/static_transform_broadcaster.h"
#include "tf2_ros/transform_broadcaster.h"

namespace
{

using SemanticmapNode =
  semantic_map::SemanticmapROS<semantic_map::Semanticmap<semantic_map::MapTypeAndHeight>>;

struct Options
{
  double duration{0.0};
  std::vector<std::string> ros_arguments;
};

Options parseOptions(int argc, char ** argv)
{
  Options options;
  std::string params_file;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--duration" && i + 1 < argc) {
      options.duration = std::atof(argv[++i]);
    } else if (arg == "--params-file" && i + 1 < argc) {
      params_file = argv[++i];
    } else {
      options.ros_arguments.push_back(arg);
    }
  }
  if (!params_file.empty()) {
    options.ros_arguments.insert(
      options.ros_arguments.begin(), {"--ros-args", "--params-file", params_file, "--"});
  }
  return options;
}

geometry_msgs::msg::TransformStamped makeTransform(
  const rclcpp::Time & stamp, const std::string & parent, const std::string & child, double x,
  double y, double yaw)
{
  geometry_msgs::msg::TransformStamped transform;
  transform.header.stamp = stamp;
  transform.header.frame_id = parent;
  transform.child_frame_id = child;
  transform.transform.translation.x = x;
  transform.transform.translation.y = y;
  transform.transform.rotation.z = std::sin(yaw / 2.0);
  transform.transform.rotation.w = std::cos(yaw / 2.0);
  return transform;
}

/// A robot that drives a circle of 2 m radius around (1, 0) in 40 s and publishes its TF.
class SimulatedRobot
{
public:
  SimulatedRobot()
  : node_(std::make_shared<rclcpp::Node>("simulated_robot")),
    static_broadcaster_(node_),
    broadcaster_(node_)
  {
    static_broadcaster_.sendTransform(makeTransform(node_->now(), "map", "odom", 1.0, 0.0, 0.0));
    publish();
    timer_ = node_->create_wall_timer(std::chrono::milliseconds(50), [this]() {publish();});
    executor_.add_node(node_);
    thread_ = std::thread([this]() {executor_.spin();});
  }

  ~SimulatedRobot()
  {
    executor_.cancel();
    thread_.join();
  }

private:
  void publish()
  {
    const double t = std::chrono::duration<double>(
      std::chrono::steady_clock::now() - start_).count();
    const double angle = 2.0 * M_PI * t / 40.0;
    broadcaster_.sendTransform(
      makeTransform(
        node_->now(), "odom", "base_link", 2.0 * std::cos(angle), 2.0 * std::sin(angle),
        angle + M_PI / 2.0));
  }

  rclcpp::Node::SharedPtr node_;
  tf2_ros::StaticTransformBroadcaster static_broadcaster_;
  tf2_ros::TransformBroadcaster broadcaster_;
  rclcpp::TimerBase::SharedPtr timer_;
  rclcpp::executors::SingleThreadedExecutor executor_;
  std::thread thread_;
  const std::chrono::steady_clock::time_point start_{std::chrono::steady_clock::now()};
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

}  // namespace

int main(int argc, char ** argv)
{
  const Options options = parseOptions(argc, argv);
  std::vector<const char *> ros_argv{argv[0]};
  for (const auto & arg : options.ros_arguments) {
    ros_argv.push_back(arg.c_str());
  }
  rclcpp::init(static_cast<int>(ros_argv.size()), ros_argv.data());

  // The simulated world first: activation waits for the robot's transform.
  auto robot = std::make_unique<SimulatedRobot>();

  // From here on exactly as semanticmap_node.
  auto global_semanticmap = std::make_shared<SemanticmapNode>("global_semanticmap");
  auto local_semanticmap = std::make_shared<SemanticmapNode>("local_semanticmap");
  auto executor = std::make_shared<rclcpp::executors::MultiThreadedExecutor>(
    rclcpp::ExecutorOptions(), 2, true);
  std::future<void> startup = std::async(
    [global_semanticmap, local_semanticmap]() {
      global_semanticmap->configure();
      local_semanticmap->configure();
      global_semanticmap->activate();
      local_semanticmap->activate();
    });
  executor->add_node(global_semanticmap->get_node_base_interface());
  executor->add_node(local_semanticmap->get_node_base_interface());

  // The observer: status lines every two seconds, and the end of the run.
  auto observer_node = std::make_shared<rclcpp::Node>("semanticmap_demo_observer");
  CycleCounter global_cycles(observer_node, "global_semanticmap");
  CycleCounter local_cycles(observer_node, "local_semanticmap");
  rclcpp::executors::SingleThreadedExecutor observer_executor;
  observer_executor.add_node(observer_node);
  std::thread observer_spin([&observer_executor]() {observer_executor.spin();});
  std::thread status([&]() {
      const auto start = std::chrono::steady_clock::now();
      while (rclcpp::ok()) {
        rclcpp::sleep_for(std::chrono::seconds(2));
        if (!rclcpp::ok()) {
          break;
        }
        printStatus(*global_semanticmap, global_cycles);
        printStatus(*local_semanticmap, local_cycles);
        const double elapsed =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (options.duration > 0.0 && elapsed >= options.duration) {
          rclcpp::shutdown();
        }
      }
    });

  executor->spin();
  rclcpp::shutdown();
  status.join();
  observer_executor.cancel();
  observer_spin.join();
  startup.wait();
  robot.reset();
  std::printf("semanticmap_demo: done\n");
  return 0;
}
