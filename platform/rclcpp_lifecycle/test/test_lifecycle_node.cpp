#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "builtin_interfaces/msg/time.hpp"
#include "lifecycle_msgs/msg/state.hpp"
#include "lifecycle_msgs/msg/transition.hpp"
#include "lifecycle_msgs/srv/change_state.hpp"
#include "lifecycle_msgs/srv/get_state.hpp"
#include "rcl_interfaces/msg/parameter_descriptor.hpp"
#include "rclcpp/rclcpp.hpp"
#include "rclcpp_lifecycle/lifecycle_node.hpp"
#include "rcutils/logging.h"

using CallbackReturn = rclcpp_lifecycle::node_interfaces::LifecycleNodeInterface::CallbackReturn;
using lifecycle_msgs::msg::State;
using TimeMsg = builtin_interfaces::msg::Time;

namespace {

enum class Outcome
{
  Success,
  Failure,
  Error,
  Throw
};

// Everything a TestNode does, kept outside the node so that it outlives it.
struct Record
{
  std::mutex mutex;
  std::vector<std::string> calls;
  std::vector<uint8_t> previous_states;

  void add(const std::string & call, uint8_t previous)
  {
    std::lock_guard<std::mutex> lock(mutex);
    calls.push_back(call);
    previous_states.push_back(previous);
  }
};

class TestNode : public rclcpp_lifecycle::LifecycleNode
{
public:
  TestNode(const std::string & name, std::shared_ptr<Record> record)
      : rclcpp_lifecycle::LifecycleNode(name), record_(std::move(record))
  {
  }

  Outcome configure_outcome{Outcome::Success};
  Outcome activate_outcome{Outcome::Success};
  Outcome deactivate_outcome{Outcome::Success};
  Outcome cleanup_outcome{Outcome::Success};
  Outcome shutdown_outcome{Outcome::Success};
  Outcome error_outcome{Outcome::Success};
  bool activate_base{true};

  CallbackReturn on_configure(const rclcpp_lifecycle::State & previous) override
  {
    return finish("configure", previous, configure_outcome);
  }

  CallbackReturn on_activate(const rclcpp_lifecycle::State & previous) override
  {
    if (activate_base) {
      rclcpp_lifecycle::LifecycleNode::on_activate(previous);
    }
    return finish("activate", previous, activate_outcome);
  }

  CallbackReturn on_deactivate(const rclcpp_lifecycle::State & previous) override
  {
    rclcpp_lifecycle::LifecycleNode::on_deactivate(previous);
    return finish("deactivate", previous, deactivate_outcome);
  }

  CallbackReturn on_cleanup(const rclcpp_lifecycle::State & previous) override
  {
    return finish("cleanup", previous, cleanup_outcome);
  }

  CallbackReturn on_shutdown(const rclcpp_lifecycle::State & previous) override
  {
    return finish("shutdown", previous, shutdown_outcome);
  }

  CallbackReturn on_error(const rclcpp_lifecycle::State & previous) override
  {
    return finish("error", previous, error_outcome);
  }

private:
  CallbackReturn finish(
      const std::string & call, const rclcpp_lifecycle::State & previous, Outcome outcome)
  {
    record_->add(call, previous.id());
    switch (outcome) {
      case Outcome::Failure:
        return CallbackReturn::FAILURE;
      case Outcome::Error:
        return CallbackReturn::ERROR;
      case Outcome::Throw:
        throw std::runtime_error("callback failed");
      default:
        return CallbackReturn::SUCCESS;
    }
  }

  std::shared_ptr<Record> record_;
};

class LifecycleTest : public ::testing::Test
{
protected:
  void SetUp() override
  {
    rclcpp::init(0, nullptr);
    record = std::make_shared<Record>();
    node = std::make_shared<TestNode>("lifecycle", record);
  }

  void TearDown() override
  {
    node.reset();
    rclcpp::shutdown();
  }

  std::shared_ptr<Record> record;
  std::shared_ptr<TestNode> node;
};

TEST_F(LifecycleTest, SuccessfulTransitionsReachEachPrimaryState)
{
  EXPECT_EQ(State::PRIMARY_STATE_UNCONFIGURED, node->get_current_state().id());
  EXPECT_EQ("unconfigured", node->get_current_state().label());
  EXPECT_EQ(State::PRIMARY_STATE_INACTIVE, node->configure().id());
  EXPECT_EQ(State::PRIMARY_STATE_ACTIVE, node->activate().id());
  EXPECT_EQ("active", node->get_current_state().label());
  EXPECT_EQ(State::PRIMARY_STATE_INACTIVE, node->deactivate().id());
  EXPECT_EQ(State::PRIMARY_STATE_UNCONFIGURED, node->cleanup().id());
  EXPECT_EQ(State::PRIMARY_STATE_FINALIZED, node->shutdown().id());
  EXPECT_EQ(
      (std::vector<std::string>{"configure", "activate", "deactivate", "cleanup", "shutdown"}),
      record->calls);
  // Each callback sees the state its transition started from.
  EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 2, 1}), record->previous_states);
}

