// Declaration, typing, override and callback rules of the node parameter store.
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "rcl_interfaces/msg/parameter_descriptor.hpp"
#include "rcl_interfaces/msg/set_parameters_result.hpp"
#include "rclcpp/exceptions.hpp"
#include "rclcpp/node_interfaces/node_parameters.hpp"
#include "rclcpp/rclcpp.hpp"

namespace {

using rcl_interfaces::msg::ParameterDescriptor;
using rcl_interfaces::msg::SetParametersResult;
using rclcpp::Parameter;
using rclcpp::ParameterValue;
using rclcpp::node_interfaces::NodeParameters;

SetParametersResult accept()
{
  SetParametersResult result;
  result.successful = true;
  return result;
}

SetParametersResult reject(const std::string & reason)
{
  SetParametersResult result;
  result.successful = false;
  result.reason = reason;
  return result;
}

// One parameter set on its own, as Node::set_parameter does.
SetParametersResult set(NodeParameters & params, const Parameter & parameter)
{
  return params.set_parameters({parameter}).at(0);
}

ParameterDescriptor dynamic()
{
  ParameterDescriptor descriptor;
  descriptor.dynamic_typing = true;
  return descriptor;
}

class NodeParametersTest : public ::testing::Test
{
protected:
  // Overrides as the command line would give them for this node.
  NodeParameters params{
      "/ns/node",
      {Parameter("overridden", 5),
       Parameter("typed_override", "text"),
       Parameter("wrong_type", "not a number"),
       Parameter("plugin", "pkg::Layer")},
      false,
      false};
};

using DeclareTest = NodeParametersTest;

TEST_F(DeclareTest, DefaultWithoutOverride)
{
  EXPECT_EQ(params.declare_parameter("plain", ParameterValue(1.5)), ParameterValue(1.5));
  EXPECT_DOUBLE_EQ(params.get_parameter("plain").as_double(), 1.5);
  EXPECT_EQ(params.describe_parameters({"plain"}).at(0).type, rclcpp::PARAMETER_DOUBLE);
}

TEST_F(DeclareTest, OverrideReplacesDefault)
{
  EXPECT_EQ(params.declare_parameter("overridden", ParameterValue(1)), ParameterValue(5));
  EXPECT_EQ(params.get_parameter("overridden").as_int(), 5);
}

TEST_F(DeclareTest, IgnoreOverrideKeepsDefault)
{
  EXPECT_EQ(
      params.declare_parameter("overridden", ParameterValue(1), ParameterDescriptor(), true),
      ParameterValue(1));
}

TEST_F(DeclareTest, OverrideOfAnotherTypeThrowsAndLeavesNothingDeclared)
{
  try {
    params.declare_parameter("wrong_type", ParameterValue(3));
    FAIL() << "no exception";
  } catch (const rclcpp::exceptions::InvalidParameterTypeException & e) {
    EXPECT_STREQ(
        e.what(),
        "parameter 'wrong_type' has invalid type: Wrong parameter type, parameter {wrong_type} is "
        "of type {integer}, setting it to {string} is not allowed.");
  }
  EXPECT_FALSE(params.has_parameter("wrong_type"));
}

TEST_F(DeclareTest, SecondDeclarationThrowsAndKeepsTheFirst)
{
  params.declare_parameter("once", ParameterValue(1));
  EXPECT_THROW(
      params.declare_parameter("once", ParameterValue(2)),
      rclcpp::exceptions::ParameterAlreadyDeclaredException);
  EXPECT_THROW(
      params.declare_parameter("once", rclcpp::PARAMETER_INTEGER),
      rclcpp::exceptions::ParameterAlreadyDeclaredException);
  EXPECT_EQ(params.get_parameter("once").as_int(), 1);
}

TEST_F(DeclareTest, EmptyNameIsInvalid)
{
  EXPECT_THROW(
      params.declare_parameter("", ParameterValue(1)),
      rclcpp::exceptions::InvalidParametersException);
  EXPECT_THROW(
      params.declare_parameter("", rclcpp::PARAMETER_STRING),
      rclcpp::exceptions::InvalidParametersException);
}

TEST_F(DeclareTest, TypedDeclarationWithoutValueIsDeclaredButUninitialised)
{
  const auto & value = params.declare_parameter("layer.plugin", rclcpp::PARAMETER_STRING);
  EXPECT_EQ(value.get_type(), rclcpp::PARAMETER_NOT_SET);
  EXPECT_TRUE(params.has_parameter("layer.plugin"));
  EXPECT_THROW(
      params.get_parameter("layer.plugin"), rclcpp::exceptions::ParameterUninitializedException);

  Parameter out("untouched", 42);
  EXPECT_FALSE(params.get_parameter("layer.plugin", out));
  EXPECT_EQ(out, Parameter("untouched", 42));

  EXPECT_EQ(params.describe_parameters({"layer.plugin"}).at(0).type, rclcpp::PARAMETER_STRING);
  EXPECT_EQ(params.get_parameter_types({"layer.plugin"}).at(0), rclcpp::PARAMETER_NOT_SET);

  // Still statically typed: only a string initialises it.
  EXPECT_FALSE(set(params, Parameter("layer.plugin", 3)).successful);
  EXPECT_TRUE(set(params, Parameter("layer.plugin", "pkg::X")).successful);
  EXPECT_EQ(params.get_parameter("layer.plugin").as_string(), "pkg::X");
}

TEST_F(DeclareTest, TypedDeclarationTakesAnOverrideOfItsType)
{
  EXPECT_EQ(
      params.declare_parameter("typed_override", rclcpp::PARAMETER_STRING), ParameterValue("text"));
  EXPECT_THROW(
      params.declare_parameter("plugin", rclcpp::PARAMETER_BOOL),
      rclcpp::exceptions::InvalidParameterTypeException);
}

TEST_F(DeclareTest, TypedDeclarationArgumentChecks)
{
  EXPECT_THROW(params.declare_parameter("t", rclcpp::PARAMETER_NOT_SET), std::invalid_argument);
  EXPECT_THROW(
      params.declare_parameter("t", rclcpp::PARAMETER_INTEGER, dynamic()), std::invalid_argument);
  EXPECT_FALSE(params.has_parameter("t"));
}

TEST_F(DeclareTest, UnsetDefaultNeedsDynamicTyping)
{
  EXPECT_THROW(
      params.declare_parameter("unset", ParameterValue()),
      rclcpp::exceptions::InvalidParameterTypeException);
  params.declare_parameter("unset", ParameterValue(), dynamic());
  // Dynamically typed: readable while unset, and any type may be set.
  EXPECT_EQ(params.get_parameter("unset").get_type(), rclcpp::PARAMETER_NOT_SET);
  EXPECT_TRUE(set(params, Parameter("unset", "now a string")).successful);
  EXPECT_TRUE(set(params, Parameter("unset", 4)).successful);
  EXPECT_EQ(params.get_parameter("unset").as_int(), 4);
}

TEST_F(DeclareTest, RangesAreEnforced)
{
  ParameterDescriptor descriptor;
  descriptor.integer_range.resize(1);
  descriptor.integer_range[0].from_value = 0;
  descriptor.integer_range[0].to_value = 10;
  descriptor.integer_range[0].step = 2;
  EXPECT_THROW(
      params.declare_parameter("even", ParameterValue(3), descriptor),
      rclcpp::exceptions::InvalidParameterValueException);
  params.declare_parameter("even", ParameterValue(4), descriptor);
  EXPECT_FALSE(set(params, Parameter("even", 12)).successful);
  EXPECT_TRUE(set(params, Parameter("even", 10)).successful);

  ParameterDescriptor real;
  real.floating_point_range.resize(1);
  real.floating_point_range[0].from_value = 0.0;
  real.floating_point_range[0].to_value = 1.0;
  params.declare_parameter("ratio", ParameterValue(0.5), real);
  EXPECT_FALSE(set(params, Parameter("ratio", 1.5)).successful);
  EXPECT_TRUE(set(params, Parameter("ratio", 1.0)).successful);
}

TEST(DeclareFromOverrides, AutomaticDeclarationIsDynamicAndLaterOverridesWin)
{
  NodeParameters params(
      "/n", {Parameter("a", 1), Parameter("b", "x"), Parameter("a", 2)}, false, true);
  EXPECT_EQ(params.get_parameter_overrides().at("a"), ParameterValue(2));
  EXPECT_EQ(params.get_parameter("a").as_int(), 2);
  EXPECT_EQ(params.get_parameter("b").as_string(), "x");
  EXPECT_TRUE(params.describe_parameters({"b"}).at(0).dynamic_typing);
  EXPECT_TRUE(set(params, Parameter("b", 1.0)).successful);
  EXPECT_THROW(
      params.declare_parameter("a", ParameterValue(0)),
      rclcpp::exceptions::ParameterAlreadyDeclaredException);
}

using CallbackTest = NodeParametersTest;

TEST_F(CallbackTest, RunsDuringDeclareWithTheInitialValue)
{
  std::vector<Parameter> seen;
  auto handle =
      params.add_on_set_parameters_callback([&seen](const std::vector<Parameter> & parameters) {
        seen.insert(seen.end(), parameters.begin(), parameters.end());
        return accept();
      });
  params.declare_parameter("overridden", ParameterValue(1));
  params.declare_parameter("other", ParameterValue(true));
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], Parameter("overridden", 5));
  EXPECT_EQ(seen[1], Parameter("other", true));
}

