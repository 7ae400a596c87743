// A semantic layer plug-in of another package: marks one row of the grid (parameter "row", in
// cells) as a stubborn stain in every cycle, and reports the first cycle. It uses only what brindlex_nav2_semanticmap installs: the layer
// interface, the grid headers and the logger.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <mutex>
#include <string>

#include "brindlex_nav2_semanticmap/layer.hpp"
#include "brindlex_nav2_semanticmap/semantic_type.hpp"
#include "pluginlib/class_list_macros.hpp"
#include "util/util.hpp"

namespace outside_semantic_layers
{

class StripeLayer : public semantic_map::BrindlexLayer
{
public:
  using MapT = semantic_map::Semanticmap<semantic_map::MapTypeAndHeight>;

  void onInitialize(bool & enabled_flag) override
  {
    declareParameter("enabled", rclcpp::ParameterValue(true));
    declareParameter("row", rclcpp::ParameterValue(0));
    auto locked = node.lock();
    locked->get_parameter(getFullName("enabled"), enabled_flag);
    int64_t row = 0;
    locked->get_parameter(getFullName("row"), row);
    row_ = row;
    LOG_INFO("StripeLayer {} configured on {}: row {}", name, locked->get_name(), row_);
  }

  void reset() override {}
  bool isClearable() override {return false;}
  bool clearArea(double, double, double, double, bool) override {return false;}
  // The stripe spans the whole grid: ask for every cell.
  void updateBounds(
    double, double, double, double * min_x, double * min_y, double * max_x,
    double * max_y) override
  {
    *min_x = std::numeric_limits<double>::lowest();
    *min_y = std::numeric_limits<double>::lowest();
    *max_x = std::numeric_limits<double>::max();
    *max_y = std::numeric_limits<double>::max();
  }

  void updateMaps(
    MapT * map, nav2_costmap_2d::Costmap2D *, int min_i, int min_j, int max_i,
    int max_j) override
  {
    std::lock_guard<std::mutex> lock(map->mutex);
    auto * grid = map->grid;
    int64_t marked = 0;
    if (row_ >= std::max(min_j, 0) && row_ < max_j && row_ < int64_t{grid->size_y}) {
      const int64_t end = std::min<int64_t>(max_i, grid->size_x);
      for (int64_t i = std::max(min_i, 0); i < end; ++i) {
        grid->types[i + row_ * grid->size_x] |=
          semantic_map::SemanticTypeBaseEnum<semantic_map::SemanticType>::STUBBORN_STAIN;
        ++marked;
      }
    }
    if (!reported_) {
      reported_ = true;
      LOG_INFO("StripeLayer {} updated the map: {} cells marked", name, marked);
    }
  }

private:
  int64_t row_{0};
  // Read and written on the map-update thread only.
  bool reported_{false};
};

}  // namespace outside_semantic_layers

PLUGINLIB_EXPORT_CLASS(outside_semantic_layers::StripeLayer, semantic_map::BrindlexLayer)