TEST_F(LifecycleTest, FailureReturnsToTheStartState)
{
  node->configure_outcome = Outcome::Failure;
  CallbackReturn code = CallbackReturn::SUCCESS;
  EXPECT_EQ(State::PRIMARY_STATE_UNCONFIGURED, node->configure(code).id());
  EXPECT_EQ(CallbackReturn::FAILURE, code);

  node->configure_outcome = Outcome::Success;
  node->configure();
  node->activate_outcome = Outcome::Failure;
  EXPECT_EQ(State::PRIMARY_STATE_INACTIVE, node->activate().id());
  node->activate_outcome = Outcome::Success;
  node->activate();
  node->deactivate_outcome = Outcome::Failure;
  EXPECT_EQ(State::PRIMARY_STATE_ACTIVE, node->deactivate().id());
  node->deactivate_outcome = Outcome::Success;
  node->deactivate();
  node->cleanup_outcome = Outcome::Failure;
  EXPECT_EQ(State::PRIMARY_STATE_INACTIVE, node->cleanup().id());
  EXPECT_EQ(0, std::count(record->calls.begin(), record->calls.end(), "error"));
}

TEST_F(LifecycleTest, ErrorRunsOnErrorAndSuccessfulHandlingUnconfigures)
{
  node->configure();
  node->activate();
  node->deactivate_outcome = Outcome::Error;
  CallbackReturn code = CallbackReturn::SUCCESS;
  EXPECT_EQ(State::PRIMARY_STATE_UNCONFIGURED, node->deactivate(code).id());
  EXPECT_EQ(CallbackReturn::ERROR, code);
  ASSERT_EQ("error", record->calls.back());
  // on_error sees the state the failed transition started from.
  EXPECT_EQ(State::PRIMARY_STATE_ACTIVE, record->previous_states.back());
}

TEST_F(LifecycleTest, FailedErrorHandlingFinalizes)
{
  node->configure_outcome = Outcome::Error;
  node->error_outcome = Outcome::Failure;
  EXPECT_EQ(State::PRIMARY_STATE_FINALIZED, node->configure().id());
  // Nothing leaves finalized.
  EXPECT_EQ(State::PRIMARY_STATE_FINALIZED, node->configure().id());
  EXPECT_EQ(State::PRIMARY_STATE_FINALIZED, node->shutdown().id());
}

TEST_F(LifecycleTest, ExceptionInACallbackIsAnError)
{
  node->configure_outcome = Outcome::Throw;
  CallbackReturn code = CallbackReturn::SUCCESS;
  EXPECT_EQ(State::PRIMARY_STATE_UNCONFIGURED, node->configure(code).id());
  EXPECT_EQ(CallbackReturn::ERROR, code);
  EXPECT_EQ((std::vector<std::string>{"configure", "error"}), record->calls);
}

TEST_F(LifecycleTest, TransitionFromTheWrongStateLeavesTheState)
{
  CallbackReturn code = CallbackReturn::FAILURE;
  EXPECT_EQ(State::PRIMARY_STATE_UNCONFIGURED, node->activate(code).id());
  EXPECT_EQ(State::PRIMARY_STATE_UNCONFIGURED, node->deactivate().id());
  EXPECT_EQ(State::PRIMARY_STATE_UNCONFIGURED, node->cleanup().id());
  EXPECT_TRUE(record->calls.empty());
  // The caller's return code is left as it was.
  EXPECT_EQ(CallbackReturn::FAILURE, code);
}

TEST_F(LifecycleTest, TransitionRequestedDuringAnotherIsRejected)
{
  std::promise<void> entered;
  std::promise<void> release;
  auto release_future = release.get_future().share();
  node->register_on_configure([&entered, release_future](const rclcpp_lifecycle::State &) {
    entered.set_value();
    release_future.wait();
    return CallbackReturn::SUCCESS;
  });
  std::thread configurer([this]() { node->configure(); });
  entered.get_future().wait();
  EXPECT_EQ(State::TRANSITION_STATE_CONFIGURING, node->get_current_state().id());
  EXPECT_EQ(State::TRANSITION_STATE_CONFIGURING, node->configure().id());
  EXPECT_EQ(State::TRANSITION_STATE_CONFIGURING, node->shutdown().id());
  release.set_value();
  configurer.join();
  EXPECT_EQ(State::PRIMARY_STATE_INACTIVE, node->get_current_state().id());
}