TEST_F(CallbackTest, NotRunForAnUninitialisedDeclaration)
{
  int calls = 0;
  auto handle = params.add_on_set_parameters_callback([&calls](const std::vector<Parameter> &) {
    ++calls;
    return accept();
  });
  params.declare_parameter("typed", rclcpp::PARAMETER_DOUBLE);
  EXPECT_EQ(calls, 0);
}

TEST_F(CallbackTest, RejectionMakesDeclareThrowAndLeavesNothingDeclared)
{
  auto handle = params.add_on_set_parameters_callback(
      [](const std::vector<Parameter> &) { return reject("not today"); });
  try {
    params.declare_parameter("p", ParameterValue(1));
    FAIL() << "no exception";
  } catch (const rclcpp::exceptions::InvalidParameterValueException & e) {
    EXPECT_STREQ(e.what(), "parameter 'p' could not be set: not today");
  }
  EXPECT_FALSE(params.has_parameter("p"));
}

TEST_F(CallbackTest, NewestRunsFirstAndTheFirstRejectionStops)
{
  std::vector<int> order;
  auto first = params.add_on_set_parameters_callback([&order](const std::vector<Parameter> &) {
    order.push_back(1);
    return accept();
  });
  auto second =
      params.add_on_set_parameters_callback([&order](const std::vector<Parameter> & parameters) {
        order.push_back(2);
        return parameters.at(0).get_name() == "vetoed" ? reject("vetoed") : accept();
      });
  params.declare_parameter("p", ParameterValue(1));
  EXPECT_EQ(order, (std::vector<int>{2, 1}));

  order.clear();
  EXPECT_THROW(
      params.declare_parameter("vetoed", ParameterValue(1)),
      rclcpp::exceptions::InvalidParameterValueException);
  EXPECT_EQ(order, std::vector<int>{2});
}

