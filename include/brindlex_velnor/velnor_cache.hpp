#ifndef BRINDLEX_VELNOR__VELNOR_CACHE_HPP_
#define BRINDLEX_VELNOR__VELNOR_CACHE_HPP_

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "brindlex_protocol/msg/semantic_point_cloud.hpp"
#include "brindlex_velnor/cell_cache.hpp"
#include "brindlex_velnor/delivery_gate.hpp"
#include "brindlex_velnor/frustum_detector.hpp"
#include "brindlex_velnor/frustum_manager.hpp"
#include "brindlex_velnor/observation.hpp"
#include "brindlex_velnor/observation_buffer.hpp"
#include "brindlex_velnor/source_subscriber.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"
#include "rclcpp_lifecycle/lifecycle_publisher.hpp"
#include "sensor_msgs/msg/point_cloud2.hpp"
#include "tf2_ros/buffer.h"
#include "tf2_ros/message_filter.h"
#include "visualization_msgs/msg/marker_array.hpp"

namespace velnor {

/// The settings of one observation source of a depth-camera cache.
struct ObservationOption
{
  std::string name;                        ///< key of the marking list and of the rate report
  std::string topic_name;                  ///< SemanticPointCloud topic; empty: never subscribed
  int32_t check_hz{0};                     ///< rate the source must exceed; < 1: no check
  double observation_keep_time{0.0};       ///< s; 0 keeps the newest observation only
  double expected_update_rate{0.0};        ///< passed to the buffer
  double min_obstacle_height{-0.5};        ///< m, lowest point kept
  double max_obstacle_height{2.0};         ///< m, highest point kept
  std::string msg_type{"SemanticPointCloud"};  ///< no other value is accepted
  std::string frustum_name;                ///< frustum slot whose agent the source feeds
  std::string sensor_frame;                ///< when set, a second target frame of the filter
  bool marking{false};                     ///< the source starts in the marking list
};

/**
 * @brief The depth-camera pipeline of one depth-camera layer: observation sources (subscription,
 * tf2 message filter, observation buffer), the marking list, the frustum manager, the cell cache
 * and, with `enable_frustum_trace`, three debug publishers.
 *
 * Threads: construction, sources and frustums are added on the configuring thread; clouds arrive
 * on executor threads (or the thread that feeds the tf buffer); `updateCache`,
 * `getMarkingObservations` and `checkAllMarkingObsHZ` run on the map-update thread;
 * `setDecayTime` and `setObservationMarkingStatus` on the parameter-callback thread.
 *
 * Locks: `cache_mutex` guards the cell cache, the decay time and the marking list. It is never held
 * together with a buffer's mutex: the marking list is copied under it, then the buffers are
 * locked one at a time without it. A buffer's mutex may be held when the frustum manager's mutex
 * is taken (through a frustum agent), never the reverse.
 *
 * Teardown: `deactivate` and the destructor wait for the clouds being delivered from the dropped
 * subscriptions, and none is delivered from them afterwards; the destructor also waits for the
 * clouds its filters are handing over on the thread that feeds the tf buffer, and for a filter
 * callback of that thread under way. Neither may therefore run inside a delivery or hold a lock
 * that a delivery takes (a buffer's mutex, the frustum manager's mutex); the layered map's mutex
 * is fine. A filter's timeout under way (on the thread serving the tf buffer's timers) is waited
 * for only by a filter that does so itself, which Humble's does not.
 */
class VelnorCache
{
public:
  using SemanticPointCloud = brindlex_protocol::msg::SemanticPointCloud;

  /// The settings of the cache.
  struct Option
  {
    std::string name;                        ///< the layer's name; key of the change channel
    bool enable_frustum_trace{false};        ///< create the debug publishers and draw each update
    std::string global_frame;                ///< frame of every stored point
    double transform_tolerance{0.0};         ///< s, timeout of every transform lookup
    double decay_time{0.0};                  ///< s; <= 0 disables decay
    double local_cache_distance{0.0};        ///< m; <= 0 disables the distance rule
    bool occlusion_clearing{false};          ///< attach a frustum agent to every source
    int32_t clearing_min_point_cloud{0};     ///< a cleared unit survives with more points
    double cache_resolution{0.05};           ///< m, side of a binning cell; finite, > 0
    bool enable_near_blocked_protection{false};
    int32_t number_points_considered_as_blocked{0};
  };

  /**
   * @throws std::invalid_argument when `cache_resolution` is not a finite positive number, or
   * "node cannot be nullptr" when the debug publishers are asked for and the node is gone
   */
  VelnorCache(
      std::weak_ptr<rclcpp_lifecycle::LifecycleNode> node,
      const Option & option,
      tf2_ros::Buffer & tf_buffer);

