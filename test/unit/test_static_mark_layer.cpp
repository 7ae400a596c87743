// Static-mark layer on a layered map: zone loading from a stored map directory written by the
// test, drawing on static and rolling grids, and reloading.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "brindlex_nav2_semanticmap/layered_semanticmap.hpp"
#include "lorvent/static_mark_layer.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"
#include "trasque/block.hpp"
#include "trasque/circle_list.hpp"
#include "trasque_test_support.hpp"

namespace {

namespace fs = std::filesystem;
using semantic_map::SemanticFlags;
using semantic_map::StaticMarkLayer;
using GridT = semantic_map::Semanticmap<semantic_map::MapTypeAndHeight>;
using LayeredMapT = semantic_map::LayeredSemanticmap<GridT>;

class RosEnvironment : public ::testing::Environment
{
public:
  void SetUp() override { rclcpp::init(0, nullptr); }
  void TearDown() override { rclcpp::shutdown(); }
};

const auto * const kEnvironment = ::testing::AddGlobalTestEnvironment(new RosEnvironment);

constexpr double kLowest = std::numeric_limits<double>::lowest();
constexpr double kLargest = std::numeric_limits<double>::max();

// A stored map of 20 x 20 pixels at 0.1 m with its lower-left corner at the world origin, so
// pixel (x, y) is world (0.1 x, 2.0 - 0.1 y).
void writeMap(const fs::path & dir, const std::string & id, const std::string & zones)
{
  fs::create_directories(dir / id);
  std::ofstream(dir / "history.map") << id << "\n";
  std::ofstream(dir / id / "map.yaml")
      << "image: map.pgm\nmode: trinary\nresolution: 0.1\norigin: [0.0, 0.0, 0.0]\nnegate: 0\n"
         "occupied_thresh: 0.65\nfree_thresh: 0.25\n";
  std::ofstream image(dir / id / "map.pgm", std::ios::binary);
  image << "P5\n20 20\n255\n" << std::string(400, '\xfe');
  std::ofstream(dir / id / "editlayout.yaml") << "editlayout:\n" << zones;
}

// A block over world x 0.5 .. 0.9 and y 1.1 .. 1.5.
const char * const kBlockZone =
    "  - id: gap\n    type: narrow corridor\n    desctype: block\n    rectangle:\n"
    "      - {x: 5, y: 5}\n      - {x: 9, y: 5}\n      - {x: 9, y: 9}\n      - {x: 5, y: 9}\n";
// A disc of radius 0.3 m around world (1.5, 0.5).
const char * const kCircleZone =
    "  - id: 7\n    type: narrow corridor\n    desctype: circle\n    radius: 3\n    points:\n"
    "      - {x: 15, y: 15}\n";

class StaticMarkLayerTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    std::string id = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char & c : id) {
      if (!std::isalnum(static_cast<unsigned char>(c))) {
        c = '_';
      }
    }
    dir_ = fs::temp_directory_path() / ("static_mark_" + std::to_string(::getpid()) + "_" + id);
    fs::remove_all(dir_);
    node_ = std::make_shared<rclcpp_lifecycle::LifecycleNode>("static_mark_" + id);
    map_ = std::make_shared<LayeredMapT>("map", false, nullptr);
    map_->resizeMap(20, 20, 0.1, 0.0, 0.0);
  }

  void TearDown() override { fs::remove_all(dir_); }

  std::shared_ptr<StaticMarkLayer> makeLayer(bool enabled = true)
  {
    node_->declare_parameter("marks.map_path_str", dir_.string());
    node_->declare_parameter("marks.enabled", enabled);
    auto layer = std::make_shared<StaticMarkLayer>();
    layer->layered_semanticmap = map_.get();
    layer->name = "marks";
    layer->node = node_;
    layer->clock = node_->get_clock();
    bool flag = false;
    layer->onInitialize(flag);
    layer->enabled = flag;
    return layer;
  }

  // One cycle: the bounds the layer reports, then its draw.
  std::vector<double> cycle(StaticMarkLayer & layer)
  {
    std::vector<double> bounds = {kLargest, kLargest, kLowest, kLowest};
    std::lock_guard<std::mutex> lock(map_->mutex);
    layer.updateBounds(0.0, 0.0, 0.0, &bounds[0], &bounds[1], &bounds[2], &bounds[3]);
    layer.updateMaps(&map_->semanticmap, nullptr, 0, 0, 20, 20);
    return bounds;
  }

  unsigned int typeAt(double wx, double wy)
  {
    auto & grid = map_->semanticmap;
    std::lock_guard<std::mutex> lock(grid.mutex);
    const auto x = static_cast<uint32_t>((wx - grid.origin_x) / grid.resolution);
    const auto y = static_cast<uint32_t>((wy - grid.origin_y) / grid.resolution);
    return grid.grid->types[x + y * grid.grid->size_x];
  }

  size_t countFlag(unsigned int flag)
  {
    auto & grid = map_->semanticmap;
    std::lock_guard<std::mutex> lock(grid.mutex);
    size_t n = 0;
    for (uint32_t i = 0; i < grid.grid->cellCount(); ++i) {
      n += (grid.grid->types[i].value & flag) != 0u ? 1 : 0;
    }
    return n;
  }

  fs::path dir_;
  rclcpp_lifecycle::LifecycleNode::SharedPtr node_;
  std::shared_ptr<LayeredMapT> map_;
};