TEST_F(CallbackTest, ReleasingTheHandleUnregisters)
{
  int calls = 0;
  auto handle = params.add_on_set_parameters_callback([&calls](const std::vector<Parameter> &) {
    ++calls;
    return reject("no");
  });
  EXPECT_THROW(
      params.declare_parameter("p", ParameterValue(1)),
      rclcpp::exceptions::InvalidParameterValueException);
  EXPECT_EQ(calls, 1);
  handle.reset();
  params.declare_parameter("p", ParameterValue(1));
  EXPECT_TRUE(set(params, Parameter("p", 2)).successful);
  EXPECT_EQ(calls, 1);
}

TEST_F(CallbackTest, ExplicitRemoval)
{
  int calls = 0;
  auto handle = params.add_on_set_parameters_callback([&calls](const std::vector<Parameter> &) {
    ++calls;
    return accept();
  });
  params.remove_on_set_parameters_callback(handle.get());
  params.declare_parameter("p", ParameterValue(1));
  EXPECT_EQ(calls, 0);
  EXPECT_THROW(params.remove_on_set_parameters_callback(handle.get()), std::runtime_error);
}

TEST_F(CallbackTest, RunsBeforeTheValueIsStoredAndMayReadParameters)
{
  params.declare_parameter("speed", ParameterValue(1.0));
  params.declare_parameter("limit", ParameterValue(2.0));
  std::vector<double> old_values;
  auto handle = params.add_on_set_parameters_callback(
      [this, &old_values](const std::vector<Parameter> & parameters) {
        old_values.push_back(params.get_parameter("speed").as_double());
        const double limit = params.get_parameter("limit").as_double();
        for (const auto & p : parameters) {
          if (p.get_name() == "speed" && p.as_double() > limit) {
            return reject("too fast");
          }
        }
        return accept();
      });
  EXPECT_TRUE(set(params, Parameter("speed", 1.5)).successful);
  const auto result = set(params, Parameter("speed", 3.0));
  EXPECT_FALSE(result.successful);
  EXPECT_EQ(result.reason, "too fast");
  EXPECT_DOUBLE_EQ(params.get_parameter("speed").as_double(), 1.5);
  EXPECT_EQ(old_values, (std::vector<double>{1.0, 1.5}));
}

