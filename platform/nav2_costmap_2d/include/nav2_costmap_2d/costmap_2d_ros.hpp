// The costmap lifecycle node: parameters, plug-in layers, TF, update thread and publishers.
#ifndef NAV2_COSTMAP_2D__COSTMAP_2D_ROS_HPP_
#define NAV2_COSTMAP_2D__COSTMAP_2D_ROS_HPP_

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "geometry_msgs/msg/polygon.hpp"
#include "geometry_msgs/msg/polygon_stamped.hpp"
#include "geometry_msgs/msg/pose_stamped.hpp"
#include "nav2_costmap_2d/clear_costmap_service.hpp"
#include "nav2_costmap_2d/costmap_2d_publisher.hpp"
#include "nav2_costmap_2d/footprint.hpp"
#include "nav2_costmap_2d/layer.hpp"
#include "nav2_costmap_2d/layered_costmap.hpp"
#include "nav2_util/lifecycle_node.hpp"
#include "nav2_util/node_thread.hpp"
#include "pluginlib/class_loader.hpp"
#include "rcl_interfaces/msg/set_parameters_result.hpp"
#include "rclcpp/rclcpp.hpp"
#include "tf2/transform_datatypes.h"
#include "tf2/utils.h"
#include "tf2_ros/buffer.h"
#include "tf2_ros/transform_listener.h"

namespace nav2_costmap_2d {

/**
 * @brief A lifecycle node that owns a LayeredCostmap with its plug-in layers, keeps it updated
 * around the robot on a dedicated thread and publishes it.
 *
 * Threads: the map update thread (mapUpdateLoop, started on activate, joined on deactivate), the
 * private executor thread serving callback_group_ (TF timers, layer callbacks), and the
 * TransformListener's thread. The clear services run on the node's default callback group.
 */
class Costmap2DROS : public nav2_util::LifecycleNode
{
public:
  /** @brief A node named "costmap" that shuts itself down with the context. */
  explicit Costmap2DROS(const rclcpp::NodeOptions & options = rclcpp::NodeOptions());

  /** @brief A node named name in namespace "/<name>". */
  explicit Costmap2DROS(const std::string & name);

  /**
   * @brief A node named name in namespace add_namespaces(parent_namespace, local_namespace).
   * Its lifecycle is driven by its parent: it does nothing at context pre-shutdown.
   */
  explicit Costmap2DROS(
      const std::string & name,
      const std::string & parent_namespace,
      const std::string & local_namespace);

  ~Costmap2DROS();

  /**
   * @brief Read the parameters, build the costmap and load the plug-ins, create the publishers,
   * the clear services and the private executor thread.
   */
  nav2_util::CallbackReturn on_configure(const rclcpp_lifecycle::State & state) override;

  /**
   * @brief Wait until the transform robot_base_frame -> global_frame exists, start the update
   * thread and wait until one update cycle has run (blocking).
   */
  nav2_util::CallbackReturn on_activate(const rclcpp_lifecycle::State & state) override;

  /** @brief Stop the layers and join the update thread. */
  nav2_util::CallbackReturn on_deactivate(const rclcpp_lifecycle::State & state) override;

  /** @brief Release what on_configure created. */
  nav2_util::CallbackReturn on_cleanup(const rclcpp_lifecycle::State & state) override;

  nav2_util::CallbackReturn on_shutdown(const rclcpp_lifecycle::State & state) override;

  /** @brief Nothing for a node driven by its parent; otherwise deactivate and clean up. */
  void on_rcl_preshutdown() override;

  /** @brief Activate the layers if stopped, allow updates and wait for one update cycle. */
  void start();

  /** @brief Stop updates and deactivate the layers. */
  void stop();

  /** @brief Suspend updates. */
  void pause();

  /** @brief Resume updates and wait for one update cycle. */
  void resume();

  /** @brief One update of the costmap at the robot's current pose; publishes the footprint. */
  void updateMap();

  /** @brief Reset the master grid and every plug-in and filter (no-op before configure). */
  void resetLayers();

  bool isCurrent() { return layered_costmap_->isCurrent(); }

  /** @brief The robot's pose in the global frame, waiting up to transform_tolerance. */
  bool getRobotPose(geometry_msgs::msg::PoseStamped & global_pose);

  /** @brief input_pose expressed in the global frame. */
  bool transformPoseToGlobalFrame(
      const geometry_msgs::msg::PoseStamped & input_pose,
      geometry_msgs::msg::PoseStamped & transformed_pose);

  std::string getName() const { return name_; }

  /** @brief The master (combined) costmap. */
  Costmap2D * getCostmap() { return layered_costmap_->getCostmap(); }

  std::string getGlobalFrameID() { return global_frame_; }

  std::string getBaseFrameID() { return robot_base_frame_; }

  LayeredCostmap * getLayeredCostmap() { return layered_costmap_.get(); }

