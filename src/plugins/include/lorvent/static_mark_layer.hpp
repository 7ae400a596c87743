#ifndef LORVENT__STATIC_MARK_LAYER_HPP_
#define LORVENT__STATIC_MARK_LAYER_HPP_

#include <filesystem>
#include <memory>
#include <vector>

#include "brindlex_nav2_semanticmap/layer.hpp"
#include "brindlex_nav2_semanticmap/map_type_and_height.hpp"
#include "brindlex_nav2_semanticmap/semanticmap.hpp"
#include "trasque/base.hpp"

namespace semantic_map {

/**
 * @brief Draws the zones of the stored room map into the grid: NARROW_CORRIDOR for narrow
 * corridors, FORBIDDEN for forbidden zones. It only adds flags.
 *
 * Zones are (re)loaded from the stored map directory at initialisation and in every matchSize(),
 * that is after each re-size or new map. A static grid is drawn once per load or reset; a
 * rolling-window grid every cycle, as its cells move with the robot. A disabled layer draws
 * nothing.
 *
 * Every operation but onInitialize() runs under the layered map's outer mutex, which guards the
 * zones and their cached rasters; updateMaps() takes the grid's mutex inside it.
 */
class StaticMarkLayer final : public BrindlexLayer
{
public:
  using GridT = Semanticmap<MapTypeAndHeight>;

  StaticMarkLayer();
  ~StaticMarkLayer() override;

  void deactivate() override;
  void activate() override;
  void reset() override;
  bool isClearable() override;
  bool clearArea(double min_x, double min_y, double max_x, double max_y, bool invert) override;
  void updateBounds(
      double robot_x,
      double robot_y,
      double robot_yaw,
      double * min_x,
      double * min_y,
      double * max_x,
      double * max_y) override;
  void updateMaps(
      GridT * grid, nav2_costmap_2d::Costmap2D * master, int min_i, int min_j, int max_i, int max_j)
      override;
  /// Reloads the zones from the stored map directory; they are drawn in the next updateMaps().
  void matchSize() override;
  void onInitialize(bool & enabled_flag) override;

  std::filesystem::path map_path_str;
  std::filesystem::path map_id_file;
  std::filesystem::path map_mark_yaml_file;
  std::filesystem::path map_meta_yaml_file;
  /// Zones of the last load, in zone-file order.
  std::vector<std::shared_ptr<trasque::Base>> zones;
  /// The zones are to be drawn in the next cycle.
  bool need_update{true};

private:
  bool drawsThisCycle() const;
};

}  // namespace semantic_map

#endif  // LORVENT__STATIC_MARK_LAYER_HPP_
