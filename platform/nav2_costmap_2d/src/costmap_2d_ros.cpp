#include "nav2_costmap_2d/costmap_2d_ros.hpp"

#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "nav2_util/execution_timer.hpp"
#include "nav2_util/node_utils.hpp"
#include "nav2_util/robot_utils.hpp"
#include "tf2_geometry_msgs/tf2_geometry_msgs.hpp"
#include "tf2_ros/create_timer_ros.h"

using namespace std::chrono_literals;  // NOLINT

namespace nav2_costmap_2d {

namespace {
const std::vector<std::string> kDefaultPlugins{"static_layer", "obstacle_layer", "inflation_layer"};
const std::vector<std::string> kDefaultTypes{
    "nav2_costmap_2d::StaticLayer",
    "nav2_costmap_2d::ObstacleLayer",
    "nav2_costmap_2d::InflationLayer"};

// Why a map of width x height metres at resolution cannot be had, or "" when it can: its cell
// count must fit in 32 bits (Costmap2D refuses larger ones). Checked before a configure or a
// parameter change takes effect, so that neither leaves a costmap that disagrees with its
// parameters.
std::string mapSizeError(int64_t width, int64_t height, double resolution)
{
  const double cells_x = std::trunc(static_cast<double>(width) / resolution);
  const double cells_y = std::trunc(static_cast<double>(height) / resolution);
  const double limit = std::numeric_limits<unsigned int>::max();
  if (cells_x <= limit && cells_y <= limit && cells_x * cells_y <= limit) {
    return "";
  }
  char reason[256];
  std::snprintf(
      reason,
      sizeof(reason),
      "A map of %.0f x %.0f cells (%" PRId64 " m x %" PRId64
      " m at %g m resolution) has more cells than fit in 32 bits, this isn't allowed",
      cells_x,
      cells_y,
      width,
      height,
      resolution);
  return reason;
}

// Plug-ins first, then filters, in the order the costmap updates them.
template <typename FnT>
void forEachLayer(LayeredCostmap & costmap, FnT fn)
{
  for (auto & plugin : *costmap.getPlugins()) {
    fn(*plugin);
  }
  for (auto & filter : *costmap.getFilters()) {
    fn(*filter);
  }
}
}  // namespace

Costmap2DROS::Costmap2DROS(const rclcpp::NodeOptions & options)
    : nav2_util::LifecycleNode("costmap", "", options),
      name_("costmap"),
      parent_namespace_("/"),
      default_plugins_(kDefaultPlugins),
      default_types_(kDefaultTypes)
{
  is_lifecycle_follower_ = false;
  declareParameters();
}

Costmap2DROS::Costmap2DROS(const std::string & name) : Costmap2DROS(name, "/", name) {}

Costmap2DROS::Costmap2DROS(
    const std::string & name,
    const std::string & parent_namespace,
    const std::string & local_namespace)
    : nav2_util::LifecycleNode(
          name,
          "",
          // Arguments of the node options take precedence over the command line, which keeps the node
          // in its own namespace whatever the process was started with.
          rclcpp::NodeOptions().arguments(
              {"--ros-args",
               "-r",
               std::string("__ns:=") + nav2_util::add_namespaces(parent_namespace, local_namespace),
               "--ros-args",
               "-r",
               name + ":" + std::string("__node:=") + name})),
      name_(name),
      parent_namespace_(parent_namespace),
      default_plugins_(kDefaultPlugins),
      default_types_(kDefaultTypes)
{
  declareParameters();
}

void Costmap2DROS::declareParameters()
{
  RCLCPP_INFO(get_logger(), "Creating Costmap");

  declare_parameter("always_send_full_costmap", rclcpp::ParameterValue(false));
  declare_parameter("footprint_padding", rclcpp::ParameterValue(0.01f));
  declare_parameter("footprint", rclcpp::ParameterValue(std::string("[]")));
  declare_parameter("global_frame", rclcpp::ParameterValue(std::string("map")));
  declare_parameter("height", rclcpp::ParameterValue(5));
  declare_parameter("width", rclcpp::ParameterValue(5));
  declare_parameter("lethal_cost_threshold", rclcpp::ParameterValue(100));
  declare_parameter(
      "map_topic",
      rclcpp::ParameterValue(
          (parent_namespace_ == "/" ? "/" : parent_namespace_ + "/") + std::string("map")));
  declare_parameter("observation_sources", rclcpp::ParameterValue(std::string("")));
  declare_parameter("origin_x", rclcpp::ParameterValue(0.0));
  declare_parameter("origin_y", rclcpp::ParameterValue(0.0));
  declare_parameter("plugins", rclcpp::ParameterValue(default_plugins_));
  declare_parameter("filters", rclcpp::ParameterValue(std::vector<std::string>()));
  declare_parameter("publish_frequency", rclcpp::ParameterValue(1.0));
  declare_parameter("resolution", rclcpp::ParameterValue(0.1));
  declare_parameter("robot_base_frame", rclcpp::ParameterValue(std::string("base_link")));
  declare_parameter("robot_radius", rclcpp::ParameterValue(0.1));
  declare_parameter("rolling_window", rclcpp::ParameterValue(false));
  declare_parameter("track_unknown_space", rclcpp::ParameterValue(false));
  declare_parameter("transform_tolerance", rclcpp::ParameterValue(0.3));
  declare_parameter("trinary_costmap", rclcpp::ParameterValue(true));
  declare_parameter("unknown_cost_value", rclcpp::ParameterValue(static_cast<unsigned char>(0xff)));
  declare_parameter("update_frequency", rclcpp::ParameterValue(5.0));
  declare_parameter("use_maximum", rclcpp::ParameterValue(false));
}

Costmap2DROS::~Costmap2DROS() {}

nav2_util::CallbackReturn Costmap2DROS::on_configure(const rclcpp_lifecycle::State & /*state*/)
{
  RCLCPP_INFO(get_logger(), "Configuring");
  getParameters();

  const std::string size_error = mapSizeError(map_width_meters_, map_height_meters_, resolution_);
  if (!size_error.empty()) {
    RCLCPP_ERROR(get_logger(), "%s", size_error.c_str());
    return nav2_util::CallbackReturn::FAILURE;
  }

  callback_group_ = create_callback_group(rclcpp::CallbackGroupType::MutuallyExclusive, false);

  layered_costmap_ =
      std::make_unique<LayeredCostmap>(global_frame_, rolling_window_, track_unknown_space_);

  if (!layered_costmap_->isSizeLocked()) {
    layered_costmap_->resizeMap(
        (unsigned int)(map_width_meters_ / resolution_),
        (unsigned int)(map_height_meters_ / resolution_),
        resolution_,
        origin_x_,
        origin_y_);
  }

  tf_buffer_ = std::make_shared<tf2_ros::Buffer>(get_clock());
  auto timer_interface = std::make_shared<tf2_ros::CreateTimerROS>(
      get_node_base_interface(), get_node_timers_interface(), callback_group_);
  tf_buffer_->setCreateTimerInterface(timer_interface);
  tf_listener_ = std::make_shared<tf2_ros::TransformListener>(*tf_buffer_);

  // Each layer is added under the costmap lock, as in Humble, but initialised after it: no update
  // runs before activation, and a layer declaring its parameters takes the node's parameter lock,
  // which a size change holds while it takes the costmap lock.
  auto load_layers = [this](
                         const std::vector<std::string> & names,
                         const std::vector<std::string> & types,
                         const char * kind,
                         void (LayeredCostmap::*add)(std::shared_ptr<Layer>)) {
    for (size_t i = 0; i < names.size(); ++i) {
      RCLCPP_INFO(get_logger(), "Using %s \"%s\"", kind, names[i].c_str());

      std::shared_ptr<Layer> layer = plugin_loader_.createSharedInstance(types[i]);

      std::unique_lock<Costmap2D::mutex_t> lock(*layered_costmap_->getCostmap()->getMutex());
      ((*layered_costmap_).*add)(layer);
      lock.unlock();
      layer->initialize(
          layered_costmap_.get(), names[i], tf_buffer_.get(), shared_from_this(), callback_group_);

      RCLCPP_INFO(get_logger(), "Initialized %s \"%s\"", kind, names[i].c_str());
    }
  };
  load_layers(plugin_names_, plugin_types_, "plugin", &LayeredCostmap::addPlugin);
  load_layers(filter_names_, filter_types_, "costmap filter", &LayeredCostmap::addFilter);

  footprint_sub_ = create_subscription<geometry_msgs::msg::Polygon>(
      "footprint",
      rclcpp::SystemDefaultsQoS(),
      std::bind(&Costmap2DROS::setRobotFootprintPolygon, this, std::placeholders::_1));

  footprint_pub_ = create_publisher<geometry_msgs::msg::PolygonStamped>(
      "published_footprint", rclcpp::SystemDefaultsQoS());

  costmap_publisher_ = std::make_unique<Costmap2DPublisher>(
      shared_from_this(),
      layered_costmap_->getCostmap(),
      global_frame_,
      "costmap",
      always_send_full_costmap_);

  if (use_radius_) {
    setRobotFootprint(makeFootprintFromRadius(robot_radius_));
  } else {
    std::vector<geometry_msgs::msg::Point> new_footprint;
    makeFootprintFromString(footprint_, new_footprint);
    setRobotFootprint(new_footprint);
  }

  clear_costmap_service_ = std::make_unique<ClearCostmapService>(shared_from_this(), *this);

  executor_ = std::make_shared<rclcpp::executors::SingleThreadedExecutor>();
  executor_->add_callback_group(callback_group_, get_node_base_interface());
  executor_thread_ = std::make_unique<nav2_util::NodeThread>(executor_);
  return nav2_util::CallbackReturn::SUCCESS;
}

nav2_util::CallbackReturn Costmap2DROS::on_activate(const rclcpp_lifecycle::State & /*state*/)
{
  RCLCPP_INFO(get_logger(), "Activating");

  costmap_publisher_->on_activate();
  footprint_pub_->on_activate();

  std::string tf_error;
  RCLCPP_INFO(get_logger(), "Checking transform");
  rclcpp::Rate r(2);
  while (rclcpp::ok() && !tf_buffer_->canTransform(
                             global_frame_, robot_base_frame_, tf2::TimePointZero, &tf_error)) {
    RCLCPP_INFO(
        get_logger(),
        "Timed out waiting for transform from %s to %s to become available, tf error: %s",
        robot_base_frame_.c_str(),
        global_frame_.c_str(),
        tf_error.c_str());
    // The message would otherwise accumulate the same error at every attempt.
    tf_error.clear();
    r.sleep();
  }

  stopped_ = true;  // so that start() activates the plug-ins
  stop_updates_ = false;
  map_update_thread_shutdown_ = false;
  map_update_thread_ = std::make_unique<std::thread>(
      std::bind(&Costmap2DROS::mapUpdateLoop, this, map_update_frequency_));

  start();

  dyn_params_handler = this->add_on_set_parameters_callback(
      std::bind(&Costmap2DROS::dynamicParametersCallback, this, std::placeholders::_1));

  return nav2_util::CallbackReturn::SUCCESS;
}

nav2_util::CallbackReturn Costmap2DROS::on_deactivate(const rclcpp_lifecycle::State & /*state*/)
{
  RCLCPP_INFO(get_logger(), "Deactivating");

  // As later Navigation2 releases do. The removal takes the node's parameter lock, which a
  // parameter change holds across its callbacks: it waits for a callback under way, which would
  // otherwise go on with the costmap that cleanup releases.
  if (dyn_params_handler) {
    remove_on_set_parameters_callback(dyn_params_handler.get());
  }
  dyn_params_handler.reset();

  costmap_publisher_->on_deactivate();
  footprint_pub_->on_deactivate();

  stop();

  map_update_thread_shutdown_ = true;
  if (map_update_thread_->joinable()) {
    map_update_thread_->join();
  }
  // A cycle that was already past its stop check when stop() ran sets the flag again; cleared
  // only now, the next activation still waits for a cycle of its own.
  initialized_ = false;

  return nav2_util::CallbackReturn::SUCCESS;
}

nav2_util::CallbackReturn Costmap2DROS::on_cleanup(const rclcpp_lifecycle::State & /*state*/)
{
  RCLCPP_INFO(get_logger(), "Cleaning up");
  // Stop serving the private group before what its callbacks use goes away.
  executor_thread_.reset();

  costmap_publisher_.reset();
  clear_costmap_service_.reset();

  layered_costmap_.reset();

  tf_listener_.reset();
  tf_buffer_.reset();

  footprint_sub_.reset();
  footprint_pub_.reset();

  return nav2_util::CallbackReturn::SUCCESS;
}

nav2_util::CallbackReturn Costmap2DROS::on_shutdown(const rclcpp_lifecycle::State &)
{
  RCLCPP_INFO(get_logger(), "Shutting down");
  return nav2_util::CallbackReturn::SUCCESS;
}

void Costmap2DROS::on_rcl_preshutdown()
{
  if (is_lifecycle_follower_) {
    // The parent node brings this one down.
    return;
  }
  RCLCPP_INFO(get_logger(), "Running Nav2 LifecycleNode rcl preshutdown (%s)", this->get_name());
  runCleanups();
  destroyBond();
}

void Costmap2DROS::getParameters()
{
  RCLCPP_DEBUG(get_logger(), " getParameters");

  get_parameter("always_send_full_costmap", always_send_full_costmap_);
  get_parameter("footprint", footprint_);
  get_parameter("footprint_padding", footprint_padding_);
  get_parameter("global_frame", global_frame_);
  get_parameter("height", map_height_meters_);
  get_parameter("origin_x", origin_x_);
  get_parameter("origin_y", origin_y_);
  get_parameter("publish_frequency", map_publish_frequency_);
  get_parameter("resolution", resolution_);
  get_parameter("robot_base_frame", robot_base_frame_);
  get_parameter("robot_radius", robot_radius_);
  get_parameter("rolling_window", rolling_window_);
  get_parameter("track_unknown_space", track_unknown_space_);
  get_parameter("transform_tolerance", transform_tolerance_);
  get_parameter("update_frequency", map_update_frequency_);
  get_parameter("width", map_width_meters_);
  get_parameter("plugins", plugin_names_);
  get_parameter("filters", filter_names_);

  auto node = shared_from_this();

  if (plugin_names_ == default_plugins_) {
    for (size_t i = 0; i < default_plugins_.size(); ++i) {
      nav2_util::declare_parameter_if_not_declared(
          node, default_plugins_[i] + ".plugin", rclcpp::ParameterValue(default_types_[i]));
    }
  }
  plugin_types_.resize(plugin_names_.size());
  filter_types_.resize(filter_names_.size());

  // Every plug-in and filter names its class in "<name>.plugin".
  for (size_t i = 0; i < plugin_names_.size(); ++i) {
    plugin_types_[i] = nav2_util::get_plugin_type_param(node, plugin_names_[i]);
  }
  for (size_t i = 0; i < filter_names_.size(); ++i) {
    filter_types_[i] = nav2_util::get_plugin_type_param(node, filter_names_[i]);
  }

  if (map_publish_frequency_ > 0) {
    publish_cycle_ = rclcpp::Duration::from_seconds(1 / map_publish_frequency_);
  } else {
    publish_cycle_ = rclcpp::Duration(-1s);
  }

  // A valid footprint string wins over the radius.
  use_radius_ = true;
  if (footprint_ != "" && footprint_ != "[]") {
    std::vector<geometry_msgs::msg::Point> new_footprint;
    if (makeFootprintFromString(footprint_, new_footprint)) {
      use_radius_ = false;
    } else {
      RCLCPP_ERROR(
          get_logger(),
          "The footprint parameter is invalid: \"%s\", using radius (%lf) instead",
          footprint_.c_str(),
          robot_radius_);
    }
  }
}

void Costmap2DROS::setRobotFootprint(const std::vector<geometry_msgs::msg::Point> & points)
{
  unpadded_footprint_ = points;
  padded_footprint_ = points;
  padFootprint(padded_footprint_, footprint_padding_);
  layered_costmap_->setFootprint(padded_footprint_);
}

void Costmap2DROS::setRobotFootprintPolygon(const geometry_msgs::msg::Polygon::SharedPtr footprint)
{
  setRobotFootprint(toPointVector(footprint));
}

void Costmap2DROS::getOrientedFootprint(std::vector<geometry_msgs::msg::Point> & oriented_footprint)
{
  geometry_msgs::msg::PoseStamped global_pose;
  if (!getRobotPose(global_pose)) {
    return;
  }
  const double yaw = tf2::getYaw(global_pose.pose.orientation);
  transformFootprint(
      global_pose.pose.position.x,
      global_pose.pose.position.y,
      yaw,
      padded_footprint_,
      oriented_footprint);
}

void Costmap2DROS::mapUpdateLoop(double frequency)
{
  RCLCPP_DEBUG(get_logger(), "mapUpdateLoop frequency: %lf", frequency);

  // A frequency of 0 means no periodic updates at all.
  if (frequency == 0.0) {
    return;
  }

  RCLCPP_DEBUG(get_logger(), "Entering loop");

  rclcpp::WallRate r(frequency);

  while (rclcpp::ok() && !map_update_thread_shutdown_) {
    nav2_util::ExecutionTimer timer;

    // Only once start() has activated the plug-ins.
    if (!stopped_) {
      std::scoped_lock<std::mutex> lock(_dynamic_parameter_mutex);
      timer.start();
      updateMap();
      timer.end();

      RCLCPP_DEBUG(get_logger(), "Map update time: %.9f", timer.elapsed_time_in_seconds());
      if (publish_cycle_ > rclcpp::Duration(0s) && layered_costmap_->isInitialized()) {
        unsigned int x0, y0, xn, yn;
        layered_costmap_->getBounds(&x0, &xn, &y0, &yn);
        costmap_publisher_->updateBounds(x0, xn, y0, yn);

        auto current_time = now();
        // Also publish when time went backwards (e.g. a switch to simulated time).
        if ((last_publish_ + publish_cycle_ < current_time) || (current_time < last_publish_)) {
          RCLCPP_DEBUG(get_logger(), "Publish costmap at %s", name_.c_str());
          costmap_publisher_->publishCostmap();
          last_publish_ = current_time;
        }
      }
    }

    r.sleep();
  }
}

void Costmap2DROS::updateMap()
{
  RCLCPP_DEBUG(get_logger(), "Updating map...");

  if (!stop_updates_) {
    geometry_msgs::msg::PoseStamped pose;
    if (getRobotPose(pose)) {
      const double & x = pose.pose.position.x;
      const double & y = pose.pose.position.y;
      const double yaw = tf2::getYaw(pose.pose.orientation);
      layered_costmap_->updateMap(x, y, yaw);

      auto footprint = std::make_unique<geometry_msgs::msg::PolygonStamped>();
      footprint->header = pose.header;
      transformFootprint(x, y, yaw, padded_footprint_, *footprint);

      RCLCPP_DEBUG(get_logger(), "Publishing footprint");
      footprint_pub_->publish(std::move(footprint));
      initialized_ = true;
    }
  }
}

void Costmap2DROS::start()
{
  RCLCPP_INFO(get_logger(), "start");

  // A stopped costmap (unlike a paused one) reactivates its layers.
  if (stopped_) {
    forEachLayer(*layered_costmap_, [](Layer & layer) { layer.activate(); });
    stopped_ = false;
  }
  stop_updates_ = false;

  // Block until one update cycle has run.
  rclcpp::Rate r(20.0);
  while (rclcpp::ok() && !initialized_) {
    RCLCPP_DEBUG(get_logger(), "Sleeping, waiting for initialized_");
    r.sleep();
  }
}

void Costmap2DROS::stop()
{
  stop_updates_ = true;
  // The costmap exists only once configured.
  if (layered_costmap_) {
    forEachLayer(*layered_costmap_, [](Layer & layer) { layer.deactivate(); });
  }
  initialized_ = false;
  stopped_ = true;
}

void Costmap2DROS::pause()
{
  stop_updates_ = true;
  initialized_ = false;
}

void Costmap2DROS::resume()
{
  stop_updates_ = false;

  // Block until one update cycle has run.
  rclcpp::Rate r(100.0);
  while (!initialized_) {
    r.sleep();
  }
}

void Costmap2DROS::resetLayers()
{
  // Navigation2 dereferences the missing costmap here; before configure there is nothing to reset.
  if (!layered_costmap_) {
    return;
  }
  Costmap2D * top = layered_costmap_->getCostmap();
  top->resetMap(0, 0, top->getSizeInCellsX(), top->getSizeInCellsY());

  forEachLayer(*layered_costmap_, [](Layer & layer) { layer.reset(); });
}

bool Costmap2DROS::getRobotPose(geometry_msgs::msg::PoseStamped & global_pose)
{
  return nav2_util::getCurrentPose(
      global_pose, *tf_buffer_, global_frame_, robot_base_frame_, transform_tolerance_);
}

bool Costmap2DROS::transformPoseToGlobalFrame(
    const geometry_msgs::msg::PoseStamped & input_pose,
    geometry_msgs::msg::PoseStamped & transformed_pose)
{
  if (input_pose.header.frame_id == global_frame_) {
    transformed_pose = input_pose;
    return true;
  }
  return nav2_util::transformPoseInTargetFrame(
      input_pose, transformed_pose, *tf_buffer_, global_frame_, transform_tolerance_);
}

rcl_interfaces::msg::SetParametersResult Costmap2DROS::dynamicParametersCallback(
    std::vector<rclcpp::Parameter> parameters)
{
  auto result = rcl_interfaces::msg::SetParametersResult();
  bool resize_map = false;
  std::lock_guard<std::mutex> lock_reinit(_dynamic_parameter_mutex);

  // A size that cannot be had is refused before any of the change takes effect.
  int64_t width = map_width_meters_;
  int64_t height = map_height_meters_;
  double resolution = resolution_;
  for (const auto & parameter : parameters) {
    const auto type = parameter.get_type();
    const auto & name = parameter.get_name();
    if (type == rclcpp::ParameterType::PARAMETER_INTEGER && name == "width") {
      width = parameter.as_int();
    } else if (type == rclcpp::ParameterType::PARAMETER_INTEGER && name == "height") {
      height = parameter.as_int();
    } else if (type == rclcpp::ParameterType::PARAMETER_DOUBLE && name == "resolution") {
      resolution = parameter.as_double();
    }
  }
  const std::string size_error = mapSizeError(width, height, resolution);
  if (!size_error.empty()) {
    RCLCPP_ERROR(get_logger(), "%s", size_error.c_str());
    result.successful = false;
    result.reason = size_error;
    return result;
  }

  for (const auto & parameter : parameters) {
    const auto type = parameter.get_type();
    const auto & name = parameter.get_name();

    if (type == rclcpp::ParameterType::PARAMETER_DOUBLE) {
      if (name == "robot_radius") {
        robot_radius_ = parameter.as_double();
        if (use_radius_) {
          setRobotFootprint(makeFootprintFromRadius(robot_radius_));
        }
      } else if (name == "footprint_padding") {
        footprint_padding_ = static_cast<float>(parameter.as_double());
        padded_footprint_ = unpadded_footprint_;
        padFootprint(padded_footprint_, footprint_padding_);
        layered_costmap_->setFootprint(padded_footprint_);
      } else if (name == "transform_tolerance") {
        transform_tolerance_ = parameter.as_double();
      } else if (name == "publish_frequency") {
        map_publish_frequency_ = parameter.as_double();
        if (map_publish_frequency_ > 0) {
          publish_cycle_ = rclcpp::Duration::from_seconds(1 / map_publish_frequency_);
        } else {
          publish_cycle_ = rclcpp::Duration(-1s);
        }
      } else if (name == "resolution") {
        resize_map = true;
        resolution_ = parameter.as_double();
      } else if (name == "origin_x") {
        resize_map = true;
        origin_x_ = parameter.as_double();
      } else if (name == "origin_y") {
        resize_map = true;
        origin_y_ = parameter.as_double();
      }
    } else if (type == rclcpp::ParameterType::PARAMETER_INTEGER) {
      if (name == "width" || name == "height") {
        if (parameter.as_int() <= 0) {
          RCLCPP_ERROR(
              get_logger(),
              "You try to set %s of map to be negative or zero,"
              " this isn't allowed, please give a positive value.",
              name.c_str());
          result.successful = false;
          return result;
        }
        resize_map = true;
        if (name == "width") {
          map_width_meters_ = static_cast<int>(parameter.as_int());
        } else {
          map_height_meters_ = static_cast<int>(parameter.as_int());
        }
      }
    } else if (type == rclcpp::ParameterType::PARAMETER_STRING) {
      if (name == "footprint") {
        footprint_ = parameter.as_string();
        std::vector<geometry_msgs::msg::Point> new_footprint;
        if (makeFootprintFromString(footprint_, new_footprint)) {
          setRobotFootprint(new_footprint);
        }
      } else if (name == "robot_base_frame") {
        std::string tf_error;
        RCLCPP_INFO(get_logger(), "Checking transform");
        if (!tf_buffer_->canTransform(
                global_frame_,
                parameter.as_string(),
                tf2::TimePointZero,
                tf2::durationFromSec(1.0),
                &tf_error)) {
          RCLCPP_WARN(
              get_logger(),
              "Timed out waiting for transform from %s to %s to become available, tf error: %s",
              parameter.as_string().c_str(),
              global_frame_.c_str(),
              tf_error.c_str());
          RCLCPP_WARN(
              get_logger(),
              "Rejecting robot_base_frame change to %s , leaving it to its original value of %s",
              parameter.as_string().c_str(),
              robot_base_frame_.c_str());
          result.successful = false;
          return result;
        }
        robot_base_frame_ = parameter.as_string();
      }
    }
  }

  if (resize_map && !layered_costmap_->isSizeLocked()) {
    layered_costmap_->resizeMap(
        (unsigned int)(map_width_meters_ / resolution_),
        (unsigned int)(map_height_meters_ / resolution_),
        resolution_,
        origin_x_,
        origin_y_);
    updateMap();
  }

  result.successful = true;
  return result;
}

}  // namespace nav2_costmap_2d
