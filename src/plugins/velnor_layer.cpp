#include "lorvent/velnor_layer.hpp"

#include <cmath>
#include <limits>
#include <stdexcept>
#include <utility>

#include "brindlex_nav2_semanticmap/layered_semanticmap.hpp"
#include "lorvent/parameter_check.hpp"
#include "lorvent/string_util.hpp"
#include "pluginlib/class_list_macros.hpp"
#include "util/util.hpp"

namespace semantic_map {

rclcpp::Time VelnorLayer::FreqCheckMeta::last_pub_time{0, 0, RCL_SYSTEM_TIME};

namespace {

constexpr int kSlowCameraErrorCode = 101100030;
// A slow episode is reported once it lasts longer than this.
constexpr double kSlowEpisodeSeconds = 3.0;
// At most one rate ERROR per this many nanoseconds in the process. Compared in whole
// nanoseconds: seconds computed in floating point put exactly 120 s a hair above 120.
constexpr int64_t kErrorIntervalNanoseconds = 120'000'000'000;

// Words of a list parameter: any run of white space separates them, none is empty.
std::vector<std::string> splitWords(const std::string & text)
{
  std::vector<std::string> words;
  std::istringstream stream(text);
  std::string word;
  while (stream >> word) {
    words.push_back(word);
  }
  return words;
}

// Seconds from @p from to @p to, whatever clock types the two carry. Subtracting rclcpp::Time
// values of different clock types throws, and last_pub_time starts on the system clock while the
// records follow the node's clock.
double secondsBetween(const rclcpp::Time & from, const rclcpp::Time & to)
{
  return static_cast<double>(to.nanoseconds() - from.nanoseconds()) * 1e-9;
}

/// A negative decay time works as 0 does, which is easily mistaken for a short decay.
void warnNegativeDecayTime(
    const std::string & layer_name, const std::string & full_name, double decay_time)
{
  LOG_WARN(
      "{}: parameter {} is {}: a decay time of 0 or less turns decay off, observations are "
      "kept until they are out of range, seen again or cleared by a camera's view",
      layer_name,
      full_name,
      decay_time);
}

}  // namespace

std::mutex & VelnorLayer::FreqCheckMeta::lastPubTimeMutex()
{
  static std::mutex mutex;
  return mutex;
}

void VelnorLayer::FreqCheckMeta::print_log(
    std::shared_ptr<rclcpp_lifecycle::LifecycleNode> node, const std::string & name, bool closing)
{
  const double episode = secondsBetween(start_time, last_time);
  if (!(episode > kSlowEpisodeSeconds)) {
    return;
  }
  bool error_due = false;
  {
    std::lock_guard<std::mutex> lock(lastPubTimeMutex());
    if (last_time.nanoseconds() - last_pub_time.nanoseconds() > kErrorIntervalNanoseconds) {
      last_pub_time = last_time;
      error_due = true;
    }
  }
  if (error_due) {
    LOG_ERROR(
        "ErrorCode: {}, camera data slow, costmap[{}.{}] has unexpected hz({:.3f}) for {:.2f} sec.",
        kSlowCameraErrorCode,
        node->get_namespace(),
        name,
        min_hz,
        episode);
    noticed = true;
  } else if (noticed == closing) {
    LOG_WARN(
        "camera data slow, costmap[{}.{}] has unexpected hz({:.3f}) for {:.2f} sec.",
        node->get_namespace(),
        name,
        min_hz,
        episode);
    noticed = true;
  }
}

VelnorLayer::VelnorLayer() = default;

VelnorLayer::~VelnorLayer() = default;

void VelnorLayer::onInitialize(bool & enabled_flag)
{
  LOG_INFO("{} being initialized as VelnorLayer", name);
  auto locked_node = node.lock();

  declareParameter("enabled", rclcpp::ParameterValue(true));
  enabled_flag = locked_node->get_parameter(getFullName("enabled")).as_bool();
  current = true;

  const bool rolling_window = layered_semanticmap != nullptr && layered_semanticmap->rolling_window;
  velnor::VelnorCache::Option cache_option;
  cache_option.name = name;
  cache_option.global_frame =
      layered_semanticmap != nullptr ? layered_semanticmap->global_frame : std::string();
  auto read_bool = [&](const std::string & parameter, bool fallback) {
    declareParameter(parameter, rclcpp::ParameterValue(fallback));
    return locked_node->get_parameter(getFullName(parameter)).as_bool();
  };
  auto read_double = [&](const std::string & parameter, double fallback) {
    declareParameter(parameter, rclcpp::ParameterValue(fallback));
    return locked_node->get_parameter(getFullName(parameter)).as_double();
  };
  auto read_int = [&](const std::string & parameter, int fallback) {
    declareParameter(parameter, rclcpp::ParameterValue(fallback));
    return static_cast<int32_t>(locked_node->get_parameter(getFullName(parameter)).as_int());
  };
  cache_option.enable_frustum_trace = read_bool("enable_frustum_trace", false);
  cache_option.transform_tolerance = read_double("transform_tolerance", 0.2);
  cache_option.decay_time = read_double("decay_time", 5.0);
  cache_option.local_cache_distance = read_double("local_cache_distance", 3.0);
  cache_option.occlusion_clearing = read_bool("occlusion_clearing", true);
  cache_option.clearing_min_point_cloud = read_int("clearing_min_point_cloud", 3);
  cache_option.cache_resolution = read_double("cache_resolution", rolling_window ? 0.02 : 0.05);
  cache_option.enable_near_blocked_protection = read_bool("enable_near_blocked_protection", true);
  cache_option.number_points_considered_as_blocked =
      read_int("number_points_considered_as_blocked", 5);

  // The cache bins points into cells of this side; anything but a finite positive length would
  // make every cell index meaningless.
  if (!(std::isfinite(cache_option.cache_resolution) && cache_option.cache_resolution > 0.0)) {
    refuseParameter(
        name,
        getFullName("cache_resolution"),
        "a finite positive number of metres",
        cache_option.cache_resolution);
  }
  // Every age is compared with the decay time; against NaN no comparison holds.
  if (std::isnan(cache_option.decay_time)) {
    refuseParameter(
        name, getFullName("decay_time"), "a number of seconds", cache_option.decay_time);
  }
  if (cache_option.decay_time < 0.0) {
    warnNegativeDecayTime(name, getFullName("decay_time"), cache_option.decay_time);
  }

  camera_cache.reset();
  camera_cache = std::make_unique<velnor::VelnorCacheMaster>(
      std::weak_ptr<rclcpp_lifecycle::LifecycleNode>(locked_node), cache_option, *tf);

  declareParameter("frustum_list", rclcpp::ParameterValue(std::string()));
  const std::string frustum_list =
      locked_node->get_parameter(getFullName("frustum_list")).as_string();
  LOG_INFO("Subscribed frustum list: {}", frustum_list);

  const velnor::FrustumManager::Option builtin = [] {
    velnor::FrustumManager::Option option;
    option.min_view_distance = 0.0;
    option.max_view_distance = 8.0;
    option.theta_resolution = 0.0881;
    option.r_resolution = 0.05;
    option.strategy = velnor::FrustumDetectorStrategy{};
    return option;
  }();
  velnor::FrustumManager::Option configured_default = builtin;
  getFrustumConfig(locked_node, "default_frustum_conf", configured_default, builtin);
  std::vector<velnor::FrustumManager::Option> frustums;
  for (const auto & frustum_name : splitWords(frustum_list)) {
    frustums.push_back(builtin);
    getFrustumConfig(locked_node, frustum_name, frustums.back(), configured_default);
    // Without calibration the frustum is never built; its cameras still mark but never clear
    // what their view shows free.
    if (frustums.back().camera_info_topic.empty()) {
      LOG_WARN(
          "{}: parameter {} is \"\": frustum {} is never built and clears nothing",
          name,
          getFullName(frustum_name + ".camera_info_topic"),
          frustum_name);
    }
  }
  camera_cache->addCameraFrustum(frustums);

  declareParameter("observation_list", rclcpp::ParameterValue(std::string()));
  const std::string observation_list =
      locked_node->get_parameter(getFullName("observation_list")).as_string();
  LOG_INFO("Subscribed observation list: {}", observation_list);
  for (const auto & word : splitWords(observation_list)) {
    velnor::ObservationOption option;
    option.name = getFullName(word);
    const std::string prefix = word + ".";
    auto read_string = [&](const std::string & parameter) {
      declareParameter(parameter, rclcpp::ParameterValue(std::string()));
      return locked_node->get_parameter(getFullName(parameter)).as_string();
    };
    option.topic_name = read_string(prefix + "topic_name");
    option.msg_type = read_string(prefix + "msg_type");
    option.frustum_name = read_string(prefix + "frustum_name");
    option.sensor_frame = read_string(prefix + "sensor_frame");
    option.marking = read_bool(prefix + "marking", false);
    option.check_hz = read_int(prefix + "check_hz", 0);
    option.observation_keep_time = read_double(prefix + "observation_keep_time", 0.0);
    option.expected_update_rate = read_double(prefix + "expected_update_rate", 0.0);
    option.min_obstacle_height = read_double(prefix + "min_obstacle_height", -0.5);
    option.max_obstacle_height = read_double(prefix + "max_obstacle_height", 2.0);
    // A negative keep time purges every cloud as soon as it is stored, and a height band that
    // is empty (or has a NaN edge) drops every point or filters none: the camera would never
    // mark what it sees.
    if (!(std::isfinite(option.observation_keep_time) && option.observation_keep_time >= 0.0)) {
      refuseParameter(
          name,
          getFullName(prefix + "observation_keep_time"),
          "a finite number of seconds, 0 or more",
          option.observation_keep_time);
    }
    if (!(option.max_obstacle_height >= option.min_obstacle_height)) {
      refuseParameter(
          name,
          getFullName(prefix + "max_obstacle_height"),
          fmt::format(
              "at least {} ({})",
              getFullName(prefix + "min_obstacle_height"),
              option.min_obstacle_height),
          option.max_obstacle_height);
    }
    camera_cache->addObservationBufferListen(option);
    initHZNoticeTime(option.name);
  }

  parameter_callback_handle.reset();
  parameter_callback_handle = locked_node->add_on_set_parameters_callback(std::bind(
      &VelnorLayer::velnorObstacleLayerDynamicParametersCallback, this, std::placeholders::_1));
  LOG_INFO("{} initialization complete!", name);
}

void VelnorLayer::getFrustumConfig(
    std::shared_ptr<rclcpp_lifecycle::LifecycleNode> locked_node,
    const std::string & frustum_name,
    velnor::FrustumManager::Option & option,
    const velnor::FrustumManager::Option & defaults)
{
  option.name = frustum_name;
  const std::string prefix = frustum_name + ".";
  auto read_string = [&](const std::string & field, const std::string & fallback) {
    declareParameter(prefix + field, rclcpp::ParameterValue(fallback));
    return locked_node->get_parameter(getFullName(prefix + field)).as_string();
  };
  auto read_double = [&](const std::string & field, double fallback) {
    declareParameter(prefix + field, rclcpp::ParameterValue(fallback));
    return locked_node->get_parameter(getFullName(prefix + field)).as_double();
  };
  auto read_int = [&](const std::string & field, int32_t fallback) {
    declareParameter(prefix + field, rclcpp::ParameterValue(static_cast<int>(fallback)));
    return static_cast<int32_t>(locked_node->get_parameter(getFullName(prefix + field)).as_int());
  };
  option.camera_info_topic = read_string("camera_info_topic", defaults.camera_info_topic);
  option.min_view_distance = read_double("min_view_distance", defaults.min_view_distance);
  option.max_view_distance = read_double("max_view_distance", defaults.max_view_distance);
  option.theta_resolution = read_double("theta_resolution", defaults.theta_resolution);
  option.r_resolution = read_double("r_resolution", defaults.r_resolution);
  const auto & base = defaults.strategy;
  auto & strategy = option.strategy;
  strategy.no_reference_point = read_int("strategy.no_reference_point", base.no_reference_point);
  strategy.out_of_theta = read_int("strategy.out_of_theta", base.out_of_theta);
  strategy.near_range_without_point =
      read_int("strategy.near_range_without_point", base.near_range_without_point);
  strategy.near_range_with_point =
      read_int("strategy.near_range_with_point", base.near_range_with_point);
  strategy.far_range_without_point =
      read_int("strategy.far_range_without_point", base.far_range_without_point);
  strategy.far_range_with_point =
      read_int("strategy.far_range_with_point", base.far_range_with_point);
  strategy.inside_without_point =
      read_int("strategy.inside_without_point", base.inside_without_point);
  strategy.inside_with_point = read_int("strategy.inside_with_point", base.inside_with_point);
}

void VelnorLayer::initHZNoticeTime(std::string source_name)
{
  auto locked_node = node.lock();
  if (!locked_node) {
    return;
  }
  const rclcpp::Time now = locked_node->now();
  {
    std::lock_guard<std::mutex> lock(FreqCheckMeta::lastPubTimeMutex());
    FreqCheckMeta::last_pub_time = now;
  }
  if (freq_check_metas.count(source_name) != 0) {
    return;
  }
  const rcl_clock_type_t clock_type = locked_node->get_clock()->get_clock_type();
  freq_check_metas.emplace(
      std::move(source_name),
      FreqCheckMeta{
          rclcpp::Time(0, 0, clock_type),
          rclcpp::Time(0, 0, clock_type),
          std::numeric_limits<double>::infinity(),
          false});
}

rcl_interfaces::msg::SetParametersResult VelnorLayer::velnorObstacleLayerDynamicParametersCallback(
    std::vector<rclcpp::Parameter> parameters)
{
  rcl_interfaces::msg::SetParametersResult result;
  result.successful = false;
  // A NaN decay time is refused before anything of the change is applied, so that a refused
  // change leaves the layer as it was. A negative one is taken (it turns decay off) and logged.
  for (const auto & parameter : parameters) {
    if (parameter.get_type() == rclcpp::ParameterType::PARAMETER_DOUBLE &&
        parameter.get_name() == getFullName("decay_time") && std::isnan(parameter.as_double())) {
      result.reason = fmt::format(
          "parameter {} must be a number of seconds, got {}",
          parameter.get_name(),
          parameter.as_double());
      LOG_WARN("{}: {}", name, result.reason);
      return result;
    }
  }
  for (const auto & parameter : parameters) {
    const std::string & parameter_name = parameter.get_name();
    switch (parameter.get_type()) {
      case rclcpp::ParameterType::PARAMETER_DOUBLE:
        if (parameter_name == getFullName("decay_time")) {
          if (parameter.as_double() < 0.0) {
            warnNegativeDecayTime(name, parameter_name, parameter.as_double());
          }
          if (camera_cache) {
            camera_cache->setDecayTime(parameter.as_double());
          } else {
            LOG_WARN("frustum_observation_engine not created yet");
          }
        }
        break;
      case rclcpp::ParameterType::PARAMETER_BOOL: {
        if (parameter_name == getFullName("enabled")) {
          enabled.store(parameter.as_bool());
        }
        const auto parts = util::splitString(parameter_name, '.');
        if (parts.size() >= 2 && parts.back() == "marking") {
          if (camera_cache) {
            camera_cache->setObservationMarkingStatus(
                parameter_name.substr(0, parameter_name.rfind('.')), parameter.as_bool());
          } else {
            LOG_WARN("frustum_observation_engine not created yet");
          }
        }
        break;
      }
      default:
        break;
    }
  }
  result.successful = true;
  return result;
}

void VelnorLayer::activate()
{
  if (camera_cache) {
    camera_cache->activate();
  }
}

void VelnorLayer::deactivate()
{
  if (camera_cache) {
    camera_cache->deactivate();
  }
}

void VelnorLayer::reset()
{
  if (!camera_cache) {
    return;
  }
  deactivate();
  activate();
}

bool VelnorLayer::isClearable() { return false; }

bool VelnorLayer::clearArea(double, double, double, double, bool) { return false; }

void VelnorLayer::matchSize() {}

void VelnorLayer::updateBounds(
    double robot_x,
    double robot_y,
    double,
    double * min_x,
    double * min_y,
    double * max_x,
    double * max_y)
{
  if (!enabled.load() || !camera_cache) {
    return;
  }
  change_units = std::make_shared<std::vector<velnor::MapChangeUnit>>();
  current = camera_cache->updateCache(robot_x, robot_y, change_units);
  for (const auto & unit : *change_units) {
    *min_x = std::min(*min_x, static_cast<double>(unit.min_x));
    *min_y = std::min(*min_y, static_cast<double>(unit.min_y));
    *max_x = std::max(*max_x, static_cast<double>(unit.max_x));
    *max_y = std::max(*max_y, static_cast<double>(unit.max_y));
  }
  checkHZAndNotice();
}

void VelnorLayer::updateMaps(GridT * grid, nav2_costmap_2d::Costmap2D *, int, int, int, int)
{
  if (grid == nullptr) {
    return;
  }
  std::lock_guard<std::mutex> grid_lock(grid->mutex);
  if (!change_units) {
    return;
  }
  MapTypeAndHeight & store = *grid->grid;
  const double origin_x = grid->origin_x;
  const double origin_y = grid->origin_y;
  const double resolution = grid->resolution;
  // A grid that has not been sized yet has no cell for any point.
  if (!(resolution > 0.0 && std::isfinite(resolution))) {
    change_units.reset();
    return;
  }
  for (const auto & unit : *change_units) {
    if (unit.operate != velnor::MapChangeUnit::CLEAR &&
        unit.operate != velnor::MapChangeUnit::MARK) {
      continue;
    }
    const bool mark = unit.operate == velnor::MapChangeUnit::MARK;
    const auto columns = unit.points.cols();
    for (Eigen::Index i = 0; i < columns; ++i) {
      const double x = unit.points(0, i);
      const double y = unit.points(1, i);
      // Negated so that NaN coordinates and a grid without resolution fall outside too.
      if (!(x >= origin_x) || !(y >= origin_y)) {
        continue;
      }
      const double fx = (x - origin_x) / resolution;
      const double fy = (y - origin_y) / resolution;
      if (!(fx < store.size_x) || !(fy < store.size_y)) {
        continue;
      }
      const std::size_t index =
          static_cast<std::size_t>(fy) * store.size_x + static_cast<std::size_t>(fx);
      const float z = unit.points(2, i);
      const SemanticType flags = static_cast<std::size_t>(i) < unit.types.size()
                                     ? unit.types[static_cast<std::size_t>(i)]
                                     : SemanticType(SemanticFlags::EMPTY);
      if (mark) {
        store.types[index] |= flags;
        store.heights[index] = z;
      } else {
        store.types[index] &= ~flags;
        if (z >= store.heights[index]) {
          store.heights[index] = -std::numeric_limits<float>::infinity();
        }
      }
    }
  }
  change_units.reset();
}

void VelnorLayer::checkHZAndNotice()
{
  std::unordered_map<std::string, double> rates;
  camera_cache->checkAllMarkingObsHZ(rates);
  noticeRates(rates);
}

void VelnorLayer::noticeRates(const std::unordered_map<std::string, double> & rates)
{
  auto locked_node = node.lock();
  if (!locked_node) {
    return;
  }
  const rclcpp::Time now = locked_node->now();
  for (auto & [source_name, record] : freq_check_metas) {
    const auto rate = rates.find(source_name);
    if (rate != rates.end()) {
      const double hz = rate->second;
      if (hz <= 0.0) {
        continue;
      }
      if (record.start_time.seconds() <= 0.0) {
        record.start_time = now;
      }
      record.last_time = now;
      if (record.min_hz > hz) {
        record.min_hz = hz;
      }
      record.print_log(locked_node, source_name, false);
    } else if (record.start_time.seconds() > 0.0) {
      record.print_log(locked_node, source_name, true);
      record.start_time = rclcpp::Time(0, 0, record.start_time.get_clock_type());
      record.last_time = rclcpp::Time(0, 0, record.last_time.get_clock_type());
      record.noticed = false;
      record.min_hz = std::numeric_limits<double>::infinity();
    }
  }
}

}  // namespace semantic_map

PLUGINLIB_EXPORT_CLASS(semantic_map::VelnorLayer, semantic_map::BrindlexLayer)