const std::vector<double> kEverything = {kLowest, kLowest, kLargest, kLargest};
const std::vector<double> kUntouched = {kLargest, kLargest, kLowest, kLowest};

TEST_F(StaticMarkLayerTest, DeclaresItsParametersWithDefaults)
{
  auto layer = makeLayer();
  EXPECT_EQ(node_->get_parameter("marks.map_id_file").as_string(), "history.map");
  EXPECT_EQ(node_->get_parameter("marks.map_mark_yaml_file").as_string(), "editlayout.yaml");
  EXPECT_EQ(node_->get_parameter("marks.map_meta_yaml_file").as_string(), "map.yaml");
  EXPECT_TRUE(node_->get_parameter("marks.enabled").as_bool());
  EXPECT_EQ(layer->map_path_str, dir_);
  EXPECT_EQ(layer->map_id_file, "history.map");
  EXPECT_TRUE(layer->isCurrent());
  EXPECT_FALSE(layer->isClearable());
  EXPECT_FALSE(layer->clearArea(0, 0, 1, 1, false));
  EXPECT_EQ(
      layer->local_params,
      (std::unordered_set<std::string>{
          "enabled", "map_id_file", "map_mark_yaml_file", "map_meta_yaml_file", "map_path_str"}));

  StaticMarkLayer fresh;
  EXPECT_TRUE(fresh.need_update);
  EXPECT_TRUE(fresh.zones.empty());
  EXPECT_TRUE(fresh.map_path_str.empty());
}

TEST_F(StaticMarkLayerTest, AStaticGridIsDrawnOncePerLoad)
{
  writeMap(dir_, "office", std::string(kBlockZone) + kCircleZone);
  auto layer = makeLayer();
  ASSERT_EQ(layer->zones.size(), 2u);
  EXPECT_TRUE(layer->need_update);

  EXPECT_EQ(cycle(*layer), kEverything);
  EXPECT_FALSE(layer->need_update);
  EXPECT_EQ(typeAt(0.75, 1.35), SemanticFlags::NARROW_CORRIDOR.value);
  EXPECT_EQ(typeAt(1.55, 0.55), SemanticFlags::NARROW_CORRIDOR.value);
  EXPECT_EQ(typeAt(0.15, 0.15), 0u);
  EXPECT_EQ(typeAt(1.05, 1.05), 0u);
  // At the grid's own resolution every raster cell lands in one grid cell of its own.
  size_t raster_cells = 0;
  for (const auto & zone : layer->zones) {
    raster_cells += trasque_test::countSet(*zone->getGrid(0.1));
  }
  EXPECT_EQ(countFlag(SemanticFlags::NARROW_CORRIDOR), raster_cells);

  // The second cycle neither widens the bounds nor writes.
  map_->semanticmap.resetMap();
  EXPECT_EQ(cycle(*layer), kUntouched);
  EXPECT_EQ(countFlag(~0u), 0u);
}

TEST_F(StaticMarkLayerTest, AResetRedrawsWithoutReadingFiles)
{
  writeMap(dir_, "office", kBlockZone);
  auto layer = makeLayer();
  cycle(*layer);
  const size_t drawn = countFlag(SemanticFlags::NARROW_CORRIDOR);
  ASSERT_GT(drawn, 0u);

  fs::remove_all(dir_);
  map_->semanticmap.resetMap();
  layer->reset();
  EXPECT_EQ(cycle(*layer), kEverything);
  EXPECT_EQ(countFlag(SemanticFlags::NARROW_CORRIDOR), drawn);
  EXPECT_EQ(layer->zones.size(), 1u);
}

TEST_F(StaticMarkLayerTest, ARollingGridIsDrawnEveryCycle)
{
  writeMap(dir_, "office", kBlockZone);
  map_->rolling_window = true;
  auto layer = makeLayer();
  for (int i = 0; i < 3; ++i) {
    map_->semanticmap.resetMap();
    EXPECT_EQ(cycle(*layer), kEverything) << "cycle " << i;
    EXPECT_EQ(typeAt(0.75, 1.35), SemanticFlags::NARROW_CORRIDOR.value) << "cycle " << i;
  }
}

