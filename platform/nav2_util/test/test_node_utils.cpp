// Namespace joining and the plug-in parameter helpers.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "nav2_util/node_utils.hpp"
#include "rclcpp/rclcpp.hpp"

namespace {

class RosEnvironment : public ::testing::Environment
{
public:
  void SetUp() override { rclcpp::init(0, nullptr); }
  void TearDown() override { rclcpp::shutdown(); }
};

const auto * const kEnvironment = ::testing::AddGlobalTestEnvironment(new RosEnvironment);

TEST(AddNamespaces, JoinsWithExactlyOneSlash)
{
  EXPECT_EQ(nav2_util::add_namespaces("/", "costmap"), "/costmap");
  EXPECT_EQ(nav2_util::add_namespaces("robot/", "costmap"), "/robot/costmap");
  EXPECT_EQ(nav2_util::add_namespaces("/robot/", "costmap"), "/robot/costmap");
  EXPECT_EQ(nav2_util::add_namespaces("/robot", "costmap"), "/robot/costmap");
  EXPECT_EQ(nav2_util::add_namespaces("robot", ""), "robot/");
}

TEST(NodeNames, SanitizeReplacesSeparators)
{
  EXPECT_EQ(nav2_util::sanitize_node_name("a/b.c d:e"), "a_b_c_d_e");
  const auto generated = nav2_util::generate_internal_node_name("my/node");
  EXPECT_EQ(generated.rfind("my_node_", 0), 0u);
  EXPECT_NE(generated, nav2_util::generate_internal_node_name("my/node"));
}

class PluginParamTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    node_ = std::make_shared<rclcpp::Node>(
        std::string("plugin_param_") +
        ::testing::UnitTest::GetInstance()->current_test_info()->name());
  }

  rclcpp::Node::SharedPtr node_;
};

TEST_F(PluginParamTest, DeclareIfNotDeclaredKeepsTheFirstDeclaration)
{
  nav2_util::declare_parameter_if_not_declared(node_, "speed", rclcpp::ParameterValue(1.5));
  node_->set_parameter(rclcpp::Parameter("speed", 2.5));
  nav2_util::declare_parameter_if_not_declared(node_, "speed", rclcpp::ParameterValue(9.0));
  EXPECT_DOUBLE_EQ(node_->get_parameter("speed").as_double(), 2.5);

  nav2_util::declare_parameter_if_not_declared(node_, "kind", rclcpp::PARAMETER_STRING);
  EXPECT_TRUE(node_->has_parameter("kind"));
  // Declared with a type but no value: the typed read reports false and leaves the value.
  std::string kind = "unchanged";
  EXPECT_FALSE(node_->get_parameter("kind", kind));
  EXPECT_EQ(kind, "unchanged");
  EXPECT_THROW(node_->get_parameter("kind"), rclcpp::exceptions::ParameterUninitializedException);
}

TEST_F(PluginParamTest, ReturnsTheDeclaredType)
{
  node_->declare_parameter("layer.plugin", std::string("pkg::Layer"));
  EXPECT_EQ(nav2_util::get_plugin_type_param(node_, "layer"), "pkg::Layer");
}

TEST_F(PluginParamTest, MissingPluginParameterExitsWithMinusOne)
{
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(
      nav2_util::get_plugin_type_param(node_, "ghost"),
      ::testing::ExitedWithCode(255),
      "Can not get 'plugin' param value for ghost");
}

}  // namespace
