#ifndef LORVENT__VELNOR_LAYER_HPP_
#define LORVENT__VELNOR_LAYER_HPP_

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "brindlex_nav2_semanticmap/layer.hpp"
#include "brindlex_nav2_semanticmap/map_type_and_height.hpp"
#include "brindlex_nav2_semanticmap/semanticmap.hpp"
#include "brindlex_velnor/frustum_manager.hpp"
#include "brindlex_velnor/observation.hpp"
#include "brindlex_velnor/velnor_cache_master.hpp"
#include "rcl_interfaces/msg/set_parameters_result.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"

namespace semantic_map {

/**
 * @brief Marks and clears what the depth cameras see: each cycle its depth-camera cache turns the
 * buffered semantic point clouds into change units (CLEAR withdraws flags and heights, MARK sets
 * them), which this layer writes into the grid.
 *
 * Parameters live under the layer's name: the cache settings, "frustum_list" with
 * "default_frustum_conf" and one block per frustum, "observation_list" with one block per source
 * (source name: layer name, ".", word). A rate watch logs a marking source that stays slower than
 * its "check_hz" for more than 3 s.
 *
 * Threads and locks: onInitialize() runs on the configuring thread; every other layer operation on
 * the node's threads with the layered map's outer mutex held, updateMaps() taking the grid's
 * mutex inside it. The parameter callback runs on an executor thread and touches only the atomic
 * `enabled` flag and the cache (which locks itself). `FreqCheckMeta::last_pub_time` is shared by
 * every VelnorLayer of the process and is read and written only under its own process-wide mutex
 * (lastPubTimeMutex()), which is taken last and alone.
 */
class VelnorLayer : public BrindlexLayer
{
public:
  using GridT = Semanticmap<MapTypeAndHeight>;

  /// The rate-watch state of one observation source.
  struct FreqCheckMeta
  {
    /// Start of the current slow episode; time 0 while none is open.
    rclcpp::Time start_time;
    /// Latest check that found the source slow; time 0 while no episode is open.
    rclcpp::Time last_time;
    /// Lowest rate (Hz) seen in the current episode; +infinity while none is open.
    double min_hz;
    /// A message has been logged for the current episode.
    bool noticed;

    /// When the last rate ERROR was logged or a source was last registered, process-wide.
    static rclcpp::Time last_pub_time;
    /// The one mutex that guards last_pub_time in the process.
    static std::mutex & lastPubTimeMutex();

    /**
     * @brief Logs the slow-rate message of this record when it is due: a WARN once an episode is
     * longer than 3 s, an ERROR instead when more than 120 s passed since last_pub_time.
     * @param closing false while the source is slow, true when its episode ends
     */
    void print_log(
        std::shared_ptr<rclcpp_lifecycle::LifecycleNode> node,
        const std::string & name,
        bool closing);
  };

  VelnorLayer();
  ~VelnorLayer() override;

  /// Subscribes every source and restarts its rate statistics.
  void activate() override;
  /// Unsubscribes every source and empties the cache without reporting a CLEAR.
  void deactivate() override;
  /// deactivate() then activate(): an empty cache with its inputs running.
  void reset() override;
  bool isClearable() override;
  bool clearArea(double min_x, double min_y, double max_x, double max_y, bool invert) override;
  /**
   * @brief Runs the cache update into a new change list, widens the box (metres, global frame) by
   * every unit's edge and runs the rate watch. Does nothing while the layer is disabled.
   */
  void updateBounds(
      double robot_x,
      double robot_y,
      double robot_yaw,
      double * min_x,
      double * min_y,
      double * max_x,
      double * max_y) override;
  /**
   * @brief Applies this cycle's change list to every grid cell its points fall in (the window is
   * not a limit), under the grid's mutex, and drops the list.
   */
  void updateMaps(
      GridT * grid, nav2_costmap_2d::Costmap2D * master, int min_i, int min_j, int max_i, int max_j)
      override;
  void matchSize() override;
  /// Declares and reads every parameter, builds the cache with its frustums and sources.
  /// @throws std::invalid_argument for a value the layer cannot work with (logged at ERROR).
  void onInitialize(bool & enabled_flag) override;

  /// Fills @p option for the frustum @p name from the parameters "<name>.<field>", declared
  /// with the values of @p defaults.
  void getFrustumConfig(
      std::shared_ptr<rclcpp_lifecycle::LifecycleNode> node,
      const std::string & name,
      velnor::FrustumManager::Option & option,
      const velnor::FrustumManager::Option & defaults);

  /// Registers a source with the rate watch (first registration only) and moves last_pub_time to
  /// the node's current time (every call).
  void initHZNoticeTime(std::string name);

  /// The rate watch: asks the cache for the slow marking sources and passes them to noticeRates().
  void checkHZAndNotice();

  /**
   * @brief One step of the rate watch on a rate report (source name -> measured Hz, -1.0 while
   * unmeasured) at the node's current time: opens, extends and closes slow episodes and logs them.
   */
  void noticeRates(const std::unordered_map<std::string, double> & rates);

  /// The on-set-parameters callback: decay time, enabled and per-source marking. Refuses a list
  /// that sets this layer's decay time to NaN (nothing of it applied); accepts every other list.
  rcl_interfaces::msg::SetParametersResult velnorObstacleLayerDynamicParametersCallback(
      std::vector<rclcpp::Parameter> parameters);

  std::unique_ptr<velnor::VelnorCacheMaster> camera_cache;
  std::shared_ptr<std::vector<velnor::MapChangeUnit>> change_units;
  rclcpp_lifecycle::LifecycleNode::OnSetParametersCallbackHandle::SharedPtr
      parameter_callback_handle;
  std::unordered_map<std::string, FreqCheckMeta> freq_check_metas;
};

}  // namespace semantic_map

#endif  // LORVENT__VELNOR_LAYER_HPP_
