// nav2_util::LifecycleNode: its parameter, the error policy and the pre-shutdown cleanup.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "lifecycle_msgs/msg/state.hpp"
#include "nav2_util/lifecycle_node.hpp"
#include "rclcpp/rclcpp.hpp"

namespace {

using lifecycle_msgs::msg::State;

// Records its transitions; configure can be made to throw.
class RecordingNode : public nav2_util::LifecycleNode
{
public:
  RecordingNode(const std::string & name, const rclcpp::NodeOptions & options)
      : nav2_util::LifecycleNode(name, "", options)
  {
  }

  nav2_util::CallbackReturn on_configure(const rclcpp_lifecycle::State &) override
  {
    calls.push_back("configure");
    if (throw_on_configure) {
      throw std::runtime_error("configure failed");
    }
    return nav2_util::CallbackReturn::SUCCESS;
  }

  nav2_util::CallbackReturn on_activate(const rclcpp_lifecycle::State &) override
  {
    calls.push_back("activate");
    return nav2_util::CallbackReturn::SUCCESS;
  }

  nav2_util::CallbackReturn on_deactivate(const rclcpp_lifecycle::State &) override
  {
    calls.push_back("deactivate");
    return nav2_util::CallbackReturn::SUCCESS;
  }

  nav2_util::CallbackReturn on_cleanup(const rclcpp_lifecycle::State &) override
  {
    calls.push_back("cleanup");
    return nav2_util::CallbackReturn::SUCCESS;
  }

  bool throw_on_configure{false};
  std::vector<std::string> calls;
};

// Each test owns a context, so that shutting it down runs only this test's node's callbacks.
class LifecycleNodeTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    context_ = std::make_shared<rclcpp::Context>();
    context_->init(0, nullptr);
    node_ = std::make_shared<RecordingNode>(
        std::string("lifecycle_") + ::testing::UnitTest::GetInstance()->current_test_info()->name(),
        rclcpp::NodeOptions().context(context_));
  }

  void TearDown() override
  {
    node_.reset();
    if (context_->is_valid()) {
      context_->shutdown("test done");
    }
  }

  rclcpp::Context::SharedPtr context_;
  std::shared_ptr<RecordingNode> node_;
};

TEST_F(LifecycleNodeTest, DisablesTheBondHeartbeatTimeout)
{
  EXPECT_TRUE(node_->get_parameter("bond_disable_heartbeat_timeout").as_bool());
}

TEST_F(LifecycleNodeTest, SharedFromThisKeepsTheNavigation2Type)
{
  std::shared_ptr<nav2_util::LifecycleNode> self = node_->shared_from_this();
  EXPECT_EQ(self.get(), node_.get());
  nav2_util::LifecycleNode::WeakPtr weak = self;
  EXPECT_EQ(weak.lock().get(), node_.get());
}

TEST_F(LifecycleNodeTest, ThrowingConfigureEndsUnconfigured)
{
  node_->throw_on_configure = true;
  node_->configure();
  EXPECT_EQ(node_->get_current_state().id(), State::PRIMARY_STATE_UNCONFIGURED);

  // And the node can be configured again.
  node_->throw_on_configure = false;
  EXPECT_EQ(node_->configure().id(), State::PRIMARY_STATE_INACTIVE);
}

TEST_F(LifecycleNodeTest, ContextShutdownDeactivatesAndCleansUp)
{
  node_->configure();
  node_->activate();
  ASSERT_EQ(node_->get_current_state().id(), State::PRIMARY_STATE_ACTIVE);

  context_->shutdown("test");

  EXPECT_EQ(node_->get_current_state().id(), State::PRIMARY_STATE_UNCONFIGURED);
  EXPECT_EQ(
      node_->calls, (std::vector<std::string>{"configure", "activate", "deactivate", "cleanup"}));
}

TEST_F(LifecycleNodeTest, ContextShutdownCleansUpAnInactiveNode)
{
  node_->configure();
  context_->shutdown("test");
  EXPECT_EQ(node_->get_current_state().id(), State::PRIMARY_STATE_UNCONFIGURED);
  EXPECT_EQ(node_->calls, (std::vector<std::string>{"configure", "cleanup"}));
}

TEST_F(LifecycleNodeTest, DestroyedNodeNoLongerListensToTheContext)
{
  node_->configure();
  node_.reset();
  // The callback was removed with the node: shutting down must not reach it.
  context_->shutdown("test");
  EXPECT_FALSE(context_->is_valid());
}

// Counts the pre-shutdown calls that reach it in counters that outlive it. The context can be
// shut down from a member initialiser, as a signal at that moment would do: the callback that the
// base registered then runs while this part of the node is still being built.
class CountingNode : public nav2_util::LifecycleNode
{
public:
  struct Counts
  {
    int calls{0};
    int calls_before_built{0};
  };

  CountingNode(
      const std::string & name,
      const rclcpp::Context::SharedPtr & context,
      Counts & counts,
      bool shut_down_while_built = false)
      : nav2_util::LifecycleNode(name, "", rclcpp::NodeOptions().context(context)),
        counts_(counts),
        shut_down_while_built_(shut_down_while_built && context->shutdown("signal")),
        built_(true)
  {
  }

  void on_rcl_preshutdown() override
  {
    ++counts_.calls;
    if (!built_) {
      ++counts_.calls_before_built;
    }
    nav2_util::LifecycleNode::on_rcl_preshutdown();
  }

private:
  Counts & counts_;
  bool shut_down_while_built_;
  bool built_;
};

TEST(LifecycleNodePreshutdown, ReachesOnlyNodesThatLeftTheUnconfiguredState)
{
  struct Case
  {
    const char * name;
    int transitions;  // 0: unconfigured, 1: inactive, 2: active
    int expected_calls;
  };
  for (const Case & c : {Case{"unconfigured", 0, 0}, Case{"inactive", 1, 1}, Case{"active", 2, 1}}) {
    auto context = std::make_shared<rclcpp::Context>();
    context->init(0, nullptr);
    CountingNode::Counts counts;
    auto node = std::make_shared<CountingNode>(std::string("counting_") + c.name, context, counts);
    if (c.transitions >= 1) {
      node->configure();
    }
    if (c.transitions >= 2) {
      node->activate();
    }
    context->shutdown("test");
    EXPECT_EQ(counts.calls, c.expected_calls) << c.name;
    EXPECT_EQ(node->get_current_state().id(), State::PRIMARY_STATE_UNCONFIGURED) << c.name;
  }
}

TEST(LifecycleNodePreshutdown, ShutdownDuringConstructionDoesNotReachTheHalfBuiltNode)
{
  auto context = std::make_shared<rclcpp::Context>();
  context->init(0, nullptr);
  CountingNode::Counts counts;
  auto node = std::make_shared<CountingNode>("half_built", context, counts, true);
  EXPECT_FALSE(context->is_valid());
  EXPECT_EQ(counts.calls, 0);
  EXPECT_EQ(counts.calls_before_built, 0);
}

}  // namespace
