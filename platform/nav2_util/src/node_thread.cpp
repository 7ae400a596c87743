#include "nav2_util/node_thread.hpp"

#include <chrono>
#include <memory>
#include <thread>

namespace nav2_util {

NodeThread::NodeThread(rclcpp::node_interfaces::NodeBaseInterface::SharedPtr node_base)
    : node_(node_base)
{
  executor_ = std::make_shared<rclcpp::executors::SingleThreadedExecutor>();
  thread_ = std::make_unique<std::thread>([this]() {
    executor_->add_node(node_);
    executor_->spin();
    executor_->remove_node(node_);
    spin_done_ = true;
  });
}

NodeThread::NodeThread(rclcpp::executors::SingleThreadedExecutor::SharedPtr executor)
    : executor_(executor)
{
  thread_ = std::make_unique<std::thread>([this]() {
    executor_->spin();
    spin_done_ = true;
  });
}

NodeThread::~NodeThread()
{
  // cancel() ends a spin in progress only; a spin that starts after it would run on. So the
  // thread is first seen spinning (or already finished, e.g. after shutdown).
  waitUntilSpinningOrDone();
  executor_->cancel();
  thread_->join();
}

void NodeThread::waitUntilSpinningOrDone()
{
  while (!spin_done_ && !executor_->is_spinning()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace nav2_util
