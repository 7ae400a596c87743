#include "lorvent/static_mark_layer.hpp"

#include <cmath>
#include <limits>
#include <string>

#include "brindlex_nav2_semanticmap/layered_semanticmap.hpp"
#include "brindlex_nav2_semanticmap/semantic_type.hpp"
#include "pluginlib/class_list_macros.hpp"
#include "trasque/map_meta.hpp"
#include "trasque/trasque.hpp"
#include "trasque/types.hpp"
#include "util/util.hpp"

namespace semantic_map {

namespace {

// Flag a zone kind sets in the cells it covers; EMPTY for kinds that are not drawn.
SemanticType flagOf(trasque::Type type)
{
  switch (type) {
    case trasque::Type::FORBIDDEN:
      return SemanticFlags::FORBIDDEN;
    case trasque::Type::NARROW_CORRIDOR:
      return SemanticFlags::NARROW_CORRIDOR;
    default:
      return SemanticFlags::EMPTY;
  }
}

// A path parameter: the node's string value, or @p current when the parameter is not set.
void readPath(
    const rclcpp_lifecycle::LifecycleNode & node,
    const std::string & full_name,
    std::filesystem::path & current)
{
  std::string value = current.string();
  node.get_parameter(full_name, value);
  current = value;
}

}  // namespace

StaticMarkLayer::StaticMarkLayer() = default;

StaticMarkLayer::~StaticMarkLayer() = default;

void StaticMarkLayer::onInitialize(bool & enabled_flag)
{
  LOG_INFO("{} being initialized as StaticMarkLayer", name);
  declareParameter("enabled", rclcpp::ParameterValue(true));
  auto locked_node = node.lock();
  if (!locked_node) {
    throw std::runtime_error{"Failed to lock node"};
  }
  locked_node->get_parameter(getFullName("enabled"), enabled_flag);
  current = true;

  declareParameter("map_id_file", rclcpp::ParameterValue(std::string("history.map")));
  declareParameter("map_mark_yaml_file", rclcpp::ParameterValue(std::string("editlayout.yaml")));
  declareParameter("map_meta_yaml_file", rclcpp::ParameterValue(std::string("map.yaml")));
  declareParameter(
      "map_path_str", rclcpp::ParameterValue(std::string("/opt/brindlex/data/resource/map/")));
  readPath(*locked_node, getFullName("map_id_file"), map_id_file);
  readPath(*locked_node, getFullName("map_mark_yaml_file"), map_mark_yaml_file);
  readPath(*locked_node, getFullName("map_meta_yaml_file"), map_meta_yaml_file);
  readPath(*locked_node, getFullName("map_path_str"), map_path_str);

  matchSize();
  LOG_INFO("{} initialization complete!", name);
}

void StaticMarkLayer::matchSize()
{
  LOG_INFO("StaticMarkLayer::matchSize {} calling...", name);
  trasque::MapMeta meta;
  // The zones are rasterised at the grid's resolution, so the loader bounds them at it. The
  // grid changes its resolution only in a re-size, which calls matchSize() again.
  double resolution = 0.0;
  if (layered_semanticmap != nullptr) {
    GridT & grid = layered_semanticmap->semanticmap;
    std::lock_guard<std::mutex> grid_lock(grid.mutex);
    resolution = grid.resolution;
  }
  zones = trasque::TrasqueFactory(
      map_path_str, map_id_file, map_meta_yaml_file, map_mark_yaml_file, meta, resolution);
  LOG_INFO(
      "StaticMarkLayer::matchSize set objs size {}, map origin [{:.3f}, {:.3f}] size [{}, {}]",
      zones.size(),
      meta.origin_x,
      meta.origin_y,
      meta.width,
      meta.height);
  need_update = true;
}

void StaticMarkLayer::deactivate() {}

void StaticMarkLayer::activate() {}

void StaticMarkLayer::reset() { need_update = true; }

bool StaticMarkLayer::isClearable() { return false; }

bool StaticMarkLayer::clearArea(double, double, double, double, bool) { return false; }

bool StaticMarkLayer::drawsThisCycle() const
{
  const bool rolling = layered_semanticmap != nullptr && layered_semanticmap->rolling_window;
  return enabled.load() && (need_update || rolling);
}

void StaticMarkLayer::updateBounds(
    double, double, double, double * min_x, double * min_y, double * max_x, double * max_y)
{
  if (!drawsThisCycle()) {
    return;
  }
  // Zones are drawn whole, wherever they lie.
  *min_x = std::numeric_limits<double>::lowest();
  *min_y = std::numeric_limits<double>::lowest();
  *max_x = std::numeric_limits<double>::max();
  *max_y = std::numeric_limits<double>::max();
}

void StaticMarkLayer::updateMaps(GridT * grid, nav2_costmap_2d::Costmap2D *, int, int, int, int)
{
  if (!drawsThisCycle() || grid == nullptr) {
    return;
  }
  std::lock_guard<std::mutex> grid_lock(grid->mutex);
  const double resolution = grid->resolution;
  if (!(resolution > 0.0) || !std::isfinite(resolution)) {
    // Not sized yet: keep the zones pending for the first cycle with a real grid.
    return;
  }
  MapTypeAndHeight & store = *grid->grid;
  for (const auto & zone : zones) {
    const SemanticType flag = flagOf(zone->type);
    if (flag == SemanticFlags::EMPTY) {
      continue;
    }
    const auto raster = zone->getGrid(resolution);
    if (!raster || raster->size_x == 0 || raster->size_y == 0) {
      continue;
    }
    for (uint32_t row = 0; row < raster->size_y; ++row) {
      const double wy = (row + 0.5) * raster->resolution + raster->origin_y;
      if (wy < grid->origin_y) {
        continue;
      }
      const double my = std::trunc((wy - grid->origin_y) / resolution);
      if (!(my < store.size_y)) {
        continue;
      }
      const bool * cells = raster->data + static_cast<std::size_t>(row) * raster->size_x;
      for (uint32_t column = 0; column < raster->size_x; ++column) {
        if (!cells[column]) {
          continue;
        }
        const double wx = (column + 0.5) * raster->resolution + raster->origin_x;
        if (wx < grid->origin_x) {
          continue;
        }
        const double mx = std::trunc((wx - grid->origin_x) / resolution);
        if (!(mx < store.size_x)) {
          continue;
        }
        store.types[static_cast<std::size_t>(mx) + static_cast<std::size_t>(my) * store.size_x] |=
            flag;
      }
    }
  }
  need_update = false;
}

}  // namespace semantic_map

PLUGINLIB_EXPORT_CLASS(semantic_map::StaticMarkLayer, semantic_map::BrindlexLayer)