TEST_F(LifecycleTest, ShutdownWorksFromEveryPrimaryState)
{
  EXPECT_EQ(State::PRIMARY_STATE_FINALIZED, node->shutdown().id());
  auto inactive = std::make_shared<TestNode>("inactive", record);
  inactive->configure();
  EXPECT_EQ(State::PRIMARY_STATE_FINALIZED, inactive->shutdown().id());
  auto active = std::make_shared<TestNode>("active", record);
  active->configure();
  active->activate();
  EXPECT_EQ(State::PRIMARY_STATE_FINALIZED, active->shutdown().id());
}

TEST_F(LifecycleTest, DestructorDoesNoLifecycleWork)
{
  node->configure();
  node->activate();
  const size_t calls = record->calls.size();
  node.reset();
  EXPECT_EQ(calls, record->calls.size());
}

// Counts WARN records about inactive lifecycle publishers.
std::atomic<int> g_not_activated_warnings{0};

void counting_output_handler(
    const rcutils_log_location_t *,
    int severity,
    const char *,
    rcutils_time_point_value_t,
    const char * format,
    va_list * args)
{
  char buffer[512];
  va_list copy;
  va_copy(copy, *args);
  vsnprintf(buffer, sizeof(buffer), format, copy);
  va_end(copy);
  if (severity == RCUTILS_LOG_SEVERITY_WARN &&
      std::string(buffer).find("but the publisher is not activated") != std::string::npos) {
    ++g_not_activated_warnings;
  }
}

TEST_F(LifecycleTest, LifecyclePublisherDropsWhileInactiveAndWarnsOnce)
{
  const auto previous_handler = rcutils_logging_get_output_handler();
  rcutils_logging_set_output_handler(counting_output_handler);
  g_not_activated_warnings = 0;

  auto listener = std::make_shared<rclcpp::Node>("listener");
  std::vector<int32_t> received;
  auto sub = listener->create_subscription<TimeMsg>(
      "/clock_like", 10, [&received](const TimeMsg & msg) { received.push_back(msg.sec); });
  auto pub = node->create_publisher<TimeMsg>("/clock_like", 10);
  EXPECT_FALSE(pub->is_activated());
  // Matched even while inactive.
  EXPECT_EQ(1u, pub->get_subscription_count());

  TimeMsg msg;
  msg.sec = 1;
  pub->publish(msg);
  msg.sec = 2;
  pub->publish(std::make_unique<TimeMsg>(msg));
  EXPECT_EQ(1, g_not_activated_warnings.load());

  node->configure();
  node->activate();
  EXPECT_TRUE(pub->is_activated());
  msg.sec = 3;
  pub->publish(msg);
  node->deactivate();
  msg.sec = 4;
  pub->publish(msg);
  pub->publish(msg);
  EXPECT_EQ(2, g_not_activated_warnings.load());

  rclcpp::spin_some(listener);
  EXPECT_EQ((std::vector<int32_t>{3}), received);
  rcutils_logging_set_output_handler(previous_handler);
}

TEST_F(LifecycleTest, OverridingOnActivateWithoutTheBaseLeavesPublishersInactive)
{
  auto pub = node->create_publisher<TimeMsg>("debug", 1);
  node->activate_base = false;
  node->configure();
  node->activate();
  EXPECT_EQ(State::PRIMARY_STATE_ACTIVE, node->get_current_state().id());
  EXPECT_FALSE(pub->is_activated());
}

TEST_F(LifecycleTest, ParametersFollowTheNodeRules)
{
  auto params_node = std::make_shared<rclcpp_lifecycle::LifecycleNode>(
      "costmap",
      "",
      rclcpp::NodeOptions().arguments(
          {"--ros-args", "-r", "__ns:=/costmap", "-p", "width:=7", "-p", "name:=abc"}));
  EXPECT_STREQ("/costmap", params_node->get_namespace());
  EXPECT_EQ(7, params_node->declare_parameter("width", 5));
  int width = 0;
  EXPECT_TRUE(params_node->get_parameter("width", width));
  EXPECT_EQ(7, width);

  std::string unchanged = "keep";
  EXPECT_FALSE(params_node->get_parameter("undeclared", unchanged));
  params_node->declare_parameter("typed", rclcpp::PARAMETER_STRING);
  EXPECT_TRUE(params_node->has_parameter("typed"));
  EXPECT_FALSE(params_node->get_parameter("typed", unchanged));
  EXPECT_EQ("keep", unchanged);

  double wrong_type = 0.0;
  EXPECT_THROW(
      params_node->get_parameter("width", wrong_type),
      rclcpp::exceptions::InvalidParameterTypeException);
  EXPECT_THROW(
      params_node->declare_parameter("name", 3), rclcpp::exceptions::InvalidParameterTypeException);
}