  virtual ~VelnorCache();

  VelnorCache(const VelnorCache &) = delete;
  VelnorCache & operator=(const VelnorCache &) = delete;

  /**
   * @brief Add a source: its buffer, an inactive subscription and its message filter.
   * @throws std::runtime_error "Unknown message type: <type>" for a type other than
   * "SemanticPointCloud" (the buffer stays registered, without subscription)
   * @throws std::invalid_argument "node cannot be nullptr" when the node is gone (nothing is added)
   */
  void addObservationBufferListen(const ObservationOption & option);
  void addObservationBufferListen(const std::vector<ObservationOption> & options);

  /// Add frustum slots to the frustum manager (built from CameraInfo on its thread).
  bool addCameraFrustum(const std::vector<FrustumManager::Option> & options);
  bool addCameraFrustum(const FrustumManager::Option & option);

  /// Subscribe every source again (while the node lives), restart each buffer's update time and
  /// rate window, and activate the debug publishers.
  void activate();

  /// Unsubscribe every source (waiting for the clouds being delivered), deactivate the debug
  /// publishers and drop the cell cache without reporting changes. Clouds its filters still hold
  /// may reach the buffers later.
  void deactivate();

  /// Add a source to (true) or remove it from (false) the marking list; false when nothing matched.
  bool setObservationMarkingStatus(const std::string & name, bool marking);

  /// s; used from the next update on.
  void setDecayTime(double seconds);

  /// Set rates[name] for every marking source checked for rate whose rate is not above `check_hz`.
  void checkAllMarkingObsHZ(std::unordered_map<std::string, double> & rates);

  /**
   * @brief Gather the marking sources' observations (appended, each with its `source` set) and
   * the frustum detectors they fed this cycle (replaced). Map-update thread only.
   * @return whether every marking source reports itself current
   */
  bool getMarkingObservations(
      std::vector<Observation> & observations,
      std::vector<std::shared_ptr<FrustumDetector>> & detectors) const;

  /// The message filter's callback of one source: store the cloud under the buffer's mutex.
  void semanticPointCloudCallback(
      const std::shared_ptr<const SemanticPointCloud> & message,
      const std::shared_ptr<ObservationBuffer> & buffer);

  /**
   * @brief One cache update: gather, then update the cell cache under `cache_mutex` and append the
   * changes. With `enable_frustum_trace` the debug view is published at the end, still under
   * `cache_mutex`. Map-update thread only.
   * @param robot_x robot position, m, global frame
   * @param robot_y robot position, m, global frame
   * @return the result of `getMarkingObservations`
   */
  bool updateCache(double robot_x, double robot_y, std::vector<MapChangeUnit> & changes);

  /// Publish the debug view of the given observations and detectors and the cached units.
  /// Only on a cache made with `enable_frustum_trace`; caller holds `cache_mutex`.
  void publishDebugMarkers(
      const std::vector<Observation> & observations,
      const std::vector<std::shared_ptr<FrustumDetector>> & detectors);

protected:
  using Subscriber = SourceSubscriber;
  using Filter = tf2_ros::MessageFilter<SemanticPointCloud>;

  std::weak_ptr<rclcpp_lifecycle::LifecycleNode> node;
  Option option;
  tf2_ros::Buffer & tf_buffer;
  std::vector<std::shared_ptr<Subscriber>> subscribers;
  std::vector<std::shared_ptr<Filter>> message_filters;
  /// Admits the filters' clouds into the buffers until the cache goes.
  std::shared_ptr<DeliveryGate> filter_deliveries{std::make_shared<DeliveryGate>()};
  std::vector<std::shared_ptr<ObservationBuffer>> observation_buffers;
  std::vector<std::shared_ptr<ObservationBuffer>> marking_buffers;
  mutable std::mutex cache_mutex;
  CellCache cache;
  std::unique_ptr<FrustumManager> frustum_manager;
  std::shared_ptr<rclcpp_lifecycle::LifecyclePublisher<visualization_msgs::msg::MarkerArray>>
    marker_publisher;
  std::shared_ptr<rclcpp_lifecycle::LifecyclePublisher<sensor_msgs::msg::PointCloud2>>
    combined_cloud_publisher;
  std::shared_ptr<rclcpp_lifecycle::LifecyclePublisher<sensor_msgs::msg::PointCloud2>>
    cluster_cloud_publisher;
};

}  // namespace velnor

#endif  // BRINDLEX_VELNOR__VELNOR_CACHE_HPP_
