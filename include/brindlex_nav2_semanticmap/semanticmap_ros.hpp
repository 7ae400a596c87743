#ifndef BRINDLEX_NAV2_SEMANTICMAP__SEMANTICMAP_ROS_HPP_
#define BRINDLEX_NAV2_SEMANTICMAP__SEMANTICMAP_ROS_HPP_

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "brindlex_nav2_semanticmap/clear_semanticmap_service.hpp"
#include "brindlex_nav2_semanticmap/layer.hpp"
#include "brindlex_nav2_semanticmap/layered_semanticmap.hpp"
#include "brindlex_nav2_semanticmap/load_semanticmap_service.hpp"
#include "brindlex_nav2_semanticmap/map_type_and_height.hpp"
#include "brindlex_nav2_semanticmap/plugin_loading_mutex.hpp"
#include "brindlex_nav2_semanticmap/semanticmap.hpp"
#include "geometry_msgs/msg/polygon_stamped.hpp"
#include "geometry_msgs/msg/pose_stamped.hpp"
#include "nav2_costmap_2d/costmap_2d_ros.hpp"
#include "nav2_costmap_2d/footprint.hpp"
#include "nav2_util/node_utils.hpp"
#include "pluginlib/class_loader.hpp"
#include "rclcpp/rclcpp.hpp"
#include "tf2/utils.h"
#include "tf2_geometry_msgs/tf2_geometry_msgs.hpp"
#include "util/util.hpp"

namespace semantic_map {

/**
 * @brief The server node: a Navigation2 costmap node that also keeps a layered semantic map in
 * step with its costmap.
 *
 * It loads the layers named in "semanticmap_plugins", offers the load and clear services, and
 * runs the semantic update cycle on its own map-update thread, which takes the place of the base's.
 * Lock order: the plug-in loading mutex (configure, destruction of the plug-in loader), the base's
 * dynamic-parameter mutex (update loop), the master costmap's mutex, the layered map's outer
 * mutex, the grid's mutex. The update cycle holds the master costmap's mutex
 * around every call into the semantic layers, and the clear-entirely service around its reset,
 * so the layers read master costmap cells that nothing resets or resizes meanwhile. The
 * Navigation2 layered costmap's own update takes the master mutex alone, before; a Navigation2
 * layer's own mutex is taken alone. A parameter change that re-sizes the master costmap (the
 * base's callback, on an executor thread) is noted by a callback of the node that takes no lock,
 * and the next cycle re-sizes the grid to the master.
 */
template <typename MapT>
class SemanticmapROS : public nav2_costmap_2d::Costmap2DROS
{
public:
  using LayerT = Layer<MapT>;
  using LayeredMapT = LayeredSemanticmap<MapT>;

  /// A node named @p name in the namespace "/" + @p name.
  explicit SemanticmapROS(const std::string & name) : SemanticmapROS(name, "/", name) {}

  SemanticmapROS(
      const std::string & name,
      const std::string & parent_namespace,
      const std::string & local_namespace)
      : nav2_costmap_2d::Costmap2DROS(name, parent_namespace, local_namespace)
  {
    createPluginLoader();
    declare_parameter(
        "semanticmap_plugins",
        rclcpp::ParameterValue(std::vector<std::string>()),
        rcl_interfaces::msg::ParameterDescriptor());
    // Added before any activation, so it runs after the base's parameter callback, which the base
    // adds at each activation (the newest callback runs first), and only when that one succeeded.
    master_resize_handler =
        add_on_set_parameters_callback([this](const std::vector<rclcpp::Parameter> & parameters) {
          return noteMasterResize(parameters);
        });
  }

  ~SemanticmapROS() override
  {
    stopUpdateThread();
    // Layers may serve calls on the base's executor thread: stop it before the layers go, also
    // when the node is destroyed without a cleanup.
    executor_thread_.reset();
    layered_semanticmap.reset();
    delete load_service;
    load_service = nullptr;
    delete clear_service;
    clear_service = nullptr;
    // Closing the plug-in libraries changes class_loader's records as opening them does.
    std::lock_guard<std::mutex> loading(pluginLoadingMutex());
    plugin_loader.reset();
  }

  /**
   * @brief Configures the base, then builds the layered map, the layers and the services.
   *
   * Holds the plug-in loading mutex throughout: a lifecycle manager may configure both nodes of
   * the process at once. A configure that throws leaves the node as it was before it (no layers,
   * no services, the base cleaned up, a fresh plug-in loader) and passes the exception on, so the
   * transition fails and a later configure starts clean.
   */
  nav2_util::CallbackReturn on_configure(const rclcpp_lifecycle::State & state) override
  {
    brindlex::Logger::Log(1, "SemanticmapROS {} Configuring", getName());
    std::lock_guard<std::mutex> loading(pluginLoadingMutex());
    try {
      return configureNode(state);
    } catch (...) {
      undoConfigure(state);
      throw;
    }
  }