TEST_F(CallbackTest, SeesDeclarationsMadeAfterItsRegistration)
{
  std::vector<std::string> names;
  auto handle =
      params.add_on_set_parameters_callback([&names](const std::vector<Parameter> & parameters) {
        for (const auto & p : parameters) {
          names.push_back(p.get_name());
        }
        return accept();
      });
  params.declare_parameter("layer_a.enabled", ParameterValue(true));
  params.declare_parameter("layer_b.enabled", ParameterValue(false));
  EXPECT_EQ(names, (std::vector<std::string>{"layer_a.enabled", "layer_b.enabled"}));
}

TEST_F(CallbackTest, ModifyingFromACallbackThrows)
{
  params.declare_parameter("a", ParameterValue(1));
  params.declare_parameter("b", ParameterValue(1));
  auto handle =
      params.add_on_set_parameters_callback([this](const std::vector<Parameter> & parameters) {
        if (parameters.at(0).get_name() == "a") {
          params.set_parameters({Parameter("b", 2)});
        }
        return accept();
      });
  EXPECT_THROW(
      set(params, Parameter("a", 2)), rclcpp::exceptions::ParameterModifiedInCallbackException);
  EXPECT_EQ(params.get_parameter("a").as_int(), 1);
  EXPECT_EQ(params.get_parameter("b").as_int(), 1);
  // The store is usable again afterwards.
  EXPECT_TRUE(set(params, Parameter("b", 3)).successful);
  EXPECT_EQ(params.get_parameter("b").as_int(), 3);
}

using SetTest = NodeParametersTest;

TEST_F(SetTest, UndeclaredThrowsUnlessAllowed)
{
  EXPECT_THROW(
      set(params, Parameter("nope", 1)), rclcpp::exceptions::ParameterNotDeclaredException);
  EXPECT_THROW(params.get_parameter("nope"), rclcpp::exceptions::ParameterNotDeclaredException);
  Parameter out;
  EXPECT_FALSE(params.get_parameter("nope", out));

  NodeParameters open("/n", {}, true, false);
  EXPECT_EQ(open.get_parameter("nope").get_type(), rclcpp::PARAMETER_NOT_SET);
  EXPECT_TRUE(set(open, Parameter("nope", 1)).successful);
  EXPECT_TRUE(open.has_parameter("nope"));
  // Implicitly declared parameters are dynamically typed.
  EXPECT_TRUE(set(open, Parameter("nope", "x")).successful);
  EXPECT_EQ(open.get_parameter("nope").as_string(), "x");
}

TEST_F(SetTest, StaticTypingRejectsAnotherType)
{
  params.declare_parameter("rate", ParameterValue(5.0));
  const auto result = set(params, Parameter("rate", 5));
  EXPECT_FALSE(result.successful);
  EXPECT_EQ(
      result.reason,
      "Wrong parameter type, parameter {rate} is of type {double}, setting it to {integer} is not "
      "allowed.");
  EXPECT_DOUBLE_EQ(params.get_parameter("rate").as_double(), 5.0);
}

TEST_F(SetTest, ReadOnlyCannotBeSetNorUndeclared)
{
  ParameterDescriptor descriptor = dynamic();
  descriptor.read_only = true;
  params.declare_parameter("fixed", ParameterValue(1), descriptor);
  const auto result = set(params, Parameter("fixed", 2));
  EXPECT_FALSE(result.successful);
  EXPECT_EQ(result.reason, "parameter 'fixed' cannot be set because it is read-only");
  EXPECT_EQ(params.get_parameter("fixed").as_int(), 1);
  EXPECT_THROW(
      params.undeclare_parameter("fixed"), rclcpp::exceptions::ParameterImmutableException);
}