TEST_F(StaticMarkLayerTest, CellsOutsideTheGridAreSkipped)
{
  writeMap(dir_, "office", kBlockZone);
  auto layer = makeLayer();
  // A 3 x 3 grid whose lower-left corner lies inside the block, at (0.7, 1.3): the block reaches
  // left of and below the grid, and the grid reaches beyond the block's upper-right corner.
  map_->resizeMap(3, 3, 0.1, 0.7, 1.3);
  layer->matchSize();
  cycle(*layer);
  // The raster spans about one cell beyond the block: its cells with centres inside the grid are
  // the 2 x 2 cells over x 0.7 .. 0.9, y 1.3 .. 1.5 and maybe one more row and column.
  EXPECT_NE(typeAt(0.75, 1.35) & SemanticFlags::NARROW_CORRIDOR.value, 0u);
  EXPECT_NE(typeAt(0.85, 1.45) & SemanticFlags::NARROW_CORRIDOR.value, 0u);
  const size_t set = countFlag(SemanticFlags::NARROW_CORRIDOR);
  EXPECT_GE(set, 4u);
  EXPECT_LE(set, 9u);

  // Entirely outside: nothing, and no write beyond the arrays (the sanitizer builds check that).
  map_->resizeMap(4, 4, 0.1, 1.6, 0.0);
  layer->matchSize();
  cycle(*layer);
  EXPECT_EQ(countFlag(~0u), 0u);
}

TEST_F(StaticMarkLayerTest, OtherFlagsAndHeightsAreKept)
{
  writeMap(dir_, "office", kBlockZone);
  auto layer = makeLayer();
  auto & grid = map_->semanticmap;
  const uint32_t inside = 7 + 13 * 20;  // world (0.75, 1.35)
  const uint32_t outside = 1 + 1 * 20;
  {
    std::lock_guard<std::mutex> lock(grid.mutex);
    grid.grid->types[inside] = SemanticFlags::CARPET | SemanticFlags::STATIC;
    grid.grid->heights[inside] = 0.4f;
    grid.grid->types[outside] = SemanticFlags::CHAIR;
    grid.grid->heights[outside] = 0.9f;
  }
  cycle(*layer);
  std::lock_guard<std::mutex> lock(grid.mutex);
  EXPECT_EQ(
      grid.grid->types[inside],
      SemanticFlags::CARPET | SemanticFlags::STATIC | SemanticFlags::NARROW_CORRIDOR);
  EXPECT_EQ(grid.grid->heights[inside], 0.4f);
  EXPECT_EQ(grid.grid->types[outside], SemanticFlags::CHAIR.value);
  EXPECT_EQ(grid.grid->heights[outside], 0.9f);
  EXPECT_EQ(grid.grid->heights[inside + 1 + 20], -std::numeric_limits<float>::infinity());
}

TEST_F(StaticMarkLayerTest, ZoneKindsGiveTheirFlagOrNothing)
{
  auto layer = makeLayer();  // no map directory: no zones
  EXPECT_TRUE(layer->zones.empty());
  const std::vector<trasque::NonIdealPlanePoint> disc = {{0.55, 0.55, 0.05}};
  layer->zones.push_back(
      std::make_shared<trasque::CircleList>(disc, trasque::Type::FORBIDDEN, "f"));
  const std::vector<trasque::NonIdealPlanePoint> other = {{1.55, 1.55, 0.05}};
  layer->zones.push_back(std::make_shared<trasque::CircleList>(other, trasque::Type::ERASE, "e"));
  layer->reset();
  cycle(*layer);
  EXPECT_EQ(typeAt(0.55, 0.55), SemanticFlags::FORBIDDEN.value);
  EXPECT_EQ(countFlag(~SemanticFlags::FORBIDDEN.value), 0u);
}

