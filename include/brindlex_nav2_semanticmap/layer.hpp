#ifndef BRINDLEX_NAV2_SEMANTICMAP__LAYER_HPP_
#define BRINDLEX_NAV2_SEMANTICMAP__LAYER_HPP_

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <unordered_set>

#include "brindlex_nav2_semanticmap/map_type_and_height.hpp"
#include "brindlex_nav2_semanticmap/semanticmap.hpp"
#include "nav2_costmap_2d/costmap_2d.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"
#include "tf2_ros/buffer.h"

namespace semantic_map
{

template<typename MapT>
class LayeredSemanticmap;

/**
 * @brief The plug-in interface of a semantic layer.
 *
 * The node fills the first six fields before onInitialize(). Every operation but onInitialize()
 * is called with the layered map's outer mutex held, so no operation (nor the destructor) may call
 * back into getSemanticmap(), forEachLayer() or resizeMap() of its layered map. A layer takes the
 * grid's own mutex whenever it touches cells. updateBounds(), updateMaps() and matchSize() run on
 * the map-update thread with the Navigation2 master costmap's mutex held as well, taken before
 * the outer mutex; so does reset() from the clear-entirely service. Lock order: master costmap
 * mutex, outer mutex, a layer's own mutex, grid mutex.
 */
template<typename MapT>
class Layer
{
public:
  Layer() = default;
  Layer(const Layer &) = delete;
  Layer & operator=(const Layer &) = delete;

  virtual ~Layer() = default;

  /// Stops what activate() started (subscriptions, timers). Outer mutex held.
  virtual void deactivate() {}
  /// Starts what the layer needs while the node is active. Outer mutex held.
  virtual void activate() {}
  /// Forgets everything the layer drew. Outer mutex held.
  virtual void reset() = 0;
  /// Whether clearArea() does anything.
  virtual bool isClearable() = 0;
  /**
   * @brief Clears the box (world coordinates, global frame), or everything outside it when
   * @p invert is set. Outer mutex held; the result is ignored by the callers.
   */
  virtual bool clearArea(double min_x, double min_y, double max_x, double max_y, bool invert) = 0;
  /**
   * @brief Widens the box (metres, global frame) by what this layer will change this cycle.
   * Outer mutex held, map-update thread.
   */
  virtual void updateBounds(
    double robot_x, double robot_y, double robot_yaw, double * min_x, double * min_y,
    double * max_x, double * max_y) = 0;
  /**
   * @brief Writes the layer into @p map within the cell window [min_i, max_i) x [min_j, max_j),
   * which may be empty or inverted. @p master may be read: its mutex and the outer mutex are
   * held, map-update thread; takes the grid's mutex.
   */
  virtual void updateMaps(
    MapT * map, nav2_costmap_2d::Costmap2D * master, int min_i, int min_j, int max_i,
    int max_j) = 0;
  /// The grid was re-sized (and emptied). Outer mutex held, map-update thread.
  virtual void matchSize() {}
  /// Unused slot; no layer overrides it.
  virtual void reserved() {}
  /**
   * @brief Declares and reads the layer's parameters and sets @p enabled_flag. Called once after
   * the fields are filled, on the configuring thread, without the outer mutex.
   */
  virtual void onInitialize(bool & enabled_flag) {enabled_flag = false;}

  /// The layer's name, a point and @p param_name: the parameter's name on the node.
  std::string getFullName(const std::string & param_name) const {return name + "." + param_name;}

  /**
   * @brief Declares getFullName(@p param_name) on the node with @p value as default, unless it is
   * declared already, and records @p param_name in local_params.
   * @throws std::runtime_error "Failed to lock node" when the node is gone or was never set.
   */
  void declareParameter(const std::string & param_name, const rclcpp::ParameterValue & value)
  {
    auto locked_node = node.lock();
    if (!locked_node) {
      throw std::runtime_error{"Failed to lock node"};
    }
    local_params.insert(param_name);
    const std::string full_name = getFullName(param_name);
    if (!locked_node->has_parameter(full_name)) {
      locked_node->declare_parameter(
        full_name, value, rcl_interfaces::msg::ParameterDescriptor(), false);
    }
  }

  bool isCurrent() const {return current;}
  bool isEnabled() const {return enabled.load();}
  const std::string & getName() const {return name;}

  /// The layered map that holds this layer; it outlives the layer.
  LayeredSemanticmap<MapT> * layered_semanticmap{nullptr};
  std::string name;
  std::shared_ptr<tf2_ros::Buffer> tf;
  std::shared_ptr<rclcpp::CallbackGroup> callback_group;
  std::weak_ptr<rclcpp_lifecycle::LifecycleNode> node;
  std::shared_ptr<rclcpp::Clock> clock;
  bool current{false};
  /// Written by parameter callbacks on executor threads, read by the map-update thread.
  std::atomic<bool> enabled{false};
  std::unordered_set<std::string> local_params;
};

using BrindlexLayer = Layer<Semanticmap<MapTypeAndHeight>>;

}  // namespace semantic_map

#endif  // BRINDLEX_NAV2_SEMANTICMAP__LAYER_HPP_