TEST_F(SetTest, AtomicSetChangesAllOrNothing)
{
  params.declare_parameter("x", ParameterValue(1));
  params.declare_parameter("y", ParameterValue("a"));
  EXPECT_FALSE(params.set_parameters_atomically({Parameter("x", 2), Parameter("y", 3)}).successful);
  EXPECT_EQ(params.get_parameter("x").as_int(), 1);
  EXPECT_TRUE(
      params.set_parameters_atomically({Parameter("x", 2), Parameter("y", "b")}).successful);
  EXPECT_EQ(params.get_parameter("x").as_int(), 2);
  EXPECT_EQ(params.get_parameter("y").as_string(), "b");
}

TEST_F(SetTest, SetParametersIsOnePerParameter)
{
  params.declare_parameter("x", ParameterValue(1));
  params.declare_parameter("y", ParameterValue("a"));
  const auto results = params.set_parameters({Parameter("x", 2), Parameter("y", 3)});
  ASSERT_EQ(results.size(), 2u);
  EXPECT_TRUE(results[0].successful);
  EXPECT_FALSE(results[1].successful);
  EXPECT_EQ(params.get_parameter("x").as_int(), 2);
}

TEST_F(SetTest, UnsetValueUndeclaresOnlyDynamicParameters)
{
  params.declare_parameter("dyn", ParameterValue(1), dynamic());
  params.declare_parameter("stat", ParameterValue(1));
  EXPECT_TRUE(set(params, Parameter("dyn")).successful);
  EXPECT_FALSE(params.has_parameter("dyn"));
  EXPECT_FALSE(set(params, Parameter("stat")).successful);
  EXPECT_TRUE(params.has_parameter("stat"));
  EXPECT_THROW(
      params.undeclare_parameter("stat"), rclcpp::exceptions::InvalidParameterTypeException);
  EXPECT_THROW(
      params.undeclare_parameter("never"), rclcpp::exceptions::ParameterNotDeclaredException);
}

using QueryTest = NodeParametersTest;

TEST_F(QueryTest, ByPrefixStripsThePrefix)
{
  params.declare_parameter("layer.a", ParameterValue(1));
  params.declare_parameter("layer.b.c", ParameterValue(2));
  params.declare_parameter("layerx", ParameterValue(3));
  params.declare_parameter("layer.typed", rclcpp::PARAMETER_INTEGER);
  std::map<std::string, Parameter> found;
  EXPECT_TRUE(params.get_parameters_by_prefix("layer", found));
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found.at("a").as_int(), 1);
  EXPECT_EQ(found.at("b.c").as_int(), 2);
  EXPECT_EQ(found.at("typed").get_type(), rclcpp::PARAMETER_NOT_SET);
  std::map<std::string, Parameter> none;
  EXPECT_FALSE(params.get_parameters_by_prefix("nothing", none));
}

TEST_F(QueryTest, ListByPrefixAndDepth)
{
  params.declare_parameter("top", ParameterValue(1));
  params.declare_parameter("layer.a", ParameterValue(1));
  params.declare_parameter("layer.deep.b", ParameterValue(1));
  auto all = params.list_parameters({}, 0);
  EXPECT_EQ(all.names, (std::vector<std::string>{"layer.a", "layer.deep.b", "top"}));
  EXPECT_EQ(all.prefixes, (std::vector<std::string>{"layer", "layer.deep"}));
  EXPECT_EQ(params.list_parameters({}, 1).names, std::vector<std::string>{"top"});
  EXPECT_EQ(params.list_parameters({"layer"}, 1).names, std::vector<std::string>{"layer.a"});
  EXPECT_EQ(
      params.list_parameters({"layer"}, 0).names,
      (std::vector<std::string>{"layer.a", "layer.deep.b"}));
}

