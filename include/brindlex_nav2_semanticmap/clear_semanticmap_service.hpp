#ifndef BRINDLEX_NAV2_SEMANTICMAP__CLEAR_SEMANTICMAP_SERVICE_HPP_
#define BRINDLEX_NAV2_SEMANTICMAP__CLEAR_SEMANTICMAP_SERVICE_HPP_

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "brindlex_nav2_semanticmap/layer.hpp"
#include "geometry_msgs/msg/pose_stamped.hpp"
#include "nav2_costmap_2d/costmap_layer.hpp"
#include "nav2_msgs/srv/clear_costmap_around_robot.hpp"
#include "nav2_msgs/srv/clear_costmap_except_region.hpp"
#include "nav2_msgs/srv/clear_entire_costmap.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"
#include "util/util.hpp"

namespace semantic_map
{

template<typename MapT>
class SemanticmapROS;

/**
 * @brief The three clear services of a server node ("brindlex_clear_except_", "brindlex_clear_around_"
 * and "brindlex_clear_entirely_" followed by the node name), in the node's default callback group.
 *
 * They clear the node's Navigation2 layers as Navigation2 does, then offer the same square to every
 * clearable semantic layer. Lock order: master costmap mutex (clear entirely only), outer mutex,
 * grid mutex; a Navigation2 layer's own mutex is taken alone.
 */
template<typename MapT>
class ClearSemanticmapService
{
public:
  /**
   * @param parent the node, locked while the services are created
   * @param node the node whose costmap and layered map the services clear; outlives this holder
   */
  ClearSemanticmapService(
    const std::weak_ptr<rclcpp_lifecycle::LifecycleNode> & parent, SemanticmapROS<MapT> & node)
  : owner(&node)
  {
    auto locked = parent.lock();
    using std::placeholders::_1;
    using std::placeholders::_2;
    using std::placeholders::_3;
    clear_except_service = locked->create_service<nav2_msgs::srv::ClearCostmapExceptRegion>(
      "brindlex_clear_except_" + owner->getName(),
      std::bind(&ClearSemanticmapService::clearExceptRegionCallback, this, _1, _2, _3),
      rmw_qos_profile_services_default, nullptr);
    clear_around_service = locked->create_service<nav2_msgs::srv::ClearCostmapAroundRobot>(
      "brindlex_clear_around_" + owner->getName(),
      std::bind(&ClearSemanticmapService::clearAroundRobotCallback, this, _1, _2, _3),
      rmw_qos_profile_services_default, nullptr);
    clear_entirely_service = locked->create_service<nav2_msgs::srv::ClearEntireCostmap>(
      "brindlex_clear_entirely_" + owner->getName(),
      std::bind(&ClearSemanticmapService::clearEntireCallback, this, _1, _2, _3),
      rmw_qos_profile_services_default, nullptr);
  }

  ClearSemanticmapService(const ClearSemanticmapService &) = delete;
  ClearSemanticmapService & operator=(const ClearSemanticmapService &) = delete;

  /// Clears everything outside the square of side reset_distance around the robot.
  void clearExceptRegionCallback(
    const std::shared_ptr<rmw_request_id_t>,
    const std::shared_ptr<nav2_msgs::srv::ClearCostmapExceptRegion::Request> request,
    const std::shared_ptr<nav2_msgs::srv::ClearCostmapExceptRegion::Response>)
  {
    brindlex::Logger::Log(
      1, "ClearSemanticmapService received request to clear except a region the {}",
      owner->getName());
    clearRegion(request->reset_distance, true);
  }

  /// Clears the square of side reset_distance around the robot.
  void clearAroundRobotCallback(
    const std::shared_ptr<rmw_request_id_t>,
    const std::shared_ptr<nav2_msgs::srv::ClearCostmapAroundRobot::Request> request,
    const std::shared_ptr<nav2_msgs::srv::ClearCostmapAroundRobot::Response>)
  {
    brindlex::Logger::Log(
      1, "ClearSemanticmapService received request to clear around a region the {}",
      owner->getName());
    clearRegion(request->reset_distance, false);
  }

  /// Resets the Navigation2 layers, empties the semantic grid and resets every semantic layer.
  void clearEntireCallback(
    const std::shared_ptr<rmw_request_id_t>,
    const std::shared_ptr<nav2_msgs::srv::ClearEntireCostmap::Request>,
    const std::shared_ptr<nav2_msgs::srv::ClearEntireCostmap::Response>)
  {
    brindlex::Logger::Log(
      1, "ClearSemanticmapService received request to clear entirely the {}", owner->getName());
    std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t> master_lock(
      *owner->getCostmap()->getMutex());
    owner->resetMap();
  }

  /**
   * @brief Clears the square of side @p reset_distance (metres) centred on the robot, or
   * everything outside it when @p invert is set.
   */
  void clearRegion(double reset_distance, bool invert)
  {
    geometry_msgs::msg::PoseStamped pose;
    if (!owner->getRobotPose(pose)) {
      brindlex::Logger::Log(
        3,
        "ClearSemanticmapService::clearRegion Cannot clear map because robot pose cannot be "
        "retrieved.");
      return;
    }
    const double x = pose.pose.position.x;
    const double y = pose.pose.position.y;
    const double start_x = x - reset_distance / 2;
    const double start_y = y - reset_distance / 2;
    const double end_x = start_x + reset_distance;
    const double end_y = start_y + reset_distance;

    for (auto & layer : *owner->getLayeredCostmap()->getPlugins()) {
      if (layer->isClearable()) {
        auto costmap_layer = std::static_pointer_cast<nav2_costmap_2d::CostmapLayer>(layer);
        clearLayerRegion(costmap_layer, start_x, start_y, end_x, end_y, invert);
      }
    }

    auto layered_semanticmap = owner->getLayeredSemanticmap();
    if (!layered_semanticmap) {
      return;
    }
    layered_semanticmap->forEachLayer(
      [&](std::shared_ptr<Layer<MapT>> & layer) {
        if (layer->isClearable()) {
          layer->clearArea(start_x, start_y, end_x, end_y, invert);
        }
      });
  }

  SemanticmapROS<MapT> * owner;
  std::shared_ptr<rclcpp::Service<nav2_msgs::srv::ClearCostmapExceptRegion>> clear_except_service;
  std::shared_ptr<rclcpp::Service<nav2_msgs::srv::ClearCostmapAroundRobot>> clear_around_service;
  std::shared_ptr<rclcpp::Service<nav2_msgs::srv::ClearEntireCostmap>> clear_entirely_service;

private:
  static void clearLayerRegion(
    const std::shared_ptr<nav2_costmap_2d::CostmapLayer> & layer, double start_x, double start_y,
    double end_x, double end_y, bool invert)
  {
    std::unique_lock<nav2_costmap_2d::Costmap2D::mutex_t> lock(*layer->getMutex());
    int start_i, start_j, end_i, end_j;
    layer->worldToMapEnforceBounds(start_x, start_y, start_i, start_j);
    layer->worldToMapEnforceBounds(end_x, end_y, end_i, end_j);
    layer->clearArea(start_i, start_j, end_i, end_j, invert);
    const double origin_x = layer->getOriginX();
    const double origin_y = layer->getOriginY();
    layer->addExtraBounds(
      origin_x, origin_y, origin_x + layer->getSizeInMetersX(),
      origin_y + layer->getSizeInMetersY());
  }
};

}  // namespace semantic_map

#endif  // BRINDLEX_NAV2_SEMANTICMAP__CLEAR_SEMANTICMAP_SERVICE_HPP_
