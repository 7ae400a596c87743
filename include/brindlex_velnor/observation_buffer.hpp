#ifndef BRINDLEX_VELNOR__OBSERVATION_BUFFER_HPP_
#define BRINDLEX_VELNOR__OBSERVATION_BUFFER_HPP_

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "brindlex_protocol/msg/semantic_point_cloud.hpp"
#include "brindlex_velnor/frustum_agent.hpp"
#include "brindlex_velnor/observation.hpp"
#include "geometry_msgs/msg/polygon.hpp"
#include "geometry_msgs/msg/transform_stamped.hpp"
#include "rclcpp/clock.hpp"
#include "rclcpp/duration.hpp"
#include "rclcpp/logger.hpp"
#include "rclcpp/time.hpp"
#include "tf2_ros/buffer.h"

namespace velnor {

/**
 * @brief The recent clouds of one observation source, transformed into the global frame and split
 * into one unit per semantic class.
 *
 * The buffer takes no lock of its own: every caller holds `mutex` around every call and every read
 * of the state below (the subscription callback around `bufferCloud`, the cache around
 * `getObservations`, the rate report and the activation reset). `bufferCloud` holds it across up to
 * two transform lookups, each waiting up to the tf tolerance.
 */
class ObservationBuffer
{
public:
  /// What the buffer needs of a source's settings.
  struct Option
  {
    std::string name;                     ///< key under which the cache reports the source
    std::string topic_name;               ///< not used by the buffer
    int32_t check_hz{0};                  ///< rate window on when >= 1
    double observation_keep_time{0.0};    ///< s; 0 keeps the newest observation only
    double expected_update_rate{0.0};     ///< not used by the buffer
    double min_obstacle_height{-0.5};     ///< m, cloud frame; lower points are dropped
    double max_obstacle_height{2.0};      ///< m, cloud frame; higher points are dropped
  };

  /// Slots of the rate window.
  static constexpr int32_t kRateWindowSize = 100;

  /**
   * @param global_frame frame of every stored point
   * @param tf_buffer transform source, not owned; must outlive the buffer
   * @param tf_tolerance s, timeout of each transform lookup
   * @param agent the source's frustum agent, or empty when the source feeds no frustum
   */
  ObservationBuffer(
      const Option & option,
      const std::string & global_frame,
      tf2_ros::Buffer & tf_buffer,
      double tf_tolerance,
      std::shared_ptr<rclcpp::Clock> clock,
      rclcpp::Logger logger,
      std::shared_ptr<FrustumAgent> agent);

  ~ObservationBuffer();

  ObservationBuffer(const ObservationBuffer &) = delete;
  ObservationBuffer & operator=(const ObservationBuffer &) = delete;

  /**
   * @brief Store one cloud at the front: transformed into the global frame, one unit per element,
   * points outside the height band dropped. Caller holds `mutex`.
   * @return false when the cloud was refused (no frame, malformed element, failed lookup); the
   * buffer is then exactly as it was before the call.
   */
  bool bufferCloud(const brindlex_protocol::msg::SemanticPointCloud & cloud);

  /**
   * @brief Purge by age, append copies of the remaining observations (newest first) and feed the
   * frustum agent with their points. Caller holds `mutex`.
   */
  void getObservations(std::vector<Observation> & observations);

  /// Drop the observations older than the keep time (all but the newest when it is 0).
  void purgeStaleObservations();

  /// `last_updated` = clock now.
  void resetLastUpdated();

  /// Restart the rate window (no slot filled, rate not measured); the arrival times stay.
  void resetRateWindow();

  /// Always true: the buffer does not judge its own freshness.
  bool isCurrent() const;

  const Option & getOption() const { return option; }
  /// Stored clouds per second over the rate window; -1.0 before any measurement, 0.0 after one.
  double getMeasuredRate() const { return measured_rate; }
  rclcpp::Time getLastUpdated() const { return last_updated; }
  const geometry_msgs::msg::TransformStamped & getCameraTransform() const { return camera_transform; }
  const geometry_msgs::msg::Polygon & getPolygon() const { return polygon; }
  /// The buffered observations, newest first.
  const std::list<Observation> & getBufferedObservations() const { return observations; }

  /// Guards everything in the buffer; held by the caller around every call above.
  std::mutex mutex;

private:
  void updateRateWindow();

  std::vector<rclcpp::Time> arrival_times;
  int32_t window_index;
  bool window_full;
  double measured_rate;
  Option option;
  std::string global_frame;
  tf2_ros::Buffer & tf_buffer;
  double tf_tolerance;
  rclcpp::Duration keep_time;
  rclcpp::Time last_updated;
  std::shared_ptr<rclcpp::Clock> clock;
  rclcpp::Logger logger;
  std::shared_ptr<FrustumAgent> agent;
  geometry_msgs::msg::TransformStamped camera_transform;
  geometry_msgs::msg::Polygon polygon;
  std::list<Observation> observations;
};

}  // namespace velnor

#endif  // BRINDLEX_VELNOR__OBSERVATION_BUFFER_HPP_
