#ifndef RCLCPP__DETAIL__ROS_ARGUMENTS_HPP_
#define RCLCPP__DETAIL__ROS_ARGUMENTS_HPP_

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "rclcpp/parameter.hpp"

namespace rclcpp {
namespace detail {

/// The ROS part of a command line: remap rules, parameter overrides and log levels.
///
/// ROS arguments sit between "--ros-args" and "--" (or the end); there may be several such
/// blocks. Understood: -r/--remap [node:]from:=to (from may be __ns, __node or __name),
/// -p/--param name:=yaml_value, --params-file FILE, --log-level [logger:=]level,
/// --enable-/--disable-rosout-logs, -stdout-logs, -external-lib-logs (accepted, no effect).
/// Immutable after construction, so one instance can be read from any thread.
class RosArguments
{
public:
  RosArguments() = default;

  /// Parses argv-style arguments without argv[0]. Malformed ROS arguments throw
  /// rclcpp::exceptions::RCLInvalidROSArgsError; an unreadable or invalid params file throws
  /// rclcpp::exceptions::RCLError.
  explicit RosArguments(const std::vector<std::string> & args);

  /// Arguments outside the ROS blocks, in order.
  const std::vector<std::string> & unparsed_arguments() const;

  /// Arguments inside a ROS block that are not ROS arguments (rclcpp::init rejects them with
  /// rclcpp::exceptions::UnknownROSArgsError).
  const std::vector<std::string> & unparsed_ros_arguments() const;

  /// Applies the first matching __node rule to node_name, then the first matching __ns rule
  /// (matched against the remapped name) to node_namespace. Rules without a node prefix match
  /// every node.
  void apply_node_remaps(std::string & node_name, std::string & node_namespace) const;

  /// Applies the first matching topic/service rule to an expanded (absolute) name; returns the
  /// name unchanged when no rule matches. Rule sides are expanded with the node's name and
  /// namespace.
  std::string remap_name(
      const std::string & expanded_name,
      const std::string & node_name,
      const std::string & node_namespace) const;

  /// Overrides for the node with this fully qualified name, in precedence order (later entries
  /// win): params-file entries in file and key order, each file's wildcard and exact node keys as
  /// they appear, then -p values.
  std::vector<rclcpp::Parameter> parameter_overrides(const std::string & node_fqn) const;

  /// --log-level without a logger name (rcutils severity), the last one given.
  std::optional<int> default_log_level() const;

  /// --log-level logger:=level entries (rcutils severities), later ones replacing earlier ones.
  const std::map<std::string, int> & logger_log_levels() const;

  /// Parameter files named with --params-file, in order.
  const std::vector<std::string> & parameter_files() const;

  struct RemapRule
  {
    std::string node_name;  // empty: every node
    std::string match;
    std::string replacement;
  };

  struct ParameterOverride
  {
    std::string node_pattern;  // fully qualified name or wildcard pattern ("/**", "/*/x")
    rclcpp::Parameter parameter;
  };

private:
  std::vector<std::string> unparsed_arguments_;
  std::vector<std::string> unparsed_ros_arguments_;
  std::vector<RemapRule> node_name_rules_;
  std::vector<RemapRule> namespace_rules_;
  std::vector<RemapRule> name_rules_;
  std::vector<ParameterOverride> file_parameters_;
  std::vector<ParameterOverride> cli_parameters_;
  std::vector<std::string> parameter_files_;
  std::optional<int> default_log_level_;
  std::map<std::string, int> logger_log_levels_;
};

}  // namespace detail
}  // namespace rclcpp

#endif  // RCLCPP__DETAIL__ROS_ARGUMENTS_HPP_
