#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "rclcpp/rclcpp.hpp"
#include "test_fixtures.hpp"

using rclcpp_test::wait_until;
using test_msgs::srv::AddTwo;
using namespace std::placeholders;

namespace {

// A service implementation bound with std::bind, as servers usually do.
class Adder
{
public:
  void add(
      const std::shared_ptr<AddTwo::Request> request, std::shared_ptr<AddTwo::Response> response)
  {
    response->sum = request->a + request->b;
    response->touched = true;
  }

  void add_with_header(
      const std::shared_ptr<rmw_request_id_t> header,
      const std::shared_ptr<AddTwo::Request> request,
      std::shared_ptr<AddTwo::Response> response)
  {
    last_sequence = header->sequence_number;
    response->sum = 10 * (request->a + request->b);
  }

  std::atomic<int64_t> last_sequence{0};
};

class ServiceTest : public rclcpp_test::RclcppTest
{
protected:
  void SetUp() override
  {
    RclcppTest::SetUp();
    server = std::make_shared<rclcpp::Node>("server", "/robot");
    client_node = std::make_shared<rclcpp::Node>("client", "/robot");
  }

  void TearDown() override
  {
    client_node.reset();
    server.reset();
    RclcppTest::TearDown();
  }

  // Serves `server` on its own thread until stop() is called.
  void start_server()
  {
    server_executor = std::make_shared<rclcpp::executors::SingleThreadedExecutor>();
    server_executor->add_node(server);
    server_thread = std::thread([this]() { server_executor->spin(); });
    // A cancel() before spin() starts would be lost, as with the real executor.
    ASSERT_TRUE(wait_until([this]() { return server_executor->is_spinning(); }));
  }

  void stop_server()
  {
    server_executor->cancel();
    server_thread.join();
  }

  std::shared_ptr<AddTwo::Response> call(const std::string & name, int64_t a, int64_t b)
  {
    auto client = client_node->create_client<AddTwo>(name);
    EXPECT_TRUE(client->wait_for_service(std::chrono::seconds(10)));
    auto request = std::make_shared<AddTwo::Request>();
    request->a = a;
    request->b = b;
    auto result = client->async_send_request(request);
    EXPECT_EQ(
        rclcpp::FutureReturnCode::SUCCESS,
        rclcpp::spin_until_future_complete(client_node, result, std::chrono::seconds(10)));
    return result.get();
  }