  nav2_util::CallbackReturn on_activate(const rclcpp_lifecycle::State & state) override
  {
    brindlex::Logger::Log(1, "SemanticmapROS {} activating", getName());
    // Before the base adds its parameter callback: a re-size that callback makes is never missed.
    watch_master_resize = true;
    const auto result = nav2_costmap_2d::Costmap2DROS::on_activate(state);
    if (result != nav2_util::CallbackReturn::SUCCESS) {
      watch_master_resize = false;
      return result;
    }
    startSemanticmap();

    stopUpdateThread();
    map_update_thread_shutdown_ = false;
    const double frequency = map_update_frequency_;
    map_update_thread_ =
        std::make_unique<std::thread>([this, frequency]() { mapUpdateLoop(frequency); });
    return result;
  }

  nav2_util::CallbackReturn on_deactivate(const rclcpp_lifecycle::State & state) override
  {
    const auto result = nav2_costmap_2d::Costmap2DROS::on_deactivate(state);
    if (result == nav2_util::CallbackReturn::SUCCESS) {
      // The base's parameter callback is gone: parameters no longer re-size the master.
      watch_master_resize = false;
      stopSemanticmap();
    }
    return result;
  }

  nav2_util::CallbackReturn on_cleanup(const rclcpp_lifecycle::State & state) override
  {
    const auto result = nav2_costmap_2d::Costmap2DROS::on_cleanup(state);
    if (result != nav2_util::CallbackReturn::SUCCESS) {
      return result;
    }
    layered_semanticmap.reset();
    delete clear_service;
    clear_service = nullptr;
    delete load_service;
    load_service = nullptr;
    return result;
  }

  nav2_util::CallbackReturn on_shutdown(const rclcpp_lifecycle::State & state) override
  {
    return nav2_costmap_2d::Costmap2DROS::on_shutdown(state);
  }

  /// Activates every layer in list order, under the outer mutex.
  void startSemanticmap()
  {
    brindlex::Logger::Log(1, "SemanticmapROS::startSemanticmap");
    layered_semanticmap->forEachLayer([](std::shared_ptr<LayerT> & layer) { layer->activate(); });
  }

  /// Deactivates every layer in list order, under the outer mutex.
  void stopSemanticmap()
  {
    brindlex::Logger::Log(1, "SemanticmapROS::stopSemanticmap");
    if (layered_semanticmap) {
      layered_semanticmap->forEachLayer(
          [](std::shared_ptr<LayerT> & layer) { layer->deactivate(); });
    }
  }

  /**
   * @brief Resets the Navigation2 layers, empties the semantic grid and resets every layer.
   * @throws std::system_error (operation_not_permitted) before configure
   */
  void resetMap()
  {
    resetLayers();
    auto map = layered_semanticmap;
    if (!map) {
      throw std::system_error(std::make_error_code(std::errc::operation_not_permitted));
    }
    std::lock_guard<std::mutex> lock(map->mutex);
    map->semanticmap.resetMap();
    for (auto & layer : map->plugins) {
      layer->reset();
    }
  }

  /// Announces a new map: the next update cycle re-sizes the grid and calls every matchSize().
  void LoadNewMap() { new_map_loaded = true; }

  /**
   * @brief The layered map; empty before configure and after cleanup. Holders must let it go
   * before the node is destroyed: its layers are returned to the node's plug-in loader.
   */
  std::shared_ptr<LayeredMapT> getLayeredSemanticmap() { return layered_semanticmap; }

  /// Body of the map-update thread: one updateMap() per period of @p frequency (Hz) until stopped.
  void mapUpdateLoop(double frequency)
  {
    RCLCPP_DEBUG(get_logger(), "mapUpdateLoop frequency: %lf", frequency);
    if (frequency == 0.0) {
      return;
    }
    RCLCPP_DEBUG(get_logger(), "Entering loop");
    rclcpp::WallRate rate(frequency);
    while (rclcpp::ok() && !map_update_thread_shutdown_) {
      if (!stopped_) {
        runCycle();
      }
      rate.sleep();
    }
  }

