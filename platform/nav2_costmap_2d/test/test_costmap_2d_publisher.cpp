// Costmap2DPublisher: translation table, full grid or window update, and the window bounds.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "nav2_costmap_2d/costmap_2d.hpp"
#include "nav2_costmap_2d/costmap_2d_publisher.hpp"
#include "nav2_util/lifecycle_node.hpp"
#include "rclcpp/rclcpp.hpp"

namespace {

using namespace std::chrono_literals;
using map_msgs::msg::OccupancyGridUpdate;
using nav_msgs::msg::OccupancyGrid;

class RosEnvironment : public ::testing::Environment
{
public:
  void SetUp() override { rclcpp::init(0, nullptr); }
  void TearDown() override { rclcpp::shutdown(); }
};

const auto * const kEnvironment = ::testing::AddGlobalTestEnvironment(new RosEnvironment);

class PublisherTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    topic_ = std::string("grid_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    node_ = std::make_shared<nav2_util::LifecycleNode>("costmap_publisher_test");
    listener_ = std::make_shared<rclcpp::Node>("costmap_publisher_listener");
    executor_.add_node(listener_);
    costmap_.resetMapToValue(0, 0, 8, 2, 0);
  }

  void TearDown() override { executor_.remove_node(listener_); }

  void makePublisher(bool always_full = false)
  {
    publisher_ = std::make_unique<nav2_costmap_2d::Costmap2DPublisher>(
        node_, &costmap_, "map", topic_, always_full);
    publisher_->on_activate();
  }

  void subscribeGrid()
  {
    grid_sub_ = listener_->create_subscription<OccupancyGrid>(
        topic_, latched(), [this](OccupancyGrid::ConstSharedPtr msg) { grids_.push_back(*msg); });
  }

  void subscribeUpdates()
  {
    update_sub_ = listener_->create_subscription<OccupancyGridUpdate>(
        topic_ + "_updates", latched(), [this](OccupancyGridUpdate::ConstSharedPtr msg) {
          updates_.push_back(*msg);
        });
  }

  static rclcpp::QoS latched() { return rclcpp::QoS(1).transient_local().reliable(); }

  // Spins the listener until pred holds; false after a generous deadline.
  template <typename Pred>
  bool spinUntil(Pred pred)
  {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!pred()) {
      if (std::chrono::steady_clock::now() > deadline) {
        return false;
      }
      executor_.spin_some();
      std::this_thread::sleep_for(2ms);
    }
    // Deliver anything else already queued, so that the counts below are final.
    executor_.spin_some();
    return true;
  }

  std::string topic_;
  // 8 x 2 cells of 0.25 m at (1, -2).
  nav2_costmap_2d::Costmap2D costmap_{8, 2, 0.25, 1.0, -2.0, 0};
  std::shared_ptr<nav2_util::LifecycleNode> node_;
  rclcpp::Node::SharedPtr listener_;
  rclcpp::executors::SingleThreadedExecutor executor_;
  std::unique_ptr<nav2_costmap_2d::Costmap2DPublisher> publisher_;
  rclcpp::Subscription<OccupancyGrid>::SharedPtr grid_sub_;
  rclcpp::Subscription<OccupancyGridUpdate>::SharedPtr update_sub_;
  std::vector<OccupancyGrid> grids_;
  std::vector<OccupancyGridUpdate> updates_;
};

TEST_F(PublisherTest, FullGridTranslatesEveryCost)
{
  const std::vector<unsigned char> costs{0, 1, 2, 100, 126, 251, 252, 253, 254, 255};
  for (size_t i = 0; i < costs.size(); ++i) {
    costmap_.getCharMap()[i] = costs[i];
  }
  makePublisher();
  subscribeGrid();
  publisher_->publishCostmap();

  ASSERT_TRUE(spinUntil([this]() { return !grids_.empty(); }));
  ASSERT_EQ(grids_.size(), 1u);
  const auto & grid = grids_[0];
  EXPECT_EQ(grid.header.frame_id, "map");
  EXPECT_EQ(grid.info.width, 8u);
  EXPECT_EQ(grid.info.height, 2u);
  EXPECT_FLOAT_EQ(grid.info.resolution, 0.25f);
  EXPECT_DOUBLE_EQ(grid.info.origin.position.x, 1.0);
  EXPECT_DOUBLE_EQ(grid.info.origin.position.y, -2.0);
  EXPECT_DOUBLE_EQ(grid.info.origin.orientation.w, 1.0);
  const std::vector<int8_t> expected{0, 1, 1, 39, 49, 97, 98, 99, 100, -1};
  ASSERT_EQ(grid.data.size(), 16u);
  EXPECT_EQ(std::vector<int8_t>(grid.data.begin(), grid.data.begin() + 10), expected);
}

