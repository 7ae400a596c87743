// Command-line and params-file rules of the ROS argument parser.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "rclcpp/detail/ros_arguments.hpp"
#include "rclcpp/exceptions.hpp"
#include "rcutils/logging.h"

namespace {

using rclcpp::Parameter;
using rclcpp::ParameterValue;
using rclcpp::detail::RosArguments;
using rclcpp::exceptions::RCLInvalidROSArgsError;

using Overrides = std::map<std::string, ParameterValue>;

// Overrides for a node as NodeParameters merges them (later entries win).
Overrides overrides(const RosArguments & args, const std::string & node_fqn)
{
  Overrides out;
  for (const auto & parameter : args.parameter_overrides(node_fqn)) {
    out[parameter.get_name()] = parameter.get_parameter_value();
  }
  return out;
}

TEST(RosArgumentsBlocks, SplitsRosAndOtherArguments)
{
  const RosArguments args(
      {"input.bag",
       "--ros-args",
       "-p",
       "a:=1",
       "--",
       "--verbose",
       "--ros-args",
       "--ros-args",
       "-p",
       "b:=2",
       "--",
       "--",
       "tail"});
  EXPECT_EQ(
      args.unparsed_arguments(),
      (std::vector<std::string>{"input.bag", "--verbose", "--", "tail"}));
  EXPECT_TRUE(args.unparsed_ros_arguments().empty());
  EXPECT_EQ(overrides(args, "/n"), (Overrides{{"a", ParameterValue(1)}, {"b", ParameterValue(2)}}));
}

TEST(RosArgumentsBlocks, RosBlockRunsToTheEnd)
{
  const RosArguments args({"--ros-args", "-p", "a:=1", "plain"});
  EXPECT_TRUE(args.unparsed_arguments().empty());
  EXPECT_EQ(args.unparsed_ros_arguments(), std::vector<std::string>{"plain"});
}

TEST(RosArgumentsBlocks, UnknownAndIgnoredFlags)
{
  const RosArguments args(
      {"--ros-args",
       "--enable-rosout-logs",
       "--disable-stdout-logs",
       "--enclave",
       "/e",
       "--log-config-file",
       "cfg",
       "--unknown",
       "-x"});
  EXPECT_EQ(args.unparsed_ros_arguments(), (std::vector<std::string>{"--unknown", "-x"}));
}

TEST(RosArgumentsBlocks, FlagsMissingTheirValueAreErrors)
{
  for (const char * flag :
       {"-r", "--remap", "-p", "--param", "--params-file", "--log-level", "--enclave"}) {
    EXPECT_THROW(RosArguments({"--ros-args", flag}), RCLInvalidROSArgsError) << flag;
  }
  // "--" right after a flag is taken as its value, not as the end of the block.
  EXPECT_THROW(RosArguments({"--ros-args", "-r", "--"}), RCLInvalidROSArgsError);
}

TEST(RosArgumentsRemap, NamespaceAndNodeRules)
{
  // The form Navigation2 uses for a node whose name is also its namespace.
  const RosArguments args(
      {"--ros-args",
       "-r",
       "__ns:=/global_semanticmap",
       "--ros-args",
       "-r",
       "global_semanticmap:__node:=global_semanticmap"});
  std::string name = "global_semanticmap";
  std::string ns = "/";
  args.apply_node_remaps(name, ns);
  EXPECT_EQ(name, "global_semanticmap");
  EXPECT_EQ(ns, "/global_semanticmap");
}

TEST(RosArgumentsRemap, NodePrefixLimitsARuleToOneNode)
{
  const RosArguments args(
      {"--ros-args",
       "-r",
       "talker:__node:=speaker",
       "-r",
       "speaker:__ns:=/loud",
       "-r",
       "talker:__ns:=/never"});
  std::string name = "talker";
  std::string ns = "/";
  args.apply_node_remaps(name, ns);
  // The namespace rules are matched against the already remapped name.
  EXPECT_EQ(name, "speaker");
  EXPECT_EQ(ns, "/loud");

  std::string other = "listener";
  std::string other_ns = "/x";
  args.apply_node_remaps(other, other_ns);
  EXPECT_EQ(other, "listener");
  EXPECT_EQ(other_ns, "/x");
}

TEST(RosArgumentsRemap, FirstMatchingRuleWinsAndNameAliasesNode)
{
  const RosArguments args(
      {"--ros-args",
       "-r",
       "__name:=first",
       "-r",
       "__node:=second",
       "-r",
       "__ns:=/a",
       "-r",
       "__ns:=/b"});
  std::string name = "n";
  std::string ns = "/";
  args.apply_node_remaps(name, ns);
  EXPECT_EQ(name, "first");
  EXPECT_EQ(ns, "/a");
}

TEST(RosArgumentsRemap, NodeOwnArgumentsBeforeGlobalOnes)
{
  const RosArguments global({"--ros-args", "-r", "__ns:=/global", "-r", "__node:=g"});
  const RosArguments local({"--ros-args", "-r", "__ns:=/local"});
  std::string name = "n";
  std::string ns = "/";
  RosArguments::apply_node_remaps({&local, &global}, name, ns);
  EXPECT_EQ(name, "g");
  EXPECT_EQ(ns, "/local");
  EXPECT_EQ(RosArguments::remap_name({&local, &global}, "/ns/chatter", "n", "/ns"), "/ns/chatter");
}

TEST(RosArgumentsRemap, TopicRulesMatchExpandedNames)
{
  const RosArguments args(
      {"--ros-args",
       "-r",
       "chatter:=talk",
       "-r",
       "/tf:=/robot/tf",
       "-r",
       "~/out:=/private_out",
       "-r",
       "only_me:scan:=scan_filtered",
       "-r",
       "rel:=~/priv"});
  EXPECT_EQ(args.remap_name("/ns/chatter", "n", "/ns"), "/ns/talk");
  // A relative rule follows the node's namespace, so it misses a name in another one.
  EXPECT_EQ(args.remap_name("/chatter", "n", "/ns"), "/chatter");
  EXPECT_EQ(args.remap_name("/chatter", "n", "/"), "/talk");
  EXPECT_EQ(args.remap_name("/tf", "n", "/ns"), "/robot/tf");
  EXPECT_EQ(args.remap_name("/ns/n/out", "n", "/ns"), "/private_out");
  EXPECT_EQ(args.remap_name("/ns/scan", "only_me", "/ns"), "/ns/scan_filtered");
  EXPECT_EQ(args.remap_name("/ns/scan", "someone_else", "/ns"), "/ns/scan");
  EXPECT_EQ(args.remap_name("/ns/rel", "n", "/ns"), "/ns/n/priv");
  EXPECT_EQ(args.remap_name("/unrelated", "n", "/ns"), "/unrelated");
}

TEST(RosArgumentsRemap, MalformedRulesAreErrors)
{
  for (const char * rule :
       {"nothing",
        "a:=",
        ":=b",
        "__ns:=relative",
        "__ns:=/trailing/",
        "__node:=bad/name",
        "bad name:=x",
        "a:=b:c",
        "1node:__node:=x",
        "a//b:=c"}) {
    EXPECT_THROW(RosArguments({"--ros-args", "-r", rule}), RCLInvalidROSArgsError) << rule;
  }
}

TEST(RosArgumentsRemap, DeprecatedFormOutsideTheRosBlock)
{
  const RosArguments args({"__ns:=/old_style", "not_a_rule"});
  EXPECT_EQ(args.unparsed_arguments(), std::vector<std::string>{"not_a_rule"});
  std::string name = "n";
  std::string ns = "/";
  args.apply_node_remaps(name, ns);
  EXPECT_EQ(ns, "/old_style");
}

TEST(RosArgumentsParam, YamlTypingOfValues)
{
  const RosArguments args(
      {"--ros-args",
       "-p",
       "b:=true",
       "-p",
       "y:=yes",
       "-p",
       "off:=Off",
       "-p",
       "i:=42",
       "-p",
       "neg:=-7",
       "-p",
       "hex:=0x10",
       "-p",
       "d:=1.5",
       "-p",
       "e:=1e3",
       "-p",
       "inf:=-.inf",
       "-p",
       "s:=hello",
       "-p",
       "quoted:='42'",
       "-p",
       "dq:=\"true\"",
       "-p",
       "ints:=[1, 2, 3]",
       "-p",
       "reals:=[1.0, 2.5]",
       "-p",
       "strs:=[a, 'b']",
       "-p",
       "bools:=[true, false]",
       "-p",
       "layer.sub.param:=3"});
  const auto o = overrides(args, "/any/node");
  EXPECT_EQ(o.at("b"), ParameterValue(true));
  EXPECT_EQ(o.at("y"), ParameterValue(true));
  EXPECT_EQ(o.at("off"), ParameterValue(false));
  EXPECT_EQ(o.at("i"), ParameterValue(42));
  EXPECT_EQ(o.at("neg"), ParameterValue(-7));
  EXPECT_EQ(o.at("hex"), ParameterValue(16));
  EXPECT_EQ(o.at("d"), ParameterValue(1.5));
  EXPECT_EQ(o.at("e"), ParameterValue(1000.0));
  EXPECT_EQ(o.at("inf"), ParameterValue(-std::numeric_limits<double>::infinity()));
  EXPECT_EQ(o.at("s"), ParameterValue("hello"));
  EXPECT_EQ(o.at("quoted"), ParameterValue("42"));
  EXPECT_EQ(o.at("dq"), ParameterValue("true"));
  EXPECT_EQ(o.at("ints"), ParameterValue(std::vector<int64_t>{1, 2, 3}));
  EXPECT_EQ(o.at("reals"), ParameterValue(std::vector<double>{1.0, 2.5}));
  EXPECT_EQ(o.at("strs"), ParameterValue(std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(o.at("bools"), ParameterValue(std::vector<bool>{true, false}));
  EXPECT_EQ(o.at("layer.sub.param"), ParameterValue(3));
}

TEST(RosArgumentsParam, LaterValueReplacesEarlierOne)
{
  const RosArguments args({"--ros-args", "-p", "a:=1", "-p", "a:=two"});
  EXPECT_EQ(overrides(args, "/n"), (Overrides{{"a", ParameterValue("two")}}));
}

TEST(RosArgumentsParam, NodePrefixMatchesANodeInTheRootNamespace)
{
  const RosArguments args({"--ros-args", "-p", "talker:rate:=5", "-p", "all:=1"});
  EXPECT_EQ(
      overrides(args, "/talker"),
      (Overrides{{"rate", ParameterValue(5)}, {"all", ParameterValue(1)}}));
  EXPECT_EQ(overrides(args, "/ns/talker"), (Overrides{{"all", ParameterValue(1)}}));
  EXPECT_EQ(overrides(args, "/listener"), (Overrides{{"all", ParameterValue(1)}}));
}

TEST(RosArgumentsParam, MalformedRulesAreErrors)
{
  for (const char * rule :
       {"novalue",
        "a:=",
        ":=1",
        "a b:=1",
        "a:=[1, x]",
        "a:=[[1]]",
        "a:={b: 1}",
        "a:=[1",
        "bad node:a:=1"}) {
    EXPECT_THROW(RosArguments({"--ros-args", "-p", rule}), RCLInvalidROSArgsError) << rule;
  }
}

class RosArgumentsParamsFile : public ::testing::Test
{
protected:
  void SetUp() override
  {
    char pattern[] = "/tmp/ros_arguments_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }

  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string write(const std::string & name, const std::string & content)
  {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path) << content;
    return path;
  }

  std::string dir_;
};

TEST_F(RosArgumentsParamsFile, NodeKeysWildcardsAndNesting)
{
  const std::string file = write(
      "params.yaml",
      "/**:\n"
      "  ros__parameters:\n"
      "    common: 1\n"
      "    shared: from_wildcard\n"
      "global_semanticmap:\n"
      "  global_semanticmap:\n"
      "    ros__parameters:\n"
      "      shared: from_nested_key\n"
      "      obstacle_layer:\n"
      "        enabled: true\n"
      "        observation_sources: [scan, cloud]\n"
      "/other/node:\n"
      "  ros__parameters:\n"
      "    x: 2\n"
      "\"*\":\n"
      "  ros__parameters:\n"
      "    root_star: 3\n"
      "/ns/*:\n"
      "  ros__parameters:\n"
      "    ns_star: 4\n"
      "/robot:\n"
      "  lidar:\n"
      "    ros__parameters:\n"
      "      range: 10\n"
      "/**/deep:\n"
      "  ros__parameters:\n"
      "    any_depth: 5\n");
  const RosArguments args({"--ros-args", "--params-file", file});
  EXPECT_EQ(args.parameter_files(), std::vector<std::string>{file});

  EXPECT_EQ(
      overrides(args, "/global_semanticmap/global_semanticmap"),
      (Overrides{
          {"common", ParameterValue(1)},
          {"shared", ParameterValue("from_nested_key")},
          {"obstacle_layer.enabled", ParameterValue(true)},
          {"obstacle_layer.observation_sources",
           ParameterValue(std::vector<std::string>{"scan", "cloud"})}}));
  EXPECT_EQ(
      overrides(args, "/other/node"),
      (Overrides{
          {"common", ParameterValue(1)},
          {"shared", ParameterValue("from_wildcard")},
          {"x", ParameterValue(2)}}));
  EXPECT_EQ(
      overrides(args, "/node"),
      (Overrides{
          {"common", ParameterValue(1)},
          {"shared", ParameterValue("from_wildcard")},
          {"root_star", ParameterValue(3)}}));
  EXPECT_EQ(
      overrides(args, "/ns/node"),
      (Overrides{
          {"common", ParameterValue(1)},
          {"shared", ParameterValue("from_wildcard")},
          {"ns_star", ParameterValue(4)}}));
  EXPECT_EQ(overrides(args, "/robot/lidar").at("range"), ParameterValue(10));
  EXPECT_EQ(overrides(args, "/a/b/deep").count("any_depth"), 1u);
  EXPECT_EQ(overrides(args, "/deep").count("any_depth"), 1u);
  EXPECT_EQ(overrides(args, "/a/b/deeper").count("any_depth"), 0u);
}

TEST_F(RosArgumentsParamsFile, CommandLineValueAfterTheFileWins)
{
  const std::string file = write(
      "params.yaml",
      "/**:\n"
      "  ros__parameters:\n"
      "    rate: 1.0\n"
      "    name: file\n");
  const RosArguments args({"--ros-args", "--params-file", file, "-p", "rate:=2.0"});
  EXPECT_EQ(
      overrides(args, "/n"),
      (Overrides{{"rate", ParameterValue(2.0)}, {"name", ParameterValue("file")}}));
  // Same key, so the later assignment wins whichever comes first.
  const RosArguments reversed({"--ros-args", "-p", "rate:=2.0", "--params-file", file});
  EXPECT_EQ(overrides(reversed, "/n").at("rate"), ParameterValue(1.0));
}

TEST_F(RosArgumentsParamsFile, PrecedenceFollowsFirstAppearanceOfEachNodeKey)
{
  const std::string file = write(
      "params.yaml",
      "/**:\n"
      "  ros__parameters:\n"
      "    rate: 1\n"
      "/n:\n"
      "  ros__parameters:\n"
      "    rate: 2\n");
  // -p writes into the "/**" key, which appeared before "/n": the node key still wins.
  const RosArguments args({"--ros-args", "--params-file", file, "-p", "rate:=3"});
  EXPECT_EQ(overrides(args, "/n").at("rate"), ParameterValue(2));
  EXPECT_EQ(overrides(args, "/other").at("rate"), ParameterValue(3));
}

TEST_F(RosArgumentsParamsFile, LaterFileOverridesEarlierOne)
{
  const std::string first = write("a.yaml", "/n:\n  ros__parameters:\n    v: 1\n    w: 1\n");
  const std::string second = write("b.yaml", "/n:\n  ros__parameters:\n    v: 2\n");
  const RosArguments args({"--ros-args", "--params-file", first, "--params-file", second});
  EXPECT_EQ(overrides(args, "/n"), (Overrides{{"v", ParameterValue(2)}, {"w", ParameterValue(1)}}));
  EXPECT_EQ(args.parameter_files(), (std::vector<std::string>{first, second}));
}

TEST_F(RosArgumentsParamsFile, EmptyListFailsOnlyForMatchingNodes)
{
  const std::string file = write("empty.yaml", "/n:\n  ros__parameters:\n    list: []\n");
  const RosArguments args({"--ros-args", "--params-file", file});
  EXPECT_THROW(args.parameter_overrides("/n"), rclcpp::exceptions::InvalidParameterValueException);
  EXPECT_TRUE(args.parameter_overrides("/m").empty());
}

TEST_F(RosArgumentsParamsFile, MalformedFilesAreErrors)
{
  const std::vector<std::string> bad = {
      "/n:\n  ros__parameters:\n    a: [1, x\n",      // YAML syntax
      "/n:\n  value_before_params: 1\n",              // value at node level
      "ros__parameters:\n  a: 1\n",                   // no node name
      "/n:\n  ros__parameters:\n    a: [1, true]\n",  // mixed list
      "/n:\n  ros__parameters:\n    a: [[1]]\n",      // nested list
      "/n:\n  ros__parameters:\n    a:\n",            // no value
      "/n:\n  ros__parameters: 3\n",                  // parameters not a map
      "- /n\n",                                       // not a map at all
      "/n:\n  ros__parameters:\n    [a]: 1\n",        // key that is no name
  };
  for (size_t i = 0; i < bad.size(); ++i) {
    const std::string file = write("bad" + std::to_string(i) + ".yaml", bad[i]);
    EXPECT_THROW(RosArguments({"--ros-args", "--params-file", file}), RCLInvalidROSArgsError)
        << bad[i];
  }
  EXPECT_THROW(
      RosArguments({"--ros-args", "--params-file", dir_ + "/missing.yaml"}),
      RCLInvalidROSArgsError);
}

TEST(RosArgumentsLogLevel, DefaultAndNamedLevels)
{
  const RosArguments args(
      {"--ros-args",
       "--log-level",
       "debug",
       "--log-level",
       "rclcpp:=WARN",
       "--log-level",
       "nav2.costmap:=error",
       "--log-level",
       "info"});
  ASSERT_TRUE(args.default_log_level().has_value());
  EXPECT_EQ(*args.default_log_level(), RCUTILS_LOG_SEVERITY_INFO);
  EXPECT_EQ(
      args.logger_log_levels(),
      (std::map<std::string, int>{
          {"rclcpp", RCUTILS_LOG_SEVERITY_WARN}, {"nav2.costmap", RCUTILS_LOG_SEVERITY_ERROR}}));
  EXPECT_FALSE(RosArguments({"--ros-args"}).default_log_level().has_value());
}

TEST(RosArgumentsLogLevel, InvalidLevelsAreErrors)
{
  for (const char * value : {"loud", ":=debug", "rclcpp:=loud"}) {
    EXPECT_THROW(RosArguments({"--ros-args", "--log-level", value}), RCLInvalidROSArgsError)
        << value;
  }
}

}  // namespace