TEST_F(LifecycleTest, DescribeParameterGivesTheDeclaredDescriptor)
{
  rcl_interfaces::msg::ParameterDescriptor descriptor;
  descriptor.description = "Cells per metre";
  descriptor.read_only = true;
  node->declare_parameter("resolution", 0.05, descriptor);
  node->declare_parameter("frame", std::string("map"));

  const auto resolution = node->describe_parameter("resolution");
  EXPECT_EQ("resolution", resolution.name);
  EXPECT_EQ(rclcpp::PARAMETER_DOUBLE, resolution.type);
  EXPECT_EQ("Cells per metre", resolution.description);
  EXPECT_TRUE(resolution.read_only);

  const auto frame = node->describe_parameter("frame");
  EXPECT_EQ("frame", frame.name);
  EXPECT_EQ(rclcpp::PARAMETER_STRING, frame.type);
  EXPECT_FALSE(frame.read_only);
}

TEST_F(LifecycleTest, DescribeParameterOfAnUndeclaredNameThrows)
{
  node->declare_parameter("declared", 1);
  try {
    node->describe_parameter("missing");
    FAIL() << "no exception";
  } catch (const rclcpp::exceptions::ParameterNotDeclaredException & e) {
    EXPECT_STREQ("missing", e.what());
  }
}

}  // namespace

namespace {

TEST_F(LifecycleTest, ChangeStateServiceRunsTransitionsOnTheExecutorThread)
{
  auto client_node = std::make_shared<rclcpp::Node>("lifecycle_client");
  auto change_state =
      client_node->create_client<lifecycle_msgs::srv::ChangeState>("/lifecycle/change_state");
  auto get_state =
      client_node->create_client<lifecycle_msgs::srv::GetState>("/lifecycle/get_state");
  std::thread::id transition_thread;
  node->register_on_configure([&transition_thread](const rclcpp_lifecycle::State &) {
    transition_thread = std::this_thread::get_id();
    return CallbackReturn::SUCCESS;
  });

  rclcpp::executors::SingleThreadedExecutor executor;
  executor.add_node(node->get_node_base_interface());
  std::thread spinner([&executor]() { executor.spin(); });
  const auto spinner_id = spinner.get_id();
  ASSERT_TRUE(change_state->wait_for_service(std::chrono::seconds(10)));

  auto request = std::make_shared<lifecycle_msgs::srv::ChangeState::Request>();
  request->transition.id = lifecycle_msgs::msg::Transition::TRANSITION_CONFIGURE;
  auto configured = change_state->async_send_request(request);
  ASSERT_EQ(
      rclcpp::FutureReturnCode::SUCCESS,
      rclcpp::spin_until_future_complete(client_node, configured, std::chrono::seconds(10)));
  EXPECT_TRUE(configured.get()->success);

  // A transition that is not allowed reports failure; a label selects the transition.
  request->transition.id = lifecycle_msgs::msg::Transition::TRANSITION_DEACTIVATE;
  auto refused = change_state->async_send_request(request);
  ASSERT_EQ(
      rclcpp::FutureReturnCode::SUCCESS,
      rclcpp::spin_until_future_complete(client_node, refused, std::chrono::seconds(10)));
  EXPECT_FALSE(refused.get()->success);
  request->transition.id = 0;
  request->transition.label = "activate";
  auto activated = change_state->async_send_request(request);
  ASSERT_EQ(
      rclcpp::FutureReturnCode::SUCCESS,
      rclcpp::spin_until_future_complete(client_node, activated, std::chrono::seconds(10)));
  EXPECT_TRUE(activated.get()->success);

  auto state =
      get_state->async_send_request(std::make_shared<lifecycle_msgs::srv::GetState::Request>());
  ASSERT_EQ(
      rclcpp::FutureReturnCode::SUCCESS,
      rclcpp::spin_until_future_complete(client_node, state, std::chrono::seconds(10)));
  executor.cancel();
  spinner.join();
  const auto state_response = state.get();
  EXPECT_EQ(State::PRIMARY_STATE_ACTIVE, state_response->current_state.id);
  EXPECT_EQ("active", state_response->current_state.label);
  EXPECT_EQ(spinner_id, transition_thread);
}

TEST_F(LifecycleTest, CommunicationInterfaceCanBeDisabled)
{
  auto quiet =
      std::make_shared<rclcpp_lifecycle::LifecycleNode>("quiet", "", rclcpp::NodeOptions(), false);
  auto client_node = std::make_shared<rclcpp::Node>("probe");
  auto client = client_node->create_client<lifecycle_msgs::srv::GetState>("/quiet/get_state");
  EXPECT_FALSE(client->service_is_ready());
  auto talkative = std::make_shared<rclcpp_lifecycle::LifecycleNode>("talkative");
  auto talkative_client =
      client_node->create_client<lifecycle_msgs::srv::GetState>("/talkative/get_state");
  EXPECT_TRUE(talkative_client->service_is_ready());
}

}  // namespace
