#include "nav2_costmap_2d/costmap_2d_publisher.hpp"

#include <memory>
#include <string>
#include <utility>

#include "nav2_costmap_2d/cost_values.hpp"

namespace nav2_costmap_2d {

Costmap2DPublisher::Costmap2DPublisher(
    const nav2_util::LifecycleNode::WeakPtr & parent,
    Costmap2D * costmap,
    std::string global_frame,
    std::string topic_name,
    bool always_send_full_costmap)
    : costmap_(costmap),
      global_frame_(global_frame),
      topic_name_(topic_name),
      active_(false),
      always_send_full_costmap_(always_send_full_costmap)
{
  auto node = parent.lock();
  clock_ = node->get_clock();
  logger_ = node->get_logger();

  auto latched_qos = rclcpp::QoS(rclcpp::KeepLast(1)).transient_local().reliable();

  costmap_pub_ = node->create_publisher<nav_msgs::msg::OccupancyGrid>(topic_name, latched_qos);
  costmap_raw_pub_ =
      node->create_publisher<nav2_msgs::msg::Costmap>(topic_name + "_raw", latched_qos);
  costmap_update_pub_ = node->create_publisher<map_msgs::msg::OccupancyGridUpdate>(
      topic_name + "_updates", latched_qos);

  costmap_service_ = node->create_service<nav2_msgs::srv::GetCostmap>(
      "get_costmap",
      std::bind(
          &Costmap2DPublisher::costmap_service_callback,
          this,
          std::placeholders::_1,
          std::placeholders::_2,
          std::placeholders::_3));

  xn_ = yn_ = 0;
  x0_ = costmap_->getSizeInCellsX();
  y0_ = costmap_->getSizeInCellsY();
}

Costmap2DPublisher::~Costmap2DPublisher() {}

const char * Costmap2DPublisher::costTranslationTable()
{
  static const struct Table
  {
    char values[256];
    Table()
    {
      values[FREE_SPACE] = 0;
      values[INSCRIBED_INFLATED_OBSTACLE] = 99;
      values[LETHAL_OBSTACLE] = 100;
      values[NO_INFORMATION] = -1;
      // Ordinary costs 1..252 spread over the occupancy values 1..98.
      for (int i = 1; i <= MAX_NON_OBSTACLE; ++i) {
        values[i] = static_cast<char>(1 + (97 * (i - 1)) / 251);
      }
    }
  } table;
  return table.values;
}

void Costmap2DPublisher::prepareGrid()
{
  std::unique_lock<Costmap2D::mutex_t> lock(*costmap_->getMutex());
  const double resolution = costmap_->getResolution();
  grid_resolution = static_cast<float>(resolution);
  grid_width = costmap_->getSizeInCellsX();
  grid_height = costmap_->getSizeInCellsY();

  grid_ = std::make_unique<nav_msgs::msg::OccupancyGrid>();
  grid_->header.frame_id = global_frame_;
  grid_->header.stamp = clock_->now();
  grid_->info.resolution = grid_resolution;
  grid_->info.width = grid_width;
  grid_->info.height = grid_height;

  double wx, wy;
  costmap_->mapToWorld(0, 0, wx, wy);
  grid_->info.origin.position.x = wx - grid_resolution / 2;
  grid_->info.origin.position.y = wy - grid_resolution / 2;
  grid_->info.origin.position.z = 0.0;
  grid_->info.origin.orientation.w = 1.0;
  saved_origin_x_ = costmap_->getOriginX();
  saved_origin_y_ = costmap_->getOriginY();

  const char * table = costTranslationTable();
  const unsigned char * data = costmap_->getCharMap();
  grid_->data.resize(static_cast<size_t>(grid_width) * grid_height);
  for (size_t i = 0; i < grid_->data.size(); ++i) {
    grid_->data[i] = static_cast<int8_t>(table[data[i]]);
  }
}

void Costmap2DPublisher::prepareCostmap()
{
  std::unique_lock<Costmap2D::mutex_t> lock(*costmap_->getMutex());
  const double resolution = costmap_->getResolution();

  costmap_raw_ = std::make_unique<nav2_msgs::msg::Costmap>();
  costmap_raw_->header.frame_id = global_frame_;
  costmap_raw_->header.stamp = clock_->now();
  costmap_raw_->metadata.layer = "master";
  costmap_raw_->metadata.resolution = static_cast<float>(resolution);
  costmap_raw_->metadata.size_x = costmap_->getSizeInCellsX();
  costmap_raw_->metadata.size_y = costmap_->getSizeInCellsY();

  double wx, wy;
  costmap_->mapToWorld(0, 0, wx, wy);
  costmap_raw_->metadata.origin.position.x = wx - resolution / 2;
  costmap_raw_->metadata.origin.position.y = wy - resolution / 2;
  costmap_raw_->metadata.origin.position.z = 0.0;
  costmap_raw_->metadata.origin.orientation.w = 1.0;

  const unsigned char * data = costmap_->getCharMap();
  costmap_raw_->data.assign(
      data,
      data + static_cast<size_t>(costmap_raw_->metadata.size_x) * costmap_raw_->metadata.size_y);
}

void Costmap2DPublisher::publishCostmap()
{
  if (costmap_raw_pub_->get_subscription_count() > 0) {
    prepareCostmap();
    costmap_raw_pub_->publish(std::move(costmap_raw_));
  }

  const float resolution = static_cast<float>(costmap_->getResolution());
  if (always_send_full_costmap_ || grid_resolution != resolution ||
      grid_width != costmap_->getSizeInCellsX() || grid_height != costmap_->getSizeInCellsY() ||
      saved_origin_x_ != costmap_->getOriginX() || saved_origin_y_ != costmap_->getOriginY()) {
    if (costmap_pub_->get_subscription_count() > 0) {
      prepareGrid();
      costmap_pub_->publish(std::move(grid_));
    }
  } else if (x0_ < xn_) {
    if (costmap_update_pub_->get_subscription_count() > 0) {
      std::unique_lock<Costmap2D::mutex_t> lock(*costmap_->getMutex());
      const char * table = costTranslationTable();
      auto update = std::make_unique<map_msgs::msg::OccupancyGridUpdate>();
      update->header.stamp = rclcpp::Time();
      update->header.frame_id = global_frame_;
      update->x = x0_;
      update->y = y0_;
      update->width = xn_ - x0_;
      update->height = yn_ - y0_;
      update->data.resize(static_cast<size_t>(update->width) * update->height);
      size_t i = 0;
      for (unsigned int y = y0_; y < yn_; ++y) {
        for (unsigned int x = x0_; x < xn_; ++x) {
          update->data[i++] = static_cast<int8_t>(table[costmap_->getCost(x, y)]);
        }
      }
      costmap_update_pub_->publish(std::move(update));
    }
  }

  xn_ = yn_ = 0;
  x0_ = costmap_->getSizeInCellsX();
  y0_ = costmap_->getSizeInCellsY();
}

void Costmap2DPublisher::costmap_service_callback(
    const std::shared_ptr<rmw_request_id_t> /*request_header*/,
    const std::shared_ptr<nav2_msgs::srv::GetCostmap::Request> /*request*/,
    const std::shared_ptr<nav2_msgs::srv::GetCostmap::Response> response)
{
  RCLCPP_DEBUG(logger_, "Received costmap service request");

  std::unique_lock<Costmap2D::mutex_t> lock(*costmap_->getMutex());
  const unsigned int size_x = costmap_->getSizeInCellsX();
  const unsigned int size_y = costmap_->getSizeInCellsY();
  const unsigned char * data = costmap_->getCharMap();
  const auto current_time = clock_->now();

  response->map.header.stamp = current_time;
  response->map.header.frame_id = global_frame_;
  response->map.metadata.size_x = size_x;
  response->map.metadata.size_y = size_y;
  response->map.metadata.resolution = static_cast<float>(costmap_->getResolution());
  response->map.metadata.layer = "master";
  response->map.metadata.map_load_time = current_time;
  response->map.metadata.update_time = current_time;
  response->map.metadata.origin.position.x = costmap_->getOriginX();
  response->map.metadata.origin.position.y = costmap_->getOriginY();
  response->map.metadata.origin.position.z = 0.0;
  response->map.metadata.origin.orientation.w = 1.0;
  response->map.data.assign(data, data + static_cast<size_t>(size_x) * size_y);
}

}  // namespace nav2_costmap_2d
