#include "lorvent/map_publish_base_layer.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <utility>

#include "brindlex_nav2_semanticmap/layered_semanticmap.hpp"
#include "util/util.hpp"

namespace semantic_map {

MapPublishBaseLayer::MapPublishBaseLayer()
    : window_min_i(std::numeric_limits<int32_t>::max()),
      window_max_i(std::numeric_limits<int32_t>::min()),
      window_min_j(std::numeric_limits<int32_t>::max()),
      window_max_j(std::numeric_limits<int32_t>::min())
{
}

MapPublishBaseLayer::~MapPublishBaseLayer() = default;

void MapPublishBaseLayer::onInitialize(bool & enabled_flag)
{
  LOG_INFO("{} being initialized as MapPublishLayer", name);

  declareParameter("enabled", rclcpp::ParameterValue(true));
  auto locked_node = node.lock();
  if (!locked_node) {
    throw std::runtime_error{"Failed to lock node"};
  }
  locked_node->get_parameter(getFullName("enabled"), enabled_flag);
  current = true;

  declareParameter("topic_name", rclcpp::ParameterValue(std::string()));
  locked_node->get_parameter(getFullName("topic_name"), topic_name);

  declareParameter("map_publish_frequency", rclcpp::ParameterValue(1.0));
  double frequency = 1.0;
  locked_node->get_parameter(getFullName("map_publish_frequency"), frequency);
  publish_period = periodFromFrequency(frequency);
  if (publish_period <= rclcpp::Duration(0, 0)) {
    LOG_WARN(
        "{} map_publish_frequency {} gives no positive publish period: the layer never publishes",
        name,
        frequency);
  }

  declareParameter("always_send_full_map", rclcpp::ParameterValue(false));
  locked_node->get_parameter(getFullName("always_send_full_map"), always_send_full_map);

  const rclcpp::QoS qos = rclcpp::QoS(rclcpp::KeepLast(1)).transient_local().reliable();
  grid_publisher = locked_node->create_publisher<nav_msgs::msg::OccupancyGrid>(topic_name, qos);
  update_publisher = locked_node->create_publisher<map_msgs::msg::OccupancyGridUpdate>(
      topic_name + "_updates", qos);

  LOG_INFO("{} initialization complete!", name);
}

rclcpp::Duration MapPublishBaseLayer::periodFromFrequency(double frequency)
{
  const double seconds = 1.0 / frequency;
  // Zero gives infinity and a negative or NaN frequency no period at all; none of them may reach
  // the conversion to nanoseconds, which is undefined outside the int64 range.
  if (!std::isfinite(seconds) || !(seconds > 0.0)) {
    return rclcpp::Duration(0, 0);
  }
  constexpr double kMaxSeconds = static_cast<double>(std::numeric_limits<int64_t>::max()) / 1e9;
  if (seconds >= kMaxSeconds) {
    return rclcpp::Duration::max();
  }
  return rclcpp::Duration::from_seconds(seconds);
}

void MapPublishBaseLayer::activate()
{
  if (grid_publisher) {
    grid_publisher->on_activate();
  }
  if (update_publisher) {
    update_publisher->on_activate();
  }
}

void MapPublishBaseLayer::deactivate()
{
  if (grid_publisher) {
    grid_publisher->on_deactivate();
  }
  if (update_publisher) {
    update_publisher->on_deactivate();
  }
}

// The grid was emptied (clear entirely): a consumer holds cells that no window would name.
void MapPublishBaseLayer::reset() { send_full_map = true; }

bool MapPublishBaseLayer::isClearable() { return false; }

bool MapPublishBaseLayer::clearArea(double, double, double, double, bool) { return false; }

void MapPublishBaseLayer::updateBounds(
    double, double, double, double *, double *, double *, double *)
{
}

void MapPublishBaseLayer::matchSize() { send_full_map = true; }

void MapPublishBaseLayer::updateMaps(
    GridT * grid, nav2_costmap_2d::Costmap2D * master, int min_i, int min_j, int max_i, int max_j)
{
  if (!enabled.load()) {
    LOG_THROTTLE("MapPublishLayer::updateMaps", 0, "MapPublishLayer::updateMaps disable");
    return;
  }
  mergeWindow(min_i, min_j, max_i, max_j);
  if (layered_semanticmap != nullptr && master != nullptr) {
    // Empty cells show the master cost, so master changes are changes of this map too.
    const auto & changed = layered_semanticmap->master_changed;
    if (changed.x0 < changed.xn && changed.y0 < changed.yn) {
      mergeWindow(changed.x0, changed.y0, changed.xn, changed.yn);
    }
  }
  if (grid != nullptr && master != nullptr && !sameGeometryAsMaster(*grid, *master)) {
    // Cells of one index would lie at different places (a grid re-size that failed): the
    // consumer keeps its last map, and a whole one once the two agree again.
    send_full_map = true;
    return;
  }
  if (grid != nullptr && !send_full_map) {
    // Checked every cycle, not at the slot only: a window that moved there and back between two
    // slots has still dropped cells and gathered its window in the other place.
    std::lock_guard<std::mutex> grid_lock(grid->mutex);
    send_full_map = geometryChanged(*grid);
  }

  // Compared in nanoseconds: the sum last + period may leave the int64 range for long periods.
  const rclcpp::Time now = clock ? clock->now() : rclcpp::Time(0, 0, RCL_ROS_TIME);
  const int64_t now_ns = now.nanoseconds();
  const int64_t last_ns = last_publish_time.nanoseconds();
  const int64_t period_ns = publish_period.nanoseconds();
  const bool due = now_ns < last_ns || now_ns - last_ns > period_ns;
  if (!due || period_ns <= 0 || !clock || grid == nullptr || layered_semanticmap == nullptr ||
      !layered_semanticmap->initialized) {
    brindlex::Logger::Log(0, "MapPublishLayer::updateMaps ignore");
    return;
  }
  last_publish_time = now;

  std::lock_guard<std::mutex> grid_lock(grid->mutex);
  const MapTypeAndHeight & store = *grid->grid;
  if (always_send_full_map || send_full_map) {
    brindlex::Logger::Log(0, "MapPublishLayer::updateMaps try to send full map");
    if (grid_publisher && grid_publisher->get_subscription_count() > 0) {
      auto message = buildFullGrid(*grid, master);
      brindlex::Logger::Log(0, "MapPublishLayer::updateMaps send full map");
      grid_publisher->publish(std::move(message));
      send_full_map = false;
      full_map_sent = true;
      sent_origin_x = grid->origin_x;
      sent_origin_y = grid->origin_y;
      sent_resolution = grid->resolution;
      sent_size_x = store.size_x;
      sent_size_y = store.size_y;
    }
  } else if (window_min_i < window_max_i && window_min_j < window_max_j) {
    brindlex::Logger::Log(0, "MapPublishLayer::updateMaps try to send update map");
    if (update_publisher && update_publisher->get_subscription_count() > 0) {
      auto message = buildUpdate(*grid, master);
      if (message) {
        brindlex::Logger::Log(0, "MapPublishLayer::updateMaps send update map");
        update_publisher->publish(std::move(message));
      }
    }
  }
  window_min_i = static_cast<int32_t>(store.size_x);
  window_max_i = 0;
  window_min_j = static_cast<int32_t>(store.size_y);
  window_max_j = 0;
  if (min_i < max_i && min_j < max_j && cellsMayChangeAfterThisLayer()) {
    // What the layers after this one write in this cycle went out in no message yet.
    mergeWindow(min_i, min_j, max_i, max_j);
  }
}

void MapPublishBaseLayer::mergeWindow(int min_i, int min_j, int max_i, int max_j)
{
  window_min_i = std::min(window_min_i, min_i);
  window_max_i = std::max(window_max_i, max_i);
  window_min_j = std::min(window_min_j, min_j);
  window_max_j = std::max(window_max_j, max_j);
}

bool MapPublishBaseLayer::cellsMayChangeAfterThisLayer() const
{
  const auto & layers = layered_semanticmap->plugins;
  auto it = std::find_if(
      layers.begin(), layers.end(), [this](const auto & layer) { return layer.get() == this; });
  // Publishing layers write no cells; any other layer may.
  return it != layers.end() && std::any_of(std::next(it), layers.end(), [](const auto & layer) {
           return dynamic_cast<const MapPublishBaseLayer *>(layer.get()) == nullptr;
         });
}

bool MapPublishBaseLayer::sameGeometryAsMaster(
    GridT & grid, const nav2_costmap_2d::Costmap2D & master)
{
  std::lock_guard<std::mutex> grid_lock(grid.mutex);
  if (LayeredSemanticmap<GridT>::sameGeometry(grid, master)) {
    return true;
  }
  LOG_THROTTLE(
      "MapPublishLayer::updateMaps geometry",
      2,
      "MapPublishLayer::updateMaps {}: the semantic grid ({} x {} cells of {} m at ({}, {})) "
      "differs from the master costmap ({} x {} cells of {} m at ({}, {})), no map is published "
      "until they agree",
      name,
      grid.grid->size_x,
      grid.grid->size_y,
      grid.resolution,
      grid.origin_x,
      grid.origin_y,
      master.getSizeInCellsX(),
      master.getSizeInCellsY(),
      master.getResolution(),
      master.getOriginX(),
      master.getOriginY());
  return false;
}

bool MapPublishBaseLayer::geometryChanged(const GridT & grid) const
{
  return full_map_sent && (grid.origin_x != sent_origin_x || grid.origin_y != sent_origin_y ||
                           grid.resolution != sent_resolution || grid.grid->size_x != sent_size_x ||
                           grid.grid->size_y != sent_size_y);
}

std::unique_ptr<nav_msgs::msg::OccupancyGrid> MapPublishBaseLayer::buildFullGrid(
    const GridT & grid, nav2_costmap_2d::Costmap2D * master)
{
  const MapTypeAndHeight & store = *grid.grid;
  auto message = std::make_unique<nav_msgs::msg::OccupancyGrid>();
  message->header.stamp = clock->now();
  message->header.frame_id = layered_semanticmap->global_frame;
  message->info.resolution = static_cast<float>(grid.resolution);
  message->info.width = store.size_x;
  message->info.height = store.size_y;
  // The corner of cell (0, 0), computed through its centre as a map consumer would.
  const double half_cell = grid.resolution / 2.0;
  message->info.origin.position.x = (grid.origin_x + half_cell) - half_cell;
  message->info.origin.position.y = (grid.origin_y + half_cell) - half_cell;
  message->info.origin.position.z = 0.0;
  message->info.origin.orientation.x = 0.0;
  message->info.origin.orientation.y = 0.0;
  message->info.origin.orientation.z = 0.0;
  message->info.origin.orientation.w = 1.0;
  message->data.resize(static_cast<std::size_t>(store.size_x) * store.size_y);
  fillCells(grid, master, 0, 0, store.size_x, store.size_y, message->data.data());
  return message;
}

std::unique_ptr<map_msgs::msg::OccupancyGridUpdate> MapPublishBaseLayer::buildUpdate(
    const GridT & grid, nav2_costmap_2d::Costmap2D * master)
{
  // Windows of earlier cycles may reach beyond a grid that has since become smaller.
  const MapTypeAndHeight & store = *grid.grid;
  const int64_t x0 = std::max<int64_t>(window_min_i, 0);
  const int64_t y0 = std::max<int64_t>(window_min_j, 0);
  const int64_t xn = std::min<int64_t>(window_max_i, store.size_x);
  const int64_t yn = std::min<int64_t>(window_max_j, store.size_y);
  if (x0 >= xn || y0 >= yn) {
    return nullptr;
  }
  auto message = std::make_unique<map_msgs::msg::OccupancyGridUpdate>();
  message->header.stamp = clock->now();
  message->header.frame_id = layered_semanticmap->global_frame;
  message->x = static_cast<int32_t>(x0);
  message->y = static_cast<int32_t>(y0);
  message->width = static_cast<uint32_t>(xn - x0);
  message->height = static_cast<uint32_t>(yn - y0);
  message->data.resize(static_cast<std::size_t>(message->width) * message->height);
  fillCells(
      grid,
      master,
      static_cast<uint32_t>(x0),
      static_cast<uint32_t>(y0),
      message->width,
      message->height,
      message->data.data());
  return message;
}

void MapPublishBaseLayer::fillCells(
    const GridT & grid,
    nav2_costmap_2d::Costmap2D * master,
    uint32_t x0,
    uint32_t y0,
    uint32_t width,
    uint32_t height,
    int8_t * out)
{
  const MapTypeAndHeight & store = *grid.grid;
  // updateMaps() publishes only while the master has the grid's geometry: indices pair.
  const unsigned char * master_cells = master ? master->getCharMap() : nullptr;
  for (uint32_t row = 0; row < height; ++row) {
    const std::size_t first = x0 + static_cast<std::size_t>(y0 + row) * store.size_x;
    const unsigned char * costs = master_cells ? master_cells + first : nullptr;
    translateCells(
        store.types + first,
        store.heights + first,
        costs,
        out + static_cast<std::size_t>(row) * width,
        width);
  }
}

void MapPublishBaseLayer::translateCells(
    const SemanticTypeBase<unsigned int> * types,
    const float * heights,
    const unsigned char * costs,
    int8_t * out,
    std::size_t count)
{
  for (std::size_t i = 0; i < count; ++i) {
    out[i] = static_cast<int8_t>(translationTypeToChar(
        types[i], SemanticHeightBase<float>(heights[i]), costs ? costs[i] : 255));
  }
}

}  // namespace semantic_map
