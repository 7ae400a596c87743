#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "brindlex_velnor/velnor_cache_master.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"

namespace {

using velnor::ChangeEvent;
using velnor::MapChangeList;
using velnor::MapChangeUnit;
using velnor::VelnorCacheMaster;
using velnor::VelnorCacheSlave;

// A change list that is not empty whatever the cache does: updates append to it.
MapChangeList listWith(size_t units)
{
  return std::make_shared<std::vector<MapChangeUnit>>(
      units, MapChangeUnit(velnor::CacheUnit(), MapChangeUnit::MARK));
}

class ChangeChannelTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    suffix = std::to_string(counter++);
    node = std::make_shared<rclcpp_lifecycle::LifecycleNode>("channel_owner_" + suffix);
    tf = std::make_shared<tf2_ros::Buffer>(node->get_clock());
  }

  std::unique_ptr<VelnorCacheMaster> master(const std::string & name)
  {
    velnor::VelnorCache::Option o;
    o.name = name;
    o.global_frame = "map";
    return std::make_unique<VelnorCacheMaster>(node, o, *tf);
  }

  std::string channel(const std::string & name) const { return name + suffix; }

  static size_t subscribersOf(const std::string & name)
  {
    std::lock_guard<std::mutex> lock(ChangeEvent::mutex());
    auto it = ChangeEvent::event_map_.find(name);
    return it == ChangeEvent::event_map_.end() ? 0 : it->second->size();
  }

  static inline int counter = 0;
  std::string suffix;
  std::shared_ptr<rclcpp_lifecycle::LifecycleNode> node;
  std::shared_ptr<tf2_ros::Buffer> tf;
};

TEST_F(ChangeChannelTest, MastersOfOneNameShareTheirChannelAndSlavesQueueNonEmptyLists)
{
  // A slave made before any master creates the channel; masters made later deliver to it.
  VelnorCacheSlave slave("viewer", channel("left"));
  EXPECT_EQ(1u, subscribersOf(channel("left")));
  auto first = master(channel("left"));
  auto second = master(channel("left"));
  auto other = master(channel("right"));

  const auto a = listWith(1);
  const auto b = listWith(2);
  EXPECT_TRUE(first->updateCache(0.0, 0.0, a));
  EXPECT_TRUE(second->updateCache(0.0, 0.0, b));
  EXPECT_TRUE(other->updateCache(0.0, 0.0, listWith(3)));
  // An update without changes is not queued.
  EXPECT_TRUE(first->updateCache(0.0, 0.0, std::make_shared<std::vector<MapChangeUnit>>()));

  // The very lists, shared, in arrival order; reading does not empty the queue.
  for (int read = 0; read < 2; ++read) {
    const auto queued = slave.getUpdateData();
    ASSERT_EQ(2u, queued.size());
    EXPECT_EQ(a, queued[0]);
    EXPECT_EQ(b, queued[1]);
  }
  EXPECT_THROW(first->updateCache(0.0, 0.0, nullptr), std::invalid_argument);
}

TEST_F(ChangeChannelTest, SlaveRemovalAndDuplicateNames)
{
  auto owner = master(channel("cam"));
  auto holder = std::make_unique<VelnorCacheSlave>("viewer", channel("cam"));
  {
    // A second slave of the same name leaves the first subscription in place and gets nothing;
    // destroying it removes the name's entry whoever installed it.
    VelnorCacheSlave duplicate("viewer", channel("cam"));
    owner->updateCache(0.0, 0.0, listWith(1));
    EXPECT_EQ(1u, holder->getUpdateData().size());
    EXPECT_TRUE(duplicate.getUpdateData().empty());
  }
  EXPECT_EQ(0u, subscribersOf(channel("cam")));
  owner->updateCache(0.0, 0.0, listWith(1));
  EXPECT_EQ(1u, holder->getUpdateData().size());

  // The name is free again: a new slave installs itself; destroying the old one removes it.
  VelnorCacheSlave renewed("viewer", channel("cam"));
  owner->updateCache(0.0, 0.0, listWith(1));
  EXPECT_EQ(1u, renewed.getUpdateData().size());
  holder.reset();
  EXPECT_EQ(0u, subscribersOf(channel("cam")));
  owner->updateCache(0.0, 0.0, listWith(1));
  EXPECT_EQ(1u, renewed.getUpdateData().size());
}

TEST_F(ChangeChannelTest, AFailingSubscriberEndsTheDeliveryAfterTheUpdate)
{
  auto owner = master(channel("fail"));
  struct Case
  {
    std::string what;
    ChangeEvent::Callback callback;
    bool bad_call;
  };
  const std::vector<Case> cases = {
      {"throws", [](MapChangeList) { throw std::runtime_error("subscriber failed"); }, false},
      {"empty", ChangeEvent::Callback(), true},
  };
  for (const auto & c : cases) {
    SCOPED_TRACE(c.what);
    {
      std::lock_guard<std::mutex> lock(ChangeEvent::mutex());
      auto * ch = ChangeEvent::getChannel(channel("fail"));
      ch->clear();
      (*ch)["failing"] = c.callback;
    }
    const auto list = listWith(1);
    if (c.bad_call) {
      EXPECT_THROW(owner->updateCache(0.0, 0.0, list), std::bad_function_call);
    } else {
      EXPECT_THROW(owner->updateCache(0.0, 0.0, list), std::runtime_error);
    }
    // The cache ran before the delivery, and the registry mutex is free again.
    EXPECT_EQ(1u, list->size());
    EXPECT_EQ(1u, subscribersOf(channel("fail")));
  }
  std::lock_guard<std::mutex> lock(ChangeEvent::mutex());
  ChangeEvent::getChannel(channel("fail"))->clear();
}

}  // namespace
