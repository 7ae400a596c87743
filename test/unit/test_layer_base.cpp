// Layer base code: parameter naming and declaration, and the base's onInitialize.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <unordered_set>

#include "brindlex_nav2_semanticmap/layer.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"

namespace {

using GridT = semantic_map::Semanticmap<semantic_map::MapTypeAndHeight>;

class RosEnvironment : public ::testing::Environment
{
public:
  void SetUp() override { rclcpp::init(0, nullptr); }
  void TearDown() override { rclcpp::shutdown(); }
};

const auto * const kEnvironment = ::testing::AddGlobalTestEnvironment(new RosEnvironment);

// A layer that implements only what the base leaves pure; onInitialize stays the base's.
class BareLayer : public semantic_map::BrindlexLayer
{
public:
  void reset() override {}
  bool isClearable() override { return false; }
  bool clearArea(double, double, double, double, bool) override { return false; }
  void updateBounds(double, double, double, double *, double *, double *, double *) override {}
  void updateMaps(GridT *, nav2_costmap_2d::Costmap2D *, int, int, int, int) override {}
};

class LayerBaseTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    node_ = std::make_shared<rclcpp_lifecycle::LifecycleNode>(
        std::string("layer_base_") +
        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    layer_.name = "obstacles";
    layer_.node = node_;
  }

  static void expectLockFailure(BareLayer & layer)
  {
    try {
      layer.declareParameter("enabled", rclcpp::ParameterValue(true));
      FAIL() << "no exception";
    } catch (const std::runtime_error & e) {
      EXPECT_STREQ(e.what(), "Failed to lock node");
    }
    EXPECT_TRUE(layer.local_params.empty());
  }

  rclcpp_lifecycle::LifecycleNode::SharedPtr node_;
  BareLayer layer_;
};

TEST_F(LayerBaseTest, FullNamesArePrefixedByTheLayerName)
{
  EXPECT_EQ(layer_.getFullName("topic_name"), "obstacles.topic_name");
  EXPECT_EQ(layer_.getFullName(""), "obstacles.");
  EXPECT_EQ(layer_.getFullName("a.b"), "obstacles.a.b");
  BareLayer unnamed;
  EXPECT_EQ(unnamed.getFullName("enabled"), ".enabled");
}

TEST_F(LayerBaseTest, DeclaresUnderTheFullNameWithTheDefault)
{
  layer_.declareParameter("map_publish_frequency", rclcpp::ParameterValue(2.5));
  ASSERT_TRUE(node_->has_parameter("obstacles.map_publish_frequency"));
  EXPECT_FALSE(node_->has_parameter("map_publish_frequency"));
  EXPECT_DOUBLE_EQ(node_->get_parameter("obstacles.map_publish_frequency").as_double(), 2.5);
  EXPECT_EQ(layer_.local_params, std::unordered_set<std::string>{"map_publish_frequency"});
}

TEST_F(LayerBaseTest, DeclaringTwiceRecordsOnceAndKeepsTheValue)
{
  layer_.declareParameter("topic_name", rclcpp::ParameterValue(std::string("first")));
  node_->set_parameter(rclcpp::Parameter("obstacles.topic_name", std::string("changed")));
  layer_.declareParameter("topic_name", rclcpp::ParameterValue(std::string("second")));
  EXPECT_EQ(node_->get_parameter("obstacles.topic_name").as_string(), "changed");
  EXPECT_EQ(layer_.local_params.size(), 1u);
}

TEST_F(LayerBaseTest, AParameterOnTheNodeAlreadyIsRecordedButNotDeclaredAgain)
{
  node_->declare_parameter("obstacles.enabled", false);
  layer_.declareParameter("enabled", rclcpp::ParameterValue(true));
  EXPECT_FALSE(node_->get_parameter("obstacles.enabled").as_bool());
  EXPECT_EQ(layer_.local_params, std::unordered_set<std::string>{"enabled"});
}

TEST_F(LayerBaseTest, ANodeNeverSetFailsToLock)
{
  BareLayer layer;
  layer.name = "orphan";
  expectLockFailure(layer);
}

TEST_F(LayerBaseTest, ANodeThatIsGoneFailsToLock)
{
  node_.reset();
  expectLockFailure(layer_);
}

TEST_F(LayerBaseTest, TheBaseOnInitializeDisablesTheLayer)
{
  bool enabled = true;
  semantic_map::BrindlexLayer & base = layer_;
  base.onInitialize(enabled);
  EXPECT_FALSE(enabled);
  EXPECT_TRUE(layer_.local_params.empty());
  // The other base operations do nothing and leave the layer as it was.
  base.activate();
  base.deactivate();
  base.matchSize();
  base.reserved();
  EXPECT_FALSE(layer_.isCurrent());
  EXPECT_FALSE(layer_.isEnabled());
}

}  // namespace

namespace {

TEST(LayerBaseOverrides, ADeclarationErrorPassesToTheCaller)
{
  auto node = std::make_shared<rclcpp_lifecycle::LifecycleNode>(
      "layer_base_overrides",
      rclcpp::NodeOptions().parameter_overrides(
          {rclcpp::Parameter("obstacles.enabled", std::string("yes"))}));
  BareLayer layer;
  layer.name = "obstacles";
  layer.node = node;
  EXPECT_THROW(
      layer.declareParameter("enabled", rclcpp::ParameterValue(true)),
      rclcpp::exceptions::InvalidParameterTypeException);
  EXPECT_FALSE(node->has_parameter("obstacles.enabled"));
}

}  // namespace