TEST_F(QueryTest, UndeclaredNamesInBulkQueries)
{
  params.declare_parameter("x", ParameterValue(1));
  EXPECT_THROW(
      params.describe_parameters({"x", "y"}), rclcpp::exceptions::ParameterNotDeclaredException);
  EXPECT_THROW(
      params.get_parameter_types({"y"}), rclcpp::exceptions::ParameterNotDeclaredException);
  EXPECT_THROW(
      params.get_parameters({"x", "y"}), rclcpp::exceptions::ParameterNotDeclaredException);
  const auto got = params.get_parameters({"x"});
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], Parameter("x", 1));
}

// The one-parameter query of a node, over the node's own store.
class NodeDescribeParameterTest : public ::testing::Test
{
protected:
  void SetUp() override { rclcpp::init(0, nullptr); }
  void TearDown() override { rclcpp::shutdown(); }
};

TEST_F(NodeDescribeParameterTest, DeclaredParameterKeepsItsDescriptor)
{
  auto node = std::make_shared<rclcpp::Node>("describer");
  ParameterDescriptor descriptor;
  descriptor.description = "Distance the cost spreads around obstacles";
  descriptor.read_only = true;
  node->declare_parameter("inflation_radius", 0.55, descriptor);
  node->declare_parameter("enabled", true);
  node->declare_parameter("layer.plugin", rclcpp::PARAMETER_STRING);

  const auto radius = node->describe_parameter("inflation_radius");
  EXPECT_EQ(radius.name, "inflation_radius");
  EXPECT_EQ(radius.type, rclcpp::PARAMETER_DOUBLE);
  EXPECT_EQ(radius.description, "Distance the cost spreads around obstacles");
  EXPECT_TRUE(radius.read_only);

  const auto enabled = node->describe_parameter("enabled");
  EXPECT_EQ(enabled.name, "enabled");
  EXPECT_EQ(enabled.type, rclcpp::PARAMETER_BOOL);
  EXPECT_TRUE(enabled.description.empty());
  EXPECT_FALSE(enabled.read_only);

  // Declared by type only: the descriptor carries the declared type while the value is unset.
  const auto plugin = node->describe_parameter("layer.plugin");
  EXPECT_EQ(plugin.name, "layer.plugin");
  EXPECT_EQ(plugin.type, rclcpp::PARAMETER_STRING);
}

TEST_F(NodeDescribeParameterTest, UndeclaredNameThrowsWithTheName)
{
  auto node = std::make_shared<rclcpp::Node>("describer");
  node->declare_parameter("declared", 1);
  try {
    node->describe_parameter("missing");
    FAIL() << "no exception";
  } catch (const rclcpp::exceptions::ParameterNotDeclaredException & e) {
    EXPECT_STREQ(e.what(), "missing");
  }
}

TEST_F(NodeDescribeParameterTest, UndeclaredNameIsDescribedEmptyWhenAllowed)
{
  auto node = std::make_shared<rclcpp::Node>(
      "open_describer", rclcpp::NodeOptions().allow_undeclared_parameters(true));
  const auto descriptor = node->describe_parameter("free");
  EXPECT_EQ(descriptor.name, "free");
  EXPECT_EQ(descriptor.type, rclcpp::PARAMETER_NOT_SET);
  EXPECT_FALSE(descriptor.read_only);
}

// Concurrent declares, sets and reads with a callback counting every change; run under
// ThreadSanitizer to check the locking.
TEST(NodeParametersThreads, ConcurrentUseKeepsEveryChange)
{
  NodeParameters params("/n", {}, false, false);
  std::atomic<int> callback_calls{0};
  auto handle = params.add_on_set_parameters_callback(
      [&callback_calls](const std::vector<Parameter> & parameters) {
        callback_calls += static_cast<int>(parameters.size());
        return accept();
      });
  constexpr int kThreads = 4;
  constexpr int kSets = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&params, t]() {
      const std::string name = "p" + std::to_string(t);
      params.declare_parameter(name, ParameterValue(0));
      for (int i = 1; i <= kSets; ++i) {
        set(params, Parameter(name, i));
        Parameter read;
        params.get_parameter("p" + std::to_string((t + 1) % kThreads), read);
        params.list_parameters({}, 0);
      }
    });
  }
  for (auto & thread : threads) {
    thread.join();
  }
  EXPECT_EQ(callback_calls.load(), kThreads * (kSets + 1));
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(params.get_parameter("p" + std::to_string(t)).as_int(), kSets);
  }
}

}  // namespace