  geometry_msgs::msg::Polygon getRobotFootprintPolygon()
  {
    return nav2_costmap_2d::toPolygon(padded_footprint_);
  }

  /** @brief The padded footprint in the robot frame. */
  std::vector<geometry_msgs::msg::Point> getRobotFootprint() { return padded_footprint_; }

  std::vector<geometry_msgs::msg::Point> getUnpaddedRobotFootprint() { return unpadded_footprint_; }

  /** @brief The padded footprint placed at the robot's current pose (empty pose: unchanged). */
  void getOrientedFootprint(std::vector<geometry_msgs::msg::Point> & oriented_footprint);

  /** @brief Set the unpadded footprint; it is padded by footprint_padding. */
  void setRobotFootprint(const std::vector<geometry_msgs::msg::Point> & points);

  void setRobotFootprintPolygon(const geometry_msgs::msg::Polygon::SharedPtr footprint);

  std::shared_ptr<tf2_ros::Buffer> getTfBuffer() { return tf_buffer_; }

  double getTransformTolerance() const { return transform_tolerance_; }

  double getRobotRadius() { return robot_radius_; }

  bool getUseRadius() { return use_radius_; }

protected:
  /** @brief Update cycle of the map update thread; returns at once for a frequency of 0. */
  void mapUpdateLoop(double frequency);

  /** @brief Read the parameters declared by the constructor. */
  void getParameters();

  /** @brief Handles changes of the size, footprint, frame and frequency parameters. */
  rcl_interfaces::msg::SetParametersResult dynamicParametersCallback(
      std::vector<rclcpp::Parameter> parameters);

  rclcpp_lifecycle::LifecyclePublisher<geometry_msgs::msg::PolygonStamped>::SharedPtr
      footprint_pub_;
  std::unique_ptr<Costmap2DPublisher> costmap_publisher_{nullptr};

  rclcpp::Subscription<geometry_msgs::msg::Polygon>::SharedPtr footprint_sub_;

  // Served by the private executor: TF timers and the layers' callbacks.
  rclcpp::CallbackGroup::SharedPtr callback_group_;
  rclcpp::executors::SingleThreadedExecutor::SharedPtr executor_;
  std::unique_ptr<nav2_util::NodeThread> executor_thread_;

  std::shared_ptr<tf2_ros::Buffer> tf_buffer_;
  std::shared_ptr<tf2_ros::TransformListener> tf_listener_;

  // Declared before the costmap so that the layers it creates are destroyed first.
  pluginlib::ClassLoader<Layer> plugin_loader_{"nav2_costmap_2d", "nav2_costmap_2d::Layer"};

  std::unique_ptr<LayeredCostmap> layered_costmap_{nullptr};
  std::string name_;
  std::string parent_namespace_;

  // Written by the lifecycle thread, read by the update thread.
  std::atomic<bool> map_update_thread_shutdown_{false};
  std::atomic<bool> stop_updates_{false};
  std::atomic<bool> initialized_{false};
  std::atomic<bool> stopped_{true};
  // Serialises an update cycle with a parameter change that resizes the costmap.
  std::mutex _dynamic_parameter_mutex;
  std::unique_ptr<std::thread> map_update_thread_;
  rclcpp::Time last_publish_{0, 0, RCL_ROS_TIME};
  rclcpp::Duration publish_cycle_{1, 0};

  bool always_send_full_costmap_{false};
  std::string footprint_;
  float footprint_padding_{0};
  std::string global_frame_;
  int map_height_meters_{0};
  double map_publish_frequency_{0};
  double map_update_frequency_{0};
  int map_width_meters_{0};
  double origin_x_{0};
  double origin_y_{0};
  std::vector<std::string> default_plugins_;
  std::vector<std::string> default_types_;
  std::vector<std::string> plugin_names_;
  std::vector<std::string> plugin_types_;
  std::vector<std::string> filter_names_;
  std::vector<std::string> filter_types_;
  double resolution_{0};
  std::string robot_base_frame_;
  double robot_radius_{0};
  bool rolling_window_{false};
  bool track_unknown_space_{false};
  double transform_tolerance_{0};

  // False for the NodeOptions constructor: such a node brings itself down at pre-shutdown.
  bool is_lifecycle_follower_{true};

  bool use_radius_{false};
  std::vector<geometry_msgs::msg::Point> unpadded_footprint_;
  std::vector<geometry_msgs::msg::Point> padded_footprint_;

  std::unique_ptr<ClearCostmapService> clear_costmap_service_;

  rclcpp::node_interfaces::OnSetParametersCallbackHandle::SharedPtr dyn_params_handler;

private:
  void declareParameters();
};

}  // namespace nav2_costmap_2d

#endif  // NAV2_COSTMAP_2D__COSTMAP_2D_ROS_HPP_