TEST_F(PublisherTest, SameGeometryPublishesOnlyTheWindow)
{
  makePublisher();
  subscribeGrid();
  subscribeUpdates();
  publisher_->publishCostmap();
  ASSERT_TRUE(spinUntil([this]() { return grids_.size() == 1; }));

  costmap_.setCost(2, 1, 254);
  costmap_.setCost(1, 0, 253);
  publisher_->updateBounds(1, 3, 0, 2);
  publisher_->publishCostmap();

  ASSERT_TRUE(spinUntil([this]() { return !updates_.empty(); }));
  EXPECT_EQ(grids_.size(), 1u);
  ASSERT_EQ(updates_.size(), 1u);
  const auto & update = updates_[0];
  EXPECT_EQ(update.header.frame_id, "map");
  EXPECT_EQ(update.header.stamp.sec, 0);
  EXPECT_EQ(update.header.stamp.nanosec, 0u);
  EXPECT_EQ(update.x, 1);
  EXPECT_EQ(update.y, 0);
  EXPECT_EQ(update.width, 2u);
  EXPECT_EQ(update.height, 2u);
  EXPECT_EQ(update.data, (std::vector<int8_t>{99, 0, 0, 100}));
}

TEST_F(PublisherTest, WindowIsTheUnionOfTheBoundsAndIsEmptiedByPublishing)
{
  makePublisher();
  subscribeGrid();
  subscribeUpdates();
  publisher_->publishCostmap();
  ASSERT_TRUE(spinUntil([this]() { return grids_.size() == 1; }));

  publisher_->updateBounds(2, 4, 1, 2);
  publisher_->updateBounds(1, 3, 0, 1);
  publisher_->publishCostmap();
  ASSERT_TRUE(spinUntil([this]() { return updates_.size() == 1; }));
  // No bounds since the last publication: nothing to send.
  publisher_->publishCostmap();
  executor_.spin_some();
  publisher_->updateBounds(5, 6, 1, 2);
  publisher_->publishCostmap();

  ASSERT_TRUE(spinUntil([this]() { return updates_.size() >= 2; }));
  ASSERT_EQ(updates_.size(), 2u);
  EXPECT_EQ(updates_[0].x, 1);
  EXPECT_EQ(updates_[0].y, 0);
  EXPECT_EQ(updates_[0].width, 3u);
  EXPECT_EQ(updates_[0].height, 2u);
  EXPECT_EQ(updates_[1].x, 5);
  EXPECT_EQ(updates_[1].y, 1);
  EXPECT_EQ(updates_[1].width, 1u);
  EXPECT_EQ(updates_[1].height, 1u);
  EXPECT_EQ(grids_.size(), 1u);
}

TEST_F(PublisherTest, GeometryChangeSendsAFullGrid)
{
  makePublisher();
  subscribeGrid();
  subscribeUpdates();
  publisher_->publishCostmap();
  ASSERT_TRUE(spinUntil([this]() { return grids_.size() == 1; }));

  costmap_.updateOrigin(1.5, -2.0);
  publisher_->updateBounds(0, 2, 0, 1);
  publisher_->publishCostmap();
  ASSERT_TRUE(spinUntil([this]() { return grids_.size() == 2; }));
  EXPECT_DOUBLE_EQ(grids_[1].info.origin.position.x, 1.5);

  costmap_.resizeMap(4, 4, 0.25, 1.5, -2.0);
  publisher_->updateBounds(0, 2, 0, 1);
  publisher_->publishCostmap();
  ASSERT_TRUE(spinUntil([this]() { return grids_.size() == 3; }));
  EXPECT_EQ(grids_[2].info.width, 4u);
  EXPECT_EQ(grids_[2].info.height, 4u);
  EXPECT_TRUE(updates_.empty());
}

TEST_F(PublisherTest, AlwaysFullNeverSendsUpdates)
{
  makePublisher(true);
  subscribeGrid();
  subscribeUpdates();
  publisher_->publishCostmap();
  ASSERT_TRUE(spinUntil([this]() { return grids_.size() == 1; }));
  ASSERT_TRUE(spinUntil([this]() { return grids_.size() == 1; }));
  publisher_->updateBounds(0, 2, 0, 1);
  publisher_->publishCostmap();
  ASSERT_TRUE(spinUntil([this]() { return grids_.size() == 2; }));
  EXPECT_TRUE(updates_.empty());
}

TEST_F(PublisherTest, WithoutGridSubscriberTheNextGridIsStillFull)
{
  makePublisher();
  subscribeUpdates();
  publisher_->publishCostmap();

  // A late subscriber gets what was published after it joined, not a stale grid.
  costmap_.setCost(0, 0, 254);
  subscribeGrid();
  publisher_->updateBounds(0, 1, 0, 1);
  publisher_->publishCostmap();
  ASSERT_TRUE(spinUntil([this]() { return !grids_.empty(); }));
  ASSERT_EQ(grids_.size(), 1u);
  EXPECT_EQ(grids_[0].data[0], 100);
  EXPECT_TRUE(updates_.empty());
}

TEST_F(PublisherTest, RawCostmapCarriesTheCosts)
{
  costmap_.setCost(3, 1, 201);
  makePublisher();
  std::vector<nav2_msgs::msg::Costmap> raws;
  auto raw_sub = listener_->create_subscription<nav2_msgs::msg::Costmap>(
      topic_ + "_raw", latched(), [&raws](nav2_msgs::msg::Costmap::ConstSharedPtr msg) {
        raws.push_back(*msg);
      });
  publisher_->publishCostmap();
  ASSERT_TRUE(spinUntil([&raws]() { return !raws.empty(); }));
  EXPECT_EQ(raws[0].metadata.layer, "master");
  EXPECT_EQ(raws[0].metadata.size_x, 8u);
  ASSERT_EQ(raws[0].data.size(), 16u);
  EXPECT_EQ(raws[0].data[11], 201);
}

}  // namespace
