#include "nav2_costmap_2d/clear_costmap_service.hpp"

#include <memory>
#include <string>
#include <vector>

#include "nav2_costmap_2d/costmap_2d_ros.hpp"

namespace nav2_costmap_2d {

using ClearExceptRegion = nav2_msgs::srv::ClearCostmapExceptRegion;
using ClearAroundRobot = nav2_msgs::srv::ClearCostmapAroundRobot;
using ClearEntirely = nav2_msgs::srv::ClearEntireCostmap;

ClearCostmapService::ClearCostmapService(
    const nav2_util::LifecycleNode::WeakPtr & parent, Costmap2DROS & costmap)
    : costmap_(costmap)
{
  auto node = parent.lock();
  logger_ = node->get_logger();
  reset_value_ = costmap_.getCostmap()->getDefaultValue();

  clear_except_service_ = node->create_service<ClearExceptRegion>(
      "clear_except_" + costmap_.getName(),
      std::bind(
          &ClearCostmapService::clearExceptRegionCallback,
          this,
          std::placeholders::_1,
          std::placeholders::_2,
          std::placeholders::_3));

  clear_around_service_ = node->create_service<ClearAroundRobot>(
      "clear_around_" + costmap_.getName(),
      std::bind(
          &ClearCostmapService::clearAroundRobotCallback,
          this,
          std::placeholders::_1,
          std::placeholders::_2,
          std::placeholders::_3));

  clear_entire_service_ = node->create_service<ClearEntirely>(
      "clear_entirely_" + costmap_.getName(),
      std::bind(
          &ClearCostmapService::clearEntireCallback,
          this,
          std::placeholders::_1,
          std::placeholders::_2,
          std::placeholders::_3));
}

void ClearCostmapService::clearExceptRegionCallback(
    const std::shared_ptr<rmw_request_id_t> /*request_header*/,
    const std::shared_ptr<ClearExceptRegion::Request> request,
    const std::shared_ptr<ClearExceptRegion::Response> /*response*/)
{
  RCLCPP_INFO(
      logger_, "Received request to clear except a region the %s", costmap_.getName().c_str());
  clearRegion(request->reset_distance, true);
}

void ClearCostmapService::clearAroundRobotCallback(
    const std::shared_ptr<rmw_request_id_t> /*request_header*/,
    const std::shared_ptr<ClearAroundRobot::Request> request,
    const std::shared_ptr<ClearAroundRobot::Response> /*response*/)
{
  clearRegion(request->reset_distance, false);
}

void ClearCostmapService::clearEntireCallback(
    const std::shared_ptr<rmw_request_id_t> /*request_header*/,
    const std::shared_ptr<ClearEntirely::Request> /*request*/,
    const std::shared_ptr<ClearEntirely::Response> /*response*/)
{
  RCLCPP_INFO(logger_, "Received request to clear entirely the %s", costmap_.getName().c_str());
  clearEntirely();
}

void ClearCostmapService::clearRegion(const double reset_distance, bool invert)
{
  double x, y;
  if (!getPosition(x, y)) {
    RCLCPP_ERROR(logger_, "Cannot clear map because robot pose cannot be retrieved.");
    return;
  }

  auto layers = costmap_.getLayeredCostmap()->getPlugins();
  for (auto & layer : *layers) {
    if (layer->isClearable()) {
      auto costmap_layer = std::static_pointer_cast<CostmapLayer>(layer);
      clearLayerRegion(costmap_layer, x, y, reset_distance, invert);
    }
  }
}

void ClearCostmapService::clearLayerRegion(
    std::shared_ptr<CostmapLayer> & costmap,
    double pose_x,
    double pose_y,
    double reset_distance,
    bool invert)
{
  std::unique_lock<Costmap2D::mutex_t> lock(*costmap->getMutex());

  const double start_point_x = pose_x - reset_distance / 2;
  const double start_point_y = pose_y - reset_distance / 2;
  const double end_point_x = start_point_x + reset_distance;
  const double end_point_y = start_point_y + reset_distance;

  int start_x, start_y, end_x, end_y;
  costmap->worldToMapEnforceBounds(start_point_x, start_point_y, start_x, start_y);
  costmap->worldToMapEnforceBounds(end_point_x, end_point_y, end_x, end_y);

  costmap->clearArea(start_x, start_y, end_x, end_y, invert);

  // The whole layer may have changed: the next update rewrites all of it.
  const double ox = costmap->getOriginX();
  const double oy = costmap->getOriginY();
  const double width = costmap->getSizeInMetersX();
  const double height = costmap->getSizeInMetersY();
  costmap->addExtraBounds(ox, oy, ox + width, oy + height);
}

void ClearCostmapService::clearEntirely()
{
  std::unique_lock<Costmap2D::mutex_t> lock(*costmap_.getCostmap()->getMutex());
  costmap_.resetLayers();
}

bool ClearCostmapService::getPosition(double & x, double & y) const
{
  geometry_msgs::msg::PoseStamped pose;
  if (!costmap_.getRobotPose(pose)) {
    return false;
  }
  x = pose.pose.position.x;
  y = pose.pose.position.y;
  return true;
}

}  // namespace nav2_costmap_2d