TEST_F(StaticMarkLayerTest, MatchSizeReloadsTheCurrentMap)
{
  writeMap(dir_, "office", kBlockZone);
  auto layer = makeLayer();
  writeMap(dir_, "kitchen", kCircleZone);  // also makes "kitchen" the current map

  map_->resizeMap(20, 20, 0.1, 0.0, 0.0);
  std::vector<trasque_test::LogRecord> records;
  {
    trasque_test::LogCapture capture;
    std::lock_guard<std::mutex> lock(map_->mutex);
    layer->matchSize();
    records = capture.records();
  }
  ASSERT_EQ(layer->zones.size(), 1u);
  EXPECT_EQ(layer->zones[0]->id, "7");
  EXPECT_TRUE(layer->need_update);
  ASSERT_GE(records.size(), 2u);
  EXPECT_EQ(
      records.front(),
      (trasque_test::LogRecord{"INFO", "StaticMarkLayer::matchSize marks calling..."}));
  EXPECT_EQ(
      records.back(),
      (trasque_test::LogRecord{
          "INFO",
          "StaticMarkLayer::matchSize set objs size 1, map origin [0.000, 0.000] size [20, 20]"}));

  EXPECT_EQ(cycle(*layer), kEverything);
  EXPECT_EQ(typeAt(1.55, 0.55), SemanticFlags::NARROW_CORRIDOR.value);
  EXPECT_EQ(typeAt(0.75, 1.35), 0u);
}

TEST_F(StaticMarkLayerTest, AMissingIdFileLeavesTheLayerWithoutZones)
{
  writeMap(dir_, "office", kBlockZone);
  auto layer = makeLayer();
  ASSERT_EQ(layer->zones.size(), 1u);
  fs::remove(dir_ / "history.map");

  std::vector<trasque_test::LogRecord> records;
  {
    trasque_test::LogCapture capture;
    layer->matchSize();
    records = capture.records();
  }
  EXPECT_TRUE(layer->zones.empty());
  ASSERT_GE(records.size(), 3u) << "the loader reports the failure before the summary";
  EXPECT_EQ(records[records.size() - 2].level, "CRITICAL");
  EXPECT_EQ(
      records.back(),
      (trasque_test::LogRecord{
          "INFO",
          "StaticMarkLayer::matchSize set objs size 0, map origin [0.000, 0.000] size [0, 0]"}));
  map_->semanticmap.resetMap();
  cycle(*layer);
  EXPECT_EQ(countFlag(~0u), 0u);
}

TEST_F(StaticMarkLayerTest, ZoneRastersAreBoundedAtTheGridResolution)
{
  // Two 20 m discs: small rasters at the map's 0.1 m, 64 Mi cells each at the grid's 0.005 m.
  const std::string disc =
      "  - {id: d, type: narrow corridor, desctype: circle, radius: 200, "
      "points: [{x: 10, y: 10}]}\n";
  writeMap(dir_, "office", disc + disc);
  map_->resizeMap(20, 20, 0.005, 0.0, 0.0);
  trasque_test::LogCapture capture;
  auto layer = makeLayer();
  EXPECT_TRUE(layer->zones.empty());
  const auto records = capture.records();
  const trasque_test::LogRecord refusal{
      "ERROR",
      "zone file " + (dir_ / "office" / "editlayout.yaml").string() +
          " needs more than 67108864 raster cells at resolution 0.005"};
  EXPECT_NE(std::find(records.begin(), records.end(), refusal), records.end());
}

TEST_F(StaticMarkLayerTest, ANullGridKeepsTheZonesPending)
{
  writeMap(dir_, "office", kBlockZone);
  auto layer = makeLayer();
  layer->updateMaps(nullptr, nullptr, 0, 0, 20, 20);
  EXPECT_TRUE(layer->need_update);
  cycle(*layer);
  EXPECT_FALSE(layer->need_update);
  EXPECT_GT(countFlag(SemanticFlags::NARROW_CORRIDOR), 0u);
}

TEST_F(StaticMarkLayerTest, ADisabledLayerDrawsNothing)
{
  writeMap(dir_, "office", kBlockZone);
  auto layer = makeLayer(false);
  EXPECT_FALSE(layer->enabled.load());
  EXPECT_EQ(cycle(*layer), kUntouched);
  EXPECT_EQ(countFlag(~0u), 0u);
}

TEST_F(StaticMarkLayerTest, ParametersAreReadOnlyAtInitialisation)
{
  writeMap(dir_, "office", kBlockZone);
  auto layer = makeLayer();
  node_->set_parameter(rclcpp::Parameter("marks.map_path_str", "/nonexistent"));
  layer->matchSize();
  EXPECT_EQ(layer->map_path_str, dir_);
  EXPECT_EQ(layer->zones.size(), 1u);
}

TEST(StaticMarkLayerNode, ANodeThatIsGoneFailsInitialisation)
{
  StaticMarkLayer layer;
  layer.name = "marks";
  {
    auto node = std::make_shared<rclcpp_lifecycle::LifecycleNode>("static_mark_gone");
    layer.node = node;
  }
  bool flag = true;
  try {
    layer.onInitialize(flag);
    FAIL() << "no exception";
  } catch (const std::runtime_error & e) {
    EXPECT_STREQ(e.what(), "Failed to lock node");
  }
  EXPECT_TRUE(layer.local_params.empty());
}

}  // namespace