  /**
   * @brief One update cycle: Navigation2 costmap, grid size, semantic layers, footprint.
   * Map-update thread; the grid-size check and the semantic layers run under the master
   * costmap's mutex, then the outer mutex.
   */
  void updateMap()
  {
    brindlex::Logger::Log(0, "SemanticmapROS::updateMap, updating map and semanticmap...");
    if (stop_updates_) {
      return;
    }
    geometry_msgs::msg::PoseStamped pose;
    if (!getRobotPose(pose)) {
      return;
    }
    const double x = pose.pose.position.x;
    const double y = pose.pose.position.y;
    const double yaw = tf2::getYaw(pose.pose.orientation);
    layered_costmap_->updateMap(x, y, yaw);

    auto * master = layered_costmap_->getCostmap();
    {
      // The semantic layers read the master costmap (the map-publishing layers translate its
      // cells), so their part of the cycle holds its mutex, before the outer mutex, as the
      // clear-entirely service does: a reset of the master costmap waits for the cycle.
      std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t> master_lock(*master->getMutex());
      auto & grid = layered_semanticmap->semanticmap;
      const bool announced = new_map_loaded.exchange(false);
      // A re-size by parameter empties the master costmap and its layers also at the same
      // geometry, and puts a rolling window on the cells of its new origin.
      const bool master_resized = resize_to_master.exchange(false);
      // A moved origin re-sizes too: the layers pair grid and master cells by index. A rolling
      // window moves the grid itself, below.
      const bool origin_moved =
          !layered_semanticmap->rolling_window &&
          (grid.origin_x != master->getOriginX() || grid.origin_y != master->getOriginY());
      if (announced || master_resized || origin_moved ||
          grid.grid->size_x != master->getSizeInCellsX() ||
          grid.grid->size_y != master->getSizeInCellsY() ||
          grid.resolution != master->getResolution()) {
        brindlex::Logger::Log(0, "SemanticmapROS::updateMap, resize semanticmap.");
        if (!resizeToMaster(*master)) {
          // The grid is not emptied yet: keep the reasons for the retry.
          if (announced) {
            new_map_loaded = true;
          }
          if (master_resized) {
            resize_to_master = true;
          }
        }
      }
      layered_semanticmap->updateMap(x, y, yaw, masterChangedWindow());
      if (layered_semanticmap->rolling_window && !LayeredMapT::sameGeometry(grid, *master)) {
        // The master moved without the grid (as in an activation, where the base updates it
        // alone) and the two came to rest on different cells: the next cycle takes the master's.
        resize_to_master = true;
      }
    }

    auto footprint = std::make_unique<geometry_msgs::msg::PolygonStamped>();
    footprint->header = pose.header;
    nav2_costmap_2d::transformFootprint(x, y, yaw, padded_footprint_, *footprint);
    footprint_pub_->publish(std::move(footprint));
    initialized_ = true;
  }

