// Helpers shared by the server's tests: waiting for an event, TF for the robot, server nodes with
// a small costmap, and layers defined inside a test program.
#ifndef TEST__SERVER_TEST_HELPERS_HPP_
#define TEST__SERVER_TEST_HELPERS_HPP_

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "brindlex_nav2_semanticmap/layer.hpp"
#include "brindlex_nav2_semanticmap/layered_semanticmap.hpp"
#include "brindlex_nav2_semanticmap/map_type_and_height.hpp"
#include "brindlex_nav2_semanticmap/semanticmap.hpp"
#include "brindlex_nav2_semanticmap/semanticmap_ros.hpp"
#include "geometry_msgs/msg/transform_stamped.hpp"
#include "lifecycle_msgs/msg/state.hpp"
#include "unit/log_capture.hpp"
#include "rclcpp/rclcpp.hpp"
#include "tf2_ros/static_transform_broadcaster.h"

namespace server_test {

using namespace std::chrono_literals;

using Grid = semantic_map::Semanticmap<semantic_map::MapTypeAndHeight>;
using LayerBase = semantic_map::Layer<Grid>;
using LayeredMap = semantic_map::LayeredSemanticmap<Grid>;
using ServerNode = semantic_map::SemanticmapROS<Grid>;
using Flags = semantic_map::SemanticTypeBaseEnum<semantic_map::SemanticTypeBase<unsigned int>>;

constexpr float kEmptyHeight = -std::numeric_limits<float>::infinity();

/// Polls @p pred every few milliseconds until it holds or @p timeout has passed.
template <typename Pred>
bool waitFor(Pred pred, std::chrono::milliseconds timeout = 10s)
{
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

inline geometry_msgs::msg::TransformStamped makeTransform(
    const std::string & parent, const std::string & child, double x, double y)
{
  geometry_msgs::msg::TransformStamped t;
  t.header.frame_id = parent;
  t.child_frame_id = child;
  t.transform.translation.x = x;
  t.transform.translation.y = y;
  t.transform.rotation.w = 1.0;
  return t;
}

/// The server node with the protected state of the update-thread protocol made visible.
class ExposedServerNode : public ServerNode
{
public:
  explicit ExposedServerNode(const std::string & name) : ServerNode(name) {}

  using ServerNode::initialized_;
  using ServerNode::map_update_frequency_;
  using ServerNode::map_update_thread_;
  using ServerNode::map_update_thread_shutdown_;
  using ServerNode::stop_updates_;
  using ServerNode::stopped_;

  /// Id of the thread stored in the base's map-update slot (default id when there is none).
  std::thread::id updateThreadId()
  {
    return map_update_thread_ ? map_update_thread_->get_id() : std::thread::id();
  }
};

/// One semantic layer of a node: its name, class and parameters (under the layer's name).
struct LayerSpec
{
  std::string name;
  std::string type{"semantic_map_test::RecordingLayer"};
  std::vector<rclcpp::Parameter> parameters;  // local names, e.g. {"bounds", "whole"}
};

/// Costmap settings of a test node.
struct CostmapSpec
{
  int width_m{4};
  int height_m{4};
  double resolution{0.1};
  double origin_x{-2.0};
  double origin_y{-2.0};
  bool rolling_window{false};
  double update_frequency{50.0};
  double publish_frequency{10.0};
};

/**
 * Sets the base's parameters (no Navigation2 layers; global frame "map", robot "base_link") and
 * the semantic layers on a node that is not configured yet.
 */
inline void setUpNode(
    rclcpp_lifecycle::LifecycleNode & node,
    const CostmapSpec & costmap,
    const std::vector<LayerSpec> & layers,
    bool with_costmap_layer = false)
{
  node.set_parameter(rclcpp::Parameter("width", costmap.width_m));
  node.set_parameter(rclcpp::Parameter("height", costmap.height_m));
  node.set_parameter(rclcpp::Parameter("resolution", costmap.resolution));
  node.set_parameter(rclcpp::Parameter("origin_x", costmap.origin_x));
  node.set_parameter(rclcpp::Parameter("origin_y", costmap.origin_y));
  node.set_parameter(rclcpp::Parameter("rolling_window", costmap.rolling_window));
  node.set_parameter(rclcpp::Parameter("update_frequency", costmap.update_frequency));
  node.set_parameter(rclcpp::Parameter("publish_frequency", costmap.publish_frequency));
  node.set_parameter(rclcpp::Parameter("global_frame", std::string("map")));
  node.set_parameter(rclcpp::Parameter("robot_base_frame", std::string("base_link")));
  if (with_costmap_layer) {
    node.set_parameter(rclcpp::Parameter("plugins", std::vector<std::string>{"marks"}));
    node.declare_parameter("marks.plugin", std::string("nav2_costmap_2d::TestMarkLayer"));
  } else {
    node.set_parameter(rclcpp::Parameter("plugins", std::vector<std::string>{}));
  }
  std::vector<std::string> names;
  for (const auto & layer : layers) {
    names.push_back(layer.name);
    node.declare_parameter(layer.name + ".plugin", layer.type);
    for (const auto & parameter : layer.parameters) {
      node.declare_parameter(
          layer.name + "." + parameter.get_name(), parameter.get_parameter_value());
    }
  }
  node.set_parameter(rclcpp::Parameter("semanticmap_plugins", names));
}

/// Publishes map -> base_link through a static broadcaster on a helper node of its own.
class RobotPose
{
public:
  explicit RobotPose(const std::string & helper_name)
      : node_(std::make_shared<rclcpp::Node>(helper_name)),
        broadcaster_(std::make_shared<tf2_ros::StaticTransformBroadcaster>(node_))
  {
  }

  void moveTo(double x, double y)
  {
    broadcaster_->sendTransform(makeTransform("map", "base_link", x, y));
  }

  rclcpp::Node::SharedPtr node() const { return node_; }

private:
  rclcpp::Node::SharedPtr node_;
  std::shared_ptr<tf2_ros::StaticTransformBroadcaster> broadcaster_;
};

/// Initialises ROS once for a test program and shuts it down at the end.
class RosEnvironment : public ::testing::Environment
{
public:
  void SetUp() override { rclcpp::init(0, nullptr); }
  void TearDown() override { rclcpp::shutdown(); }
};

/**
 * Spins nodes on a two-thread executor, as the server executable does, until destroyed.
 * Destroy it before the nodes it serves.
 */
class Spinner
{
public:
  Spinner()
      : executor_(std::make_shared<rclcpp::executors::MultiThreadedExecutor>(
            rclcpp::ExecutorOptions(), 2, true))
  {
  }

  ~Spinner() { stop(); }

  void add(const rclcpp::node_interfaces::NodeBaseInterface::SharedPtr & node)
  {
    executor_->add_node(node);
  }

  void start()
  {
    thread_ = std::thread([this]() { executor_->spin(); });
  }

  void stop()
  {
    if (!thread_.joinable()) {
      return;
    }
    // Spinning may not have begun yet: cancel once the thread is inside spin().
    while (!executor_->is_spinning()) {
      std::this_thread::sleep_for(1ms);
    }
    executor_->cancel();
    thread_.join();
  }

private:
  std::shared_ptr<rclcpp::executors::MultiThreadedExecutor> executor_;
  std::thread thread_;
};

/**
 * Calls @p service_name with @p request from @p client_node and waits (10 s at most) for the
 * response; returns it, or null when none came.
 */
template <typename ServiceT>
typename ServiceT::Response::SharedPtr callService(
    const rclcpp::Node::SharedPtr & client_node,
    const std::string & service_name,
    typename ServiceT::Request::SharedPtr request = std::make_shared<typename ServiceT::Request>())
{
  auto client = client_node->create_client<ServiceT>(service_name);
  if (!client->wait_for_service(10s)) {
    return nullptr;
  }
  auto future = client->async_send_request(request);
  if (rclcpp::spin_until_future_complete(client_node, future, 10s) !=
      rclcpp::FutureReturnCode::SUCCESS) {
    return nullptr;
  }
  return future.get();
}

/// Takes a lifecycle node back to unconfigured: deactivates it when active, then cleans it up
/// when inactive. Null is left alone.
template <typename NodeT>
void windDown(const std::shared_ptr<NodeT> & node)
{
  using lifecycle_msgs::msg::State;
  if (!node) {
    return;
  }
  if (node->get_current_state().id() == State::PRIMARY_STATE_ACTIVE) {
    node->deactivate();
  }
  if (node->get_current_state().id() == State::PRIMARY_STATE_INACTIVE) {
    node->cleanup();
  }
}

/// Number of captured records at @p level whose text contains @p text.
inline int countRecords(
    const std::vector<test_util::Record> & records,
    spdlog::level::level_enum level,
    const std::string & text)
{
  int count = 0;
  for (const auto & record : records) {
    if (record.level == level && record.text.find(text) != std::string::npos) {
      ++count;
    }
  }
  return count;
}

/// The cell (x, y) of a grid, read under the grid's mutex.
inline std::pair<unsigned int, float> cellAt(Grid & grid, unsigned int x, unsigned int y)
{
  std::lock_guard<std::mutex> lock(grid.mutex);
  const auto index = x + y * grid.grid->size_x;
  return {static_cast<unsigned int>(grid.grid->types[index]), grid.grid->heights[index]};
}

/// True when every cell of the grid is EMPTY with height minus infinity (under the grid's mutex).
inline bool allCellsEmpty(Grid & grid)
{
  std::lock_guard<std::mutex> lock(grid.mutex);
  const auto & store = *grid.grid;
  for (uint32_t i = 0; i < store.cellCount(); ++i) {
    if (static_cast<unsigned int>(store.types[i]) != 0u || store.heights[i] != kEmptyHeight) {
      return false;
    }
  }
  return true;
}

/**
 * A layer defined by a test program itself: each operation runs the matching hook when set.
 * Hooks run with the outer mutex held, as the operations do.
 */
class ScriptedLayer : public LayerBase
{
public:
  std::function<void()> on_reset, on_match_size, on_activate, on_deactivate, on_destroy;
  std::function<void(double, double, double, double *, double *, double *, double *)> on_bounds;
  std::function<void(Grid *, int, int, int, int)> on_update;

  ~ScriptedLayer() override
  {
    if (on_destroy) {
      on_destroy();
    }
  }
  void reset() override { run(on_reset); }
  bool isClearable() override { return false; }
  bool clearArea(double, double, double, double, bool) override { return false; }
  void activate() override { run(on_activate); }
  void deactivate() override { run(on_deactivate); }
  void matchSize() override { run(on_match_size); }
  void updateBounds(
      double rx,
      double ry,
      double yaw,
      double * min_x,
      double * min_y,
      double * max_x,
      double * max_y) override
  {
    if (on_bounds) {
      on_bounds(rx, ry, yaw, min_x, min_y, max_x, max_y);
    }
  }
  void updateMaps(
      Grid * map, nav2_costmap_2d::Costmap2D *, int min_i, int min_j, int max_i, int max_j) override
  {
    if (on_update) {
      on_update(map, min_i, min_j, max_i, max_j);
    }
  }

private:
  static void run(const std::function<void()> & hook)
  {
    if (hook) {
      hook();
    }
  }
};

}  // namespace server_test

#endif  // TEST__SERVER_TEST_HELPERS_HPP_
