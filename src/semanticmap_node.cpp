// semanticmap_node: hosts "global_semanticmap" and "local_semanticmap" on one two-thread executor.
#include <exception>
#include <future>
#include <memory>

#include "brindlex_nav2_semanticmap/semanticmap_ros.hpp"
#include "rclcpp/rclcpp.hpp"
#include "semanticmap_startup.hpp"
#include "util/util.hpp"

int main(int argc, char ** argv)
{
  using SemanticmapNode =
    semantic_map::SemanticmapROS<semantic_map::Semanticmap<semantic_map::MapTypeAndHeight>>;

  semantic_map::ShutdownSignalsHeld signals_held;
  try {
    rclcpp::init(argc, argv);
  } catch (const std::exception & e) {
    // A bad command line, e.g. a parameter file that is missing or does not parse.
    brindlex::Logger::Log(3, "semanticmap_node cannot start: {}", e.what());
    return 1;
  }
  signals_held.release();

  std::shared_ptr<SemanticmapNode> global_semanticmap;
  std::shared_ptr<SemanticmapNode> local_semanticmap;
  try {
    global_semanticmap = std::make_shared<SemanticmapNode>("global_semanticmap");
    local_semanticmap = std::make_shared<SemanticmapNode>("local_semanticmap");
  } catch (const std::exception & e) {
    if (!rclcpp::ok()) {
      // A signal shut the context down while the nodes were being built.
      brindlex::Logger::Log(1, "semanticmap_node stopped while creating its nodes");
      return 0;
    }
    // Typically the plug-in package is missing from the resource index (AMENT_PREFIX_PATH), or a
    // parameter has the wrong type.
    brindlex::Logger::Log(3, "semanticmap_node cannot create its nodes: {}", e.what());
    rclcpp::shutdown();
    return 1;
  }
  auto executor = std::make_shared<rclcpp::executors::MultiThreadedExecutor>(
    rclcpp::ExecutorOptions(), 2, true);

  // Configure and activate while the executor already serves the nodes: activation waits for TF
  // and for the first costmap update, which need the executor.
  std::future<void> startup = std::async(
    [global_semanticmap, local_semanticmap]() {
      semantic_map::runStartupTransitions(
        *global_semanticmap, *local_semanticmap, "semanticmap_node");
    });

  executor->add_node(global_semanticmap->get_node_base_interface());
  executor->add_node(local_semanticmap->get_node_base_interface());
  executor->spin();
  rclcpp::shutdown();
  return 0;
}