  std::shared_ptr<LayeredMapT> layered_semanticmap;
  /// Empty only between a failed configure and the next one.
  std::optional<pluginlib::ClassLoader<LayerT>> plugin_loader;
  ClearSemanticmapService<MapT> * clear_service{nullptr};
  LoadSemanticmapService<MapT> * load_service{nullptr};
  std::atomic<bool> new_map_loaded{true};

private:
  // The work of on_configure(), with the plug-in loading mutex held.
  nav2_util::CallbackReturn configureNode(const rclcpp_lifecycle::State & state)
  {
    // The layers and the services hold the node through its shared-from-this link, and so does
    // the base's configure: without it nothing can be built, so say so before the base throws.
    const std::shared_ptr<rclcpp_lifecycle::LifecycleNode> owned = weak_from_this().lock();
    if (!owned) {
      brindlex::Logger::Log(
          3,
          "SemanticmapROS {} cannot be configured: the node must be owned by a std::shared_ptr",
          getName());
      return nav2_util::CallbackReturn::FAILURE;
    }
    const auto self = std::static_pointer_cast<nav2_util::LifecycleNode>(owned);
    // The base divides the map size by the resolution: refuse before anything is built.
    double resolution = 0.0;
    get_parameter("resolution", resolution);
    if (!isFinitePositive(resolution)) {
      brindlex::Logger::Log(
          3,
          "SemanticmapROS {} cannot be configured: \"resolution\" {} is not a finite positive "
          "number",
          getName(),
          resolution);
      return nav2_util::CallbackReturn::FAILURE;
    }
    const auto result = nav2_costmap_2d::Costmap2DROS::on_configure(state);
    if (result != nav2_util::CallbackReturn::SUCCESS) {
      return result;
    }
    // A period that is not a positive duration would make both update loops spin without a
    // pause; such a frequency means no update loop, as 0 does.
    if (map_update_frequency_ != 0.0 && !isFinitePositive(map_update_frequency_)) {
      brindlex::Logger::Log(
          3,
          "SemanticmapROS {}: \"update_frequency\" {} is not a finite positive number, treated "
          "as 0: no map update loop",
          getName(),
          map_update_frequency_);
      map_update_frequency_ = 0.0;
    }

    // Layers are destroyed through the loader's deleter: keep the map, and with it the layers,
    // from outliving the loader by always replacing it here or in cleanup.
    layered_semanticmap = std::make_shared<LayeredMapT>(
        global_frame_, rolling_window_, layered_costmap_->getCostmap());
    if (!layered_semanticmap->size_locked &&
        !layered_semanticmap->resizeMap(
            static_cast<uint32_t>(map_width_meters_ / resolution_),
            static_cast<uint32_t>(map_height_meters_ / resolution_),
            resolution_,
            origin_x_,
            origin_y_)) {
      // The grid said why in an ERROR record.
      undoConfigure(state);
      return nav2_util::CallbackReturn::FAILURE;
    }

    std::vector<std::string> plugin_names;
    get_parameter("semanticmap_plugins", plugin_names);
    if (!plugin_loader) {
      createPluginLoader();
    }

    for (const auto & plugin_name : plugin_names) {
      const std::string type = nav2_util::get_plugin_type_param(self, plugin_name);
      brindlex::Logger::Log(1, "Using semanticmap plugin {}", plugin_name);
      std::shared_ptr<LayerT> layer = plugin_loader->createUniqueInstance(type);
      {
        std::lock_guard<std::mutex> lock(layered_semanticmap->mutex);
        layered_semanticmap->plugins.push_back(layer);
      }
      layer->layered_semanticmap = layered_semanticmap.get();
      layer->name = plugin_name;
      layer->tf = tf_buffer_;
      layer->node = std::static_pointer_cast<rclcpp_lifecycle::LifecycleNode>(self);
      layer->callback_group = callback_group_;
      layer->clock = self->get_clock();
      // The layer's flag is atomic (parameter callbacks write it from executor threads); the
      // layer sets it through a plain reference during initialisation.
      bool enabled = layer->enabled.load();
      layer->onInitialize(enabled);
      layer->enabled.store(enabled);
      brindlex::Logger::Log(1, "Initialized semanticmap plugin {}", plugin_name);
    }

    auto * new_clear_service = new ClearSemanticmapService<MapT>(
        std::static_pointer_cast<rclcpp_lifecycle::LifecycleNode>(self), *this);
    delete clear_service;
    clear_service = new_clear_service;
    auto * new_load_service = new LoadSemanticmapService<MapT>(*this);
    delete load_service;
    load_service = new_load_service;
    return result;
  }

  // What on_cleanup() releases, after a configure that failed part-way. The plug-in loader goes
  // too, since one that failed may keep a library open without owning its factories (class_loader
  // then refuses it every class of that library); the next configure makes a fresh one.
  void undoConfigure(const rclcpp_lifecycle::State & state)
  {
    nav2_costmap_2d::Costmap2DROS::on_cleanup(state);
    const std::weak_ptr<LayeredMapT> released = layered_semanticmap;
    layered_semanticmap.reset();
    delete clear_service;
    clear_service = nullptr;
    delete load_service;
    load_service = nullptr;
    // Layers are destroyed through their loader: keep it while somebody still holds them.
    if (released.expired()) {
      plugin_loader.reset();
    }
  }

  void createPluginLoader()
  {
    plugin_loader.emplace("brindlex_nav2_semanticmap", "semantic_map::BrindlexLayer", "plugin");
  }

  // One period of the loop; a failure is logged and the next period tries again, with every lock
  // already released by its scope.
  void runCycle()
  {
    try {
      // As the base's own loop: a parameter change that resizes the costmap waits for the cycle.
      std::scoped_lock<std::mutex> parameter_lock(_dynamic_parameter_mutex);
      const auto start = std::chrono::system_clock::now();
      updateMap();
      const std::chrono::duration<double> took = std::chrono::system_clock::now() - start;
      RCLCPP_DEBUG(get_logger(), "Map update time: %.9f", took.count());

      if (publish_cycle_ > rclcpp::Duration(0, 0) && layered_costmap_->isInitialized()) {
        unsigned int x0, xn, y0, yn;
        layered_costmap_->getBounds(&x0, &xn, &y0, &yn);
        costmap_publisher_->updateBounds(x0, xn, y0, yn);
        const rclcpp::Time current_time = now();
        if ((last_publish_ + publish_cycle_ < current_time) || (current_time < last_publish_)) {
          RCLCPP_DEBUG(get_logger(), "Publish costmap at %s", getName().c_str());
          costmap_publisher_->publishCostmap();
          last_publish_ = current_time;
        }
      }
    } catch (const std::exception & e) {
      brindlex::Logger::Log(3, "SemanticmapROS::mapUpdateLoop update failed: {}", e.what());
    } catch (...) {
      brindlex::Logger::Log(3, "SemanticmapROS::mapUpdateLoop update failed: unknown exception");
    }
  }