  rclcpp::Node::SharedPtr server;
  rclcpp::Node::SharedPtr client_node;
  std::shared_ptr<rclcpp::executors::SingleThreadedExecutor> server_executor;
  std::thread server_thread;
};

TEST_F(ServiceTest, TwoAndThreeArgumentBindFormsAreServed)
{
  Adder adder;
  auto two = server->create_service<AddTwo>("add", std::bind(&Adder::add, &adder, _1, _2));
  auto three = server->create_service<AddTwo>(
      "add_with_header", std::bind(&Adder::add_with_header, &adder, _1, _2, _3));
  start_server();
  auto response = call("add", 2, 3);
  EXPECT_EQ(5, response->sum);
  EXPECT_TRUE(response->touched);
  EXPECT_EQ(50, call("add_with_header", 2, 3)->sum);
  EXPECT_GT(adder.last_sequence.load(), 0);
  stop_server();
}

TEST_F(ServiceTest, UntouchedResponseComesBackDefaultConstructed)
{
  auto service = server->create_service<AddTwo>(
      "noop", [](std::shared_ptr<AddTwo::Request>, std::shared_ptr<AddTwo::Response>) {});
  start_server();
  auto response = call("noop", 1, 1);
  EXPECT_EQ(-1, response->sum);
  EXPECT_FALSE(response->touched);
  stop_server();
}

TEST_F(ServiceTest, NamesResolveRelativeAndAbsolute)
{
  auto handler = [](std::shared_ptr<AddTwo::Request>, std::shared_ptr<AddTwo::Response>) {};
  auto relative = server->create_service<AddTwo>("brindlex_load_map", handler);
  auto absolute = server->create_service<AddTwo>("/trigger_clean_coverage", handler);
  auto private_name = server->create_service<AddTwo>("~/get_state", handler);
  EXPECT_STREQ("/robot/brindlex_load_map", relative->get_service_name());
  EXPECT_STREQ("/trigger_clean_coverage", absolute->get_service_name());
  EXPECT_STREQ("/robot/server/get_state", private_name->get_service_name());
  EXPECT_THROW(
      server->create_service<AddTwo>("bad name", handler),
      rclcpp::exceptions::InvalidServiceNameError);
  EXPECT_THROW(
      server->create_service<AddTwo>("", handler), rclcpp::exceptions::InvalidServiceNameError);
  EXPECT_THROW(
      client_node->create_client<AddTwo>("trailing/"), rclcpp::exceptions::InvalidServiceNameError);
}

TEST_F(ServiceTest, ServiceAvailabilityFollowsTheServiceLifetime)
{
  auto client = client_node->create_client<AddTwo>("/robot/late");
  EXPECT_FALSE(client->service_is_ready());
  EXPECT_FALSE(client->wait_for_service(std::chrono::milliseconds(10)));

  std::promise<void> created;
  rclcpp::Service<AddTwo>::SharedPtr service;
  std::thread creator([&]() {
    service = server->create_service<AddTwo>(
        "late", [](std::shared_ptr<AddTwo::Request>, std::shared_ptr<AddTwo::Response>) {});
    created.set_value();
  });
  EXPECT_TRUE(client->wait_for_service(std::chrono::seconds(10)));
  created.get_future().wait();
  creator.join();
  EXPECT_TRUE(client->service_is_ready());
  service.reset();
  EXPECT_FALSE(client->service_is_ready());
}

TEST_F(ServiceTest, CallbackGroupDecidesTheServiceThread)
{
  auto group = server->create_callback_group(rclcpp::CallbackGroupType::MutuallyExclusive, false);
  std::atomic<bool> ran{false};
  std::thread::id service_thread;
  auto service = server->create_service<AddTwo>(
      "grouped",
      [&](std::shared_ptr<AddTwo::Request>, std::shared_ptr<AddTwo::Response> res) {
        service_thread = std::this_thread::get_id();
        res->sum = 1;
        ran = true;
      },
      rmw_qos_profile_services_default,
      group);

  rclcpp::executors::SingleThreadedExecutor group_executor;
  group_executor.add_callback_group(group, server->get_node_base_interface());
  std::thread group_thread([&group_executor]() { group_executor.spin(); });
  // A cancel() before spin() starts would be lost, as with the real executor.
  ASSERT_TRUE(wait_until([&group_executor]() { return group_executor.is_spinning(); }));
  const auto group_thread_id = group_thread.get_id();
  // The node's own executor does not serve the group.
  start_server();
  EXPECT_EQ(1, call("grouped", 0, 0)->sum);
  stop_server();
  group_executor.cancel();
  group_thread.join();
  EXPECT_TRUE(ran.load());
  EXPECT_EQ(group_thread_id, service_thread);
}

TEST_F(ServiceTest, ResponseCallbackRunsOnTheClientsExecutor)
{
  auto service = server->create_service<AddTwo>(
      "add", [](std::shared_ptr<AddTwo::Request> req, std::shared_ptr<AddTwo::Response> res) {
        res->sum = req->a + req->b;
      });
  start_server();
  auto client = client_node->create_client<AddTwo>("add");
  ASSERT_TRUE(client->wait_for_service(std::chrono::seconds(10)));
  auto request = std::make_shared<AddTwo::Request>();
  request->a = 4;
  request->b = 5;
  std::atomic<int64_t> seen{0};
  std::thread::id callback_thread;
  auto result = client->async_send_request(
      request, [&seen, &callback_thread](rclcpp::Client<AddTwo>::SharedFuture future) {
        callback_thread = std::this_thread::get_id();
        seen = future.get()->sum;
      });
  EXPECT_EQ(
      rclcpp::FutureReturnCode::SUCCESS,
      rclcpp::spin_until_future_complete(client_node, result.future, std::chrono::seconds(10)));
  stop_server();
  EXPECT_EQ(9, seen.load());
  EXPECT_EQ(std::this_thread::get_id(), callback_thread);
}

TEST_F(ServiceTest, WaitForServiceStopsAtShutdown)
{
  auto client = client_node->create_client<AddTwo>("never");
  std::thread stopper([]() {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    rclcpp::shutdown();
  });
  EXPECT_FALSE(client->wait_for_service());
  stopper.join();
}

}  // namespace
