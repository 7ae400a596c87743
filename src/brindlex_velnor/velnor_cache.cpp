#include "brindlex_velnor/velnor_cache.hpp"

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>

#include "brindlex_velnor/frustum_agent.hpp"
#include "fmt/format.h"
#include "pcl_conversions/pcl_conversions.h"
#include "rclcpp/rclcpp.hpp"
#include "util/util.hpp"

namespace velnor {

namespace {

constexpr uint32_t kFilterQueueSize = 5;
constexpr double kFilterTimeout = 0.2;  // s
constexpr size_t kSourceDepth = 10;
constexpr double kSummaryPeriod = 5.0;  // s
constexpr double kMinDetectorStamp = 0.000001;  // s; below: the detector was never posed

const char kSupportedType[] = "SemanticPointCloud";

// Best effort, volatile, last 10: a late cloud is worth less than the next one.
rmw_qos_profile_t sourceQos()
{
  rmw_qos_profile_t qos = rmw_qos_profile_sensor_data;
  qos.depth = kSourceDepth;
  return qos;
}

// The debug summary is logged at most every kSummaryPeriod per cache name, across all caches of
// the process.
bool summaryDue(const std::string & name, double stamp)
{
  static std::mutex mutex;
  static std::map<std::string, double> last_logged;
  std::lock_guard<std::mutex> lock(mutex);
  auto it = last_logged.find(name);
  if (it == last_logged.end() || stamp - it->second > kSummaryPeriod) {
    last_logged[name] = stamp;
    return true;
  }
  return false;
}

float boxAlpha(Eigen::Index points)
{
  return static_cast<float>(std::min<Eigen::Index>(100, points)) * 0.4f / 100.0f + 0.1f;
}

void setColor(visualization_msgs::msg::Marker & marker, float r, float g, float b, float a)
{
  marker.color.r = r;
  marker.color.g = g;
  marker.color.b = b;
  marker.color.a = a;
}

/// A box marker over a unit's x/y edge at height @p z, @p size times the edge, coloured (r, g, b)
/// with an alpha that grows with the unit's point count.
template <typename Unit>
visualization_msgs::msg::Marker unitBox(
    const Unit & unit, const std::string & ns, int32_t id, double z, float size, float r, float g,
    float b)
{
  visualization_msgs::msg::Marker marker;
  marker.ns = ns;
  marker.id = id;
  marker.type = visualization_msgs::msg::Marker::CUBE;
  marker.action = visualization_msgs::msg::Marker::ADD;
  marker.pose.position.x = (unit.min_x + unit.max_x) / 2.0f;
  marker.pose.position.y = (unit.min_y + unit.max_y) / 2.0f;
  marker.pose.position.z = z;
  marker.scale.x = (unit.max_x - unit.min_x) * size;
  marker.scale.y = (unit.max_y - unit.min_y) * size;
  marker.scale.z = 0.05;
  setColor(marker, r, g, b, boxAlpha(unit.points.cols()));
  return marker;
}

template <typename UnitRange>
void appendPoints(const UnitRange & units, pcl::PointCloud<pcl::PointXYZ> & cloud)
{
  for (const auto & unit : units) {
    for (Eigen::Index k = 0; k < unit.points.cols(); ++k) {
      cloud.push_back(pcl::PointXYZ(unit.points(0, k), unit.points(1, k), unit.points(2, k)));
    }
  }
}

sensor_msgs::msg::PointCloud2 toCloudMessage(
    pcl::PointCloud<pcl::PointXYZ> & cloud, const std::string & frame)
{
  cloud.width = static_cast<uint32_t>(cloud.size());
  cloud.height = 1;
  cloud.is_dense = false;
  sensor_msgs::msg::PointCloud2 message;
  pcl::toROSMsg(cloud, message);
  message.header.frame_id = frame;
  message.header.stamp = rclcpp::Clock(RCL_SYSTEM_TIME).now();
  return message;
}

}  // namespace

VelnorCache::VelnorCache(
    std::weak_ptr<rclcpp_lifecycle::LifecycleNode> node,
    const Option & option,
    tf2_ros::Buffer & tf_buffer)
    : node(std::move(node)), option(option), tf_buffer(tf_buffer)
{
  // The cell index is x / cache_resolution: zero, negative, NaN or infinite sides would bin every
  // point into nonsense (or divide by zero), so they are refused before anything is built.
  if (!std::isfinite(option.cache_resolution) || option.cache_resolution <= 0.0) {
    throw std::invalid_argument(fmt::format(
        "cache_resolution must be a finite positive number, got {}", option.cache_resolution));
  }
  frustum_manager = std::make_unique<FrustumManager>(this->node, std::vector<FrustumManager::Option>{});

  if (option.enable_frustum_trace) {
    auto locked = this->node.lock();
    if (!locked) {
      throw std::invalid_argument("node cannot be nullptr");
    }
    const rclcpp::QoS depth_one(1);
    marker_publisher =
        locked->create_publisher<visualization_msgs::msg::MarkerArray>("frustum_debug_markers", depth_one);
    combined_cloud_publisher =
        locked->create_publisher<sensor_msgs::msg::PointCloud2>("combined_pcl", depth_one);
    cluster_cloud_publisher =
        locked->create_publisher<sensor_msgs::msg::PointCloud2>("cluster_pcl", depth_one);
  }
}

VelnorCache::~VelnorCache()
{
  // Clouds may still be on their way on an executor thread or on the thread that feeds the tf
  // buffer. Close the subscriptions and then the filters' way into the buffers, each waiting for
  // the cloud under way; then cancel the filters' transform waits, and only then let the filters
  // go: Humble's filter does not wait, when it goes, for the tf buffer's callback into it under
  // way. For a transform that arrived the buffer calls back under its request lock, which a cancel
  // takes too: one more cancel (of nothing) waits for that callback. A timeout calls back after
  // the buffer has released its locks, which nothing here can wait for; only the filter can
  // (Humble's does not: ros/geometry2 issue 565).
  for (auto & subscriber : subscribers) {
    subscriber->unsubscribe();
  }
  filter_deliveries->close();
  for (auto & filter : message_filters) {
    filter->clear();
  }
  tf_buffer.cancel(tf2_ros::TransformStampedFuture());
  message_filters.clear();
  subscribers.clear();
  marking_buffers.clear();
  observation_buffers.clear();
  frustum_manager.reset();
}

void VelnorCache::addObservationBufferListen(const ObservationOption & source)
{
  auto locked = node.lock();
  if (!locked) {
    // Nothing can be subscribed, and a buffer without the node's clock would be useless.
    throw std::invalid_argument("node cannot be nullptr");
  }

  std::shared_ptr<FrustumAgent> agent;
  if (option.occlusion_clearing) {
    agent = frustum_manager->registerAgent(source.frustum_name);
  }

  ObservationBuffer::Option buffer_option;
  buffer_option.name = source.name;
  buffer_option.topic_name = source.topic_name;
  buffer_option.check_hz = source.check_hz;
  buffer_option.observation_keep_time = source.observation_keep_time;
  buffer_option.expected_update_rate = source.expected_update_rate;
  buffer_option.min_obstacle_height = source.min_obstacle_height;
  buffer_option.max_obstacle_height = source.max_obstacle_height;

  auto buffer = std::make_shared<ObservationBuffer>(
      buffer_option,
      option.global_frame,
      tf_buffer,
      option.transform_tolerance,
      locked->get_clock(),
      locked->get_logger(),
      agent);

  {
    std::lock_guard<std::mutex> lock(cache_mutex);
    observation_buffers.push_back(buffer);
    if (source.marking) {
      marking_buffers.push_back(buffer);
    }
  }

  if (source.msg_type != kSupportedType) {
    throw std::runtime_error("Unknown message type: " + source.msg_type);
  }

  // Every source starts inactive: subscribed once so that the subscriber remembers its topic and
  // QoS, then unsubscribed until activate.
  auto subscriber = std::make_shared<Subscriber>();
  subscriber->subscribe(locked, source.topic_name, sourceQos());
  subscriber->unsubscribe();

  auto filter = std::make_shared<Filter>(
      *subscriber,
      tf_buffer,
      option.global_frame,
      kFilterQueueSize,
      locked->get_node_logging_interface(),
      locked->get_node_clock_interface(),
      tf2::durationFromSec(kFilterTimeout));
  // The tf buffer may release a held cloud on its feeding thread at any moment: the cache is
  // used only inside the gate, which the destructor closes first.
  filter->registerCallback(std::function<void(const std::shared_ptr<const SemanticPointCloud> &)>(
      [this, gate = filter_deliveries, buffer](
          const std::shared_ptr<const SemanticPointCloud> & message) {
        DeliveryGate::Pass pass(*gate);
        if (pass) {
          semanticPointCloudCallback(message, buffer);
        }
      }));

  subscribers.push_back(subscriber);
  message_filters.push_back(filter);

  if (!source.sensor_frame.empty()) {
    filter->setTargetFrames({option.global_frame, source.sensor_frame});
  }
}

void VelnorCache::addObservationBufferListen(const std::vector<ObservationOption> & options)
{
  for (const auto & source : options) {
    addObservationBufferListen(source);
  }
}

bool VelnorCache::addCameraFrustum(const std::vector<FrustumManager::Option> & options)
{
  return frustum_manager->add(options, true);
}

bool VelnorCache::addCameraFrustum(const FrustumManager::Option & frustum)
{
  return frustum_manager->add(frustum, true);
}

void VelnorCache::activate()
{
  for (auto & subscriber : subscribers) {
    subscriber->subscribe();
  }
  for (auto & buffer : observation_buffers) {
    std::lock_guard<std::mutex> lock(buffer->mutex);
    buffer->resetLastUpdated();
    buffer->resetRateWindow();
  }
  // The node's own activation does not reach these publishers when its class overrides
  // on_activate (as the costmap node does), so the cache switches them with its sources.
  if (marker_publisher) {
    marker_publisher->on_activate();
    combined_cloud_publisher->on_activate();
    cluster_cloud_publisher->on_activate();
  }
}

void VelnorCache::deactivate()
{
  for (auto & subscriber : subscribers) {
    subscriber->unsubscribe();
  }
  if (marker_publisher) {
    marker_publisher->on_deactivate();
    combined_cloud_publisher->on_deactivate();
    cluster_cloud_publisher->on_deactivate();
  }
  std::lock_guard<std::mutex> lock(cache_mutex);
  cache.clear();
}

bool VelnorCache::setObservationMarkingStatus(const std::string & name, bool marking)
{
  std::lock_guard<std::mutex> lock(cache_mutex);
  auto named = [&name](const std::shared_ptr<ObservationBuffer> & buffer) {
    return buffer->getOption().name == name;
  };
  auto marked = std::find_if(marking_buffers.begin(), marking_buffers.end(), named);
  if (marked != marking_buffers.end()) {
    if (!marking) {
      marking_buffers.erase(marked);
    }
    return true;
  }
  if (!marking) {
    return false;
  }
  auto source = std::find_if(observation_buffers.begin(), observation_buffers.end(), named);
  if (source == observation_buffers.end()) {
    return false;
  }
  marking_buffers.push_back(*source);
  return true;
}

void VelnorCache::setDecayTime(double seconds)
{
  std::lock_guard<std::mutex> lock(cache_mutex);
  option.decay_time = seconds;
}

void VelnorCache::checkAllMarkingObsHZ(std::unordered_map<std::string, double> & rates)
{
  std::vector<std::shared_ptr<ObservationBuffer>> marking;
  {
    std::lock_guard<std::mutex> lock(cache_mutex);
    marking = marking_buffers;
  }
  for (const auto & buffer : marking) {
    std::lock_guard<std::mutex> lock(buffer->mutex);
    const int32_t check_hz = buffer->getOption().check_hz;
    if (check_hz < 1) {
      continue;
    }
    const double rate = buffer->getMeasuredRate();
    if (!(rate > static_cast<double>(check_hz))) {
      rates[buffer->getOption().name] = rate;
    }
  }
}

bool VelnorCache::getMarkingObservations(
    std::vector<Observation> & observations,
    std::vector<std::shared_ptr<FrustumDetector>> & detectors) const
{
  frustum_manager->clear();

  // Each marking source with its place among all sources, which stays its identity while it is
  // switched off and on again.
  std::vector<std::pair<std::shared_ptr<ObservationBuffer>, uint32_t>> marking;
  {
    std::lock_guard<std::mutex> lock(cache_mutex);
    for (const auto & buffer : marking_buffers) {
      const auto place = std::find(observation_buffers.begin(), observation_buffers.end(), buffer);
      marking.emplace_back(
          buffer, static_cast<uint32_t>(std::distance(observation_buffers.begin(), place)));
    }
  }

  bool current = true;
  for (const auto & [buffer, source] : marking) {
    const std::size_t first = observations.size();
    {
      std::lock_guard<std::mutex> lock(buffer->mutex);
      buffer->getObservations(observations);
      current = buffer->isCurrent() && current;
    }
    for (std::size_t i = first; i < observations.size(); ++i) {
      observations[i].source = source;
    }
  }

  detectors = frustum_manager->getUsing();
  if (option.occlusion_clearing) {
    brindlex::Logger::Log(
        0, "VelnorCache::getMarkingObservations use frustum detector num {}", detectors.size());
  }
  return current;
}

void VelnorCache::semanticPointCloudCallback(
    const std::shared_ptr<const SemanticPointCloud> & message,
    const std::shared_ptr<ObservationBuffer> & buffer)
{
  std::lock_guard<std::mutex> lock(buffer->mutex);
  buffer->bufferCloud(*message);
}

bool VelnorCache::updateCache(double robot_x, double robot_y, std::vector<MapChangeUnit> & changes)
{
  std::vector<Observation> observations;
  std::vector<std::shared_ptr<FrustumDetector>> detectors;
  const bool current = getMarkingObservations(observations, detectors);

  std::lock_guard<std::mutex> lock(cache_mutex);
  CellCache::Settings settings;
  settings.cache_resolution = option.cache_resolution;
  settings.decay_time = option.decay_time;
  settings.local_cache_distance = option.local_cache_distance;
  settings.clearing_min_point_cloud = option.clearing_min_point_cloud;
  settings.enable_near_blocked_protection = option.enable_near_blocked_protection;
  settings.number_points_considered_as_blocked = option.number_points_considered_as_blocked;
  const double now = std::chrono::duration<double>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
  cache.update(observations, detectors, settings, robot_x, robot_y, now, changes);

  if (option.enable_frustum_trace) {
    publishDebugMarkers(observations, detectors);
  }
  return current;
}

void VelnorCache::publishDebugMarkers(
    const std::vector<Observation> & observations,
    const std::vector<std::shared_ptr<FrustumDetector>> & detectors)
{
  if (!marker_publisher) {
    return;
  }
  using visualization_msgs::msg::Marker;
  const std::string & name = option.name;
  rclcpp::Time marker_stamp = rclcpp::Clock(RCL_SYSTEM_TIME).now();
  visualization_msgs::msg::MarkerArray array;

  int32_t shapes = 0;
  for (const auto & detector : detectors) {
    if (detector->stamp.seconds() < kMinDetectorStamp) {
      continue;
    }
    marker_stamp = detector->stamp;
    Marker marker;
    if (!detector->getMarker(marker)) {
      continue;
    }
    marker.header.stamp = detector->stamp;
    marker.header.frame_id = "map";
    marker.ns = name + ".shape";
    marker.id = shapes++;
    marker.type = Marker::LINE_LIST;
    marker.action = Marker::ADD;
    marker.scale.x = 0.02;
    setColor(marker, 240.0f / 255.0f, 123.0f / 255.0f, 63.0f / 255.0f, 0.6f);
    array.markers.push_back(marker);
  }

  int32_t k = 0;
  for (const auto & detector : detectors) {
    if (detector->stamp.seconds() < kMinDetectorStamp) {
      continue;
    }
    marker_stamp = detector->stamp;
    const CameraFrustumParam & param = detector->param;
    const float fx = param.projection[0];
    const float cx = param.projection[2];
    const float fy = param.projection[5];
    const float cy = param.projection[6];
    const float width = static_cast<float>(param.width);
    const float height = static_cast<float>(param.height);
    for (const float d : {param.view_min_distance, param.view_max_distance}) {
      Marker marker;
      marker.header.stamp = detector->stamp;
      marker.header.frame_id = param.frame_id;
      marker.ns = name + ".frustum";
      marker.id = k++;
      marker.type = Marker::CUBE;
      marker.action = Marker::ADD;
      marker.pose.position.z = d;
      marker.scale.x = (width - cx) * 2.0f * d / fx + 0.000001f;
      marker.scale.y = (height - cy) * 2.0f * d / fy + 0.000001f;
      marker.scale.z = 0.02;
      setColor(marker, 1.0f, 212.0f / 255.0f, 96.0f / 255.0f, 0.6f);
      array.markers.push_back(marker);
    }
  }
  const int32_t frustums = k / 2;

  int32_t observation_markers = 0;
  int64_t observation_points = 0;
  for (const auto & observation : observations) {
    for (const auto & unit : observation.units) {
      const Eigen::Index n = unit.points.cols();
      if (n == 0) {
        continue;
      }
      // Observation boxes are drawn at half their size, stacked upwards.
      Marker marker = unitBox(
          unit, name + ".cur_pc", observation_markers, observation_markers * 0.05, 0.5f,
          240.0f / 255.0f, 123.0f / 255.0f, 63.0f / 255.0f);
      marker.header.stamp = marker_stamp;
      marker.header.frame_id = option.global_frame;
      array.markers.push_back(marker);
      ++observation_markers;
      observation_points += n;
    }
  }

  int32_t cache_markers = 0;
  int64_t cache_points = 0;
  for (const auto & unit : cache.getUnits()) {
    const Eigen::Index n = unit.points.cols();
    // Cached boxes are drawn at full size, stacked downwards.
    Marker marker = unitBox(
        unit, name + ".buffer", cache_markers, -cache_markers * 0.05, 1.0f, 234.0f / 255.0f,
        84.0f / 255.0f, 85.0f / 255.0f);
    marker.header.stamp = marker_stamp;
    marker.header.frame_id = option.global_frame;
    array.markers.push_back(marker);
    ++cache_markers;
    cache_points += n;
  }

  if (summaryDue(name, marker_stamp.seconds())) {
    LOG_INFO(
        "{}, frustum num {}, obs num {}, obs-point num {}, buffer num {}, buffer-point num {}.",
        name,
        frustums,
        observation_markers,
        observation_points,
        cache_markers,
        cache_points);
  }

  marker_publisher->publish(array);

  if (combined_cloud_publisher->get_subscription_count() > 0) {
    pcl::PointCloud<pcl::PointXYZ> cloud;
    for (const auto & observation : observations) {
      appendPoints(observation.units, cloud);
    }
    combined_cloud_publisher->publish(toCloudMessage(cloud, option.global_frame));
  }
  if (cluster_cloud_publisher->get_subscription_count() > 0) {
    pcl::PointCloud<pcl::PointXYZ> cloud;
    appendPoints(cache.getUnits(), cloud);
    cluster_cloud_publisher->publish(toCloudMessage(cloud, option.global_frame));
  }
}

}  // namespace velnor