  // Re-sizes the grid to the master costmap. A re-size that failed leaves the grid as it was (the
  // grid logs why) and is tried again in the first cycle a second or more later, so that a size
  // that cannot be had costs one attempt and one ERROR record a second. Map-update thread.
  bool resizeToMaster(const nav2_costmap_2d::Costmap2D & master)
  {
    const auto now = std::chrono::steady_clock::now();
    if (now < resize_retry_time) {
      return false;
    }
    if (layered_semanticmap->resizeMap(
            master.getSizeInCellsX(),
            master.getSizeInCellsY(),
            master.getResolution(),
            master.getOriginX(),
            master.getOriginY())) {
      return true;
    }
    resize_retry_time = now + std::chrono::seconds(1);
    return false;
  }

  static bool isFinitePositive(double value) { return std::isfinite(value) && value > 0.0; }

  // The master costmap cells that the Navigation2 update of this cycle recomputed, found from its
  // bounds as that update finds them. getBounds() would not do: it keeps the last window that
  // was not empty. With neither layers nor filters the update leaves the bounds alone.
  typename LayeredMapT::CellWindow masterChangedWindow()
  {
    if (layered_costmap_->getPlugins()->empty() && layered_costmap_->getFilters()->empty()) {
      return {};
    }
    double min_x, min_y, max_x, max_y;
    layered_costmap_->getUpdatedBounds(min_x, min_y, max_x, max_y);
    const auto * master = layered_costmap_->getCostmap();
    typename LayeredMapT::CellWindow window;
    master->worldToMapEnforceBounds(min_x, min_y, window.x0, window.y0);
    master->worldToMapEnforceBounds(max_x, max_y, window.xn, window.yn);
    window.x0 = std::max(0, window.x0);
    window.y0 = std::max(0, window.y0);
    window.xn = std::min(static_cast<int>(master->getSizeInCellsX()), window.xn + 1);
    window.yn = std::min(static_cast<int>(master->getSizeInCellsY()), window.yn + 1);
    return window;
  }

  void stopUpdateThread()
  {
    map_update_thread_shutdown_ = true;
    if (map_update_thread_ && map_update_thread_->joinable()) {
      map_update_thread_->join();
    }
  }

  // Parameter callback, after the base's: a change of the master's size, resolution or origin
  // that the base took re-sized the master unless its size is locked, as the base decides.
  rcl_interfaces::msg::SetParametersResult noteMasterResize(
      const std::vector<rclcpp::Parameter> & parameters)
  {
    rcl_interfaces::msg::SetParametersResult result;
    result.successful = true;
    // While watched the node is configured and stays so: layered_costmap_ is there.
    if (!watch_master_resize || layered_costmap_->isSizeLocked()) {
      return result;
    }
    for (const auto & parameter : parameters) {
      const std::string & name = parameter.get_name();
      const auto type = parameter.get_type();
      if ((type == rclcpp::ParameterType::PARAMETER_DOUBLE &&
           (name == "resolution" || name == "origin_x" || name == "origin_y")) ||
          (type == rclcpp::ParameterType::PARAMETER_INTEGER &&
           (name == "width" || name == "height"))) {
        resize_to_master = true;
      }
    }
    return result;
  }

  // Before it the update cycle does not try a re-size of the grid again; map-update thread only.
  std::chrono::steady_clock::time_point resize_retry_time{};
  // The next cycle re-sizes the grid to the master costmap whatever their geometries: a
  // parameter re-sized the master, or a rolling grid came to rest off it.
  std::atomic<bool> resize_to_master{false};
  // Set from just before the base's activation to the end of its deactivation.
  std::atomic<bool> watch_master_resize{false};
  rclcpp::node_interfaces::OnSetParametersCallbackHandle::SharedPtr master_resize_handler;
};

}  // namespace semantic_map

#endif  // BRINDLEX_NAV2_SEMANTICMAP__SEMANTICMAP_ROS_HPP_
