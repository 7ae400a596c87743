#ifndef BRINDLEX_NAV2_SEMANTICMAP__LOAD_SEMANTICMAP_SERVICE_HPP_
#define BRINDLEX_NAV2_SEMANTICMAP__LOAD_SEMANTICMAP_SERVICE_HPP_

#include <functional>
#include <memory>

#include "nav2_msgs/srv/load_map.hpp"
#include "rclcpp/rclcpp.hpp"

namespace semantic_map
{

template<typename MapT>
class SemanticmapROS;

/**
 * @brief The "brindlex_load_map" service of a server node, in a reentrant callback group of its
 * own. A request only announces a new map: the node's next update cycle re-sizes the grid.
 */
template<typename MapT>
class LoadSemanticmapService
{
public:
  /// @param node the node whose new-map flag the service sets; outlives this holder
  explicit LoadSemanticmapService(SemanticmapROS<MapT> & node)
  : owner(&node)
  {
    using std::placeholders::_1;
    using std::placeholders::_2;
    using std::placeholders::_3;
    callback_group = owner->create_callback_group(rclcpp::CallbackGroupType::Reentrant, true);
    load_map_service = owner->template create_service<nav2_msgs::srv::LoadMap>(
      "brindlex_load_map", std::bind(&LoadSemanticmapService::map_change_callback, this, _1, _2, _3),
      rmw_qos_profile_services_default, callback_group);
  }

  LoadSemanticmapService(const LoadSemanticmapService &) = delete;
  LoadSemanticmapService & operator=(const LoadSemanticmapService &) = delete;

  /// Announces a new map; the request's map location is not read and the response stays empty.
  void map_change_callback(
    const std::shared_ptr<rmw_request_id_t>,
    const std::shared_ptr<nav2_msgs::srv::LoadMap::Request>,
    const std::shared_ptr<nav2_msgs::srv::LoadMap::Response>)
  {
    owner->LoadNewMap();
  }

  SemanticmapROS<MapT> * owner;
  std::shared_ptr<rclcpp::CallbackGroup> callback_group;
  std::shared_ptr<rclcpp::Service<nav2_msgs::srv::LoadMap>> load_map_service;
};

}  // namespace semantic_map

#endif  // BRINDLEX_NAV2_SEMANTICMAP__LOAD_SEMANTICMAP_SERVICE_HPP_
