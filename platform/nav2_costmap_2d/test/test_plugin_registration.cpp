// The package and its test layer are found through the ament index by the real pluginlib.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "nav2_costmap_2d/costmap_layer.hpp"
#include "nav2_costmap_2d/layer.hpp"
#include "pluginlib/class_loader.hpp"

namespace {

class PluginRegistration : public ::testing::Test
{
protected:
  pluginlib::ClassLoader<nav2_costmap_2d::Layer> loader_{
      "nav2_costmap_2d", "nav2_costmap_2d::Layer"};
};

TEST_F(PluginRegistration, OffersOnlyTheTestLayer)
{
  EXPECT_EQ(
      loader_.getDeclaredClasses(), std::vector<std::string>{"nav2_costmap_2d::TestMarkLayer"});
}

TEST_F(PluginRegistration, CreatesAClearableTestLayer)
{
  std::shared_ptr<nav2_costmap_2d::Layer> layer =
      loader_.createSharedInstance("nav2_costmap_2d::TestMarkLayer");
  ASSERT_NE(layer, nullptr);
  EXPECT_TRUE(layer->isClearable());
  // The clear services rely on a clearable layer being a CostmapLayer.
  EXPECT_NE(std::dynamic_pointer_cast<nav2_costmap_2d::CostmapLayer>(layer), nullptr);
}

TEST_F(PluginRegistration, Navigation2LayersAreNotProvided)
{
  EXPECT_THROW(
      loader_.createSharedInstance("nav2_costmap_2d::StaticLayer"),
      pluginlib::LibraryLoadException);
  EXPECT_THROW(
      loader_.createSharedInstance("nav2_costmap_2d::InflationLayer"),
      pluginlib::PluginlibException);
}

TEST(PluginRegistrationPackages, UnknownPackageThrows)
{
  EXPECT_THROW(
      pluginlib::ClassLoader<nav2_costmap_2d::Layer>(
          "no_such_costmap_package", "nav2_costmap_2d::Layer"),
      pluginlib::ClassLoaderException);
}

}  // namespace
