#ifndef RCLCPP__DETAIL__ROS_ARGUMENTS_HPP_
#define RCLCPP__DETAIL__ROS_ARGUMENTS_HPP_

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "rclcpp/parameter.hpp"

namespace rclcpp {
namespace detail {

/// The ROS part of a command line: remap rules, parameter overrides and log levels, with the
/// rules of rcl's argument parser and params-file parser.
///
/// ROS arguments sit between "--ros-args" and "--" (or the end); there may be several such
/// blocks. Understood there: -r/--remap [node:]from:=to (from may be __ns, __node or __name),
/// -p/--param [node:]name:=yaml_value, --params-file FILE, --log-level [logger:=]level, and
/// (accepted, no effect) -e/--enclave X, --log-config-file X, --log-file-name X,
/// --enable-/--disable- rosout-logs, stdout-logs, external-lib-logs. Outside the blocks, a valid
/// "from:=to" is still taken as a remap rule (deprecated form, with a warning).
/// Immutable after construction, so one instance can be read from any thread.
class RosArguments
{
public:
  RosArguments() = default;

  /// Parses argv-style arguments without argv[0]. Malformed ROS arguments, and params files that
  /// cannot be read or parsed, throw rclcpp::exceptions::RCLInvalidROSArgsError.
  explicit RosArguments(const std::vector<std::string> & args);

  /// Arguments outside the ROS blocks, in order (without remap rules in the deprecated form).
  const std::vector<std::string> & unparsed_arguments() const;

  /// Arguments inside a ROS block that are not ROS arguments (rclcpp::init rejects them with
  /// rclcpp::exceptions::UnknownROSArgsError).
  const std::vector<std::string> & unparsed_ros_arguments() const;

  /// Applies the first matching __node rule to node_name, then the first __ns rule matching the
  /// remapped name to node_namespace. Rules without a node prefix match every node.
  void apply_node_remaps(std::string & node_name, std::string & node_namespace) const;

  /// Applies the first matching topic/service rule to an expanded (absolute) name; returns the
  /// name unchanged when no rule matches. Both sides of a rule are expanded with the node's name
  /// and namespace ("~", relative names, {node}, {ns}).
  std::string remap_name(
      const std::string & expanded_name,
      const std::string & node_name,
      const std::string & node_namespace) const;

  /// As above over several argument sets: the first set holding a matching rule decides, as rcl
  /// does with a node's own arguments (pass first) and the global ones.
  static void apply_node_remaps(
      const std::vector<const RosArguments *> & sources,
      std::string & node_name,
      std::string & node_namespace);

  static std::string remap_name(
      const std::vector<const RosArguments *> & sources,
      const std::string & expanded_name,
      const std::string & node_name,
      const std::string & node_namespace);

  /// Overrides for the node with this fully qualified name, one per parameter name, later
  /// sources winning as in rclcpp: every node key ("/**", "*", "/ns/*", "/ns/node", nested keys,
  /// -p values under "/**" or "/node") whose pattern matches node_fqn, taken in the order the
  /// keys first appeared on the command line and in the files, a value given again for the same
  /// key replacing the earlier one in place.
  /// Throws rclcpp::exceptions::InvalidParameterValueException ("No parameter value set") for a
  /// matching parameter given only as an empty list, as rclcpp does.
  std::vector<rclcpp::Parameter> parameter_overrides(const std::string & node_fqn) const;

  /// --log-level without a logger name (rcutils severity), the last one given.
  std::optional<int> default_log_level() const;

  /// --log-level logger:=level entries (rcutils severities), later ones replacing earlier ones.
  const std::map<std::string, int> & logger_log_levels() const;

  /// Parameter files named with --params-file, in order.
  const std::vector<std::string> & parameter_files() const;

private:
  enum class RuleType
  {
    Name,
    NodeName,
    Namespace
  };

  struct RemapRule
  {
    RuleType type;
    std::string node_name;  // empty: every node
    std::string match;      // topic/service rules only
    std::string replacement;
  };

  // One node key of the parameter overrides with its parameters in first-appearance order.
  // A value of type "not set" stands for an empty list.
  struct NodeKeyParameters
  {
    std::string node_key;
    std::vector<std::pair<std::string, rclcpp::ParameterValue>> parameters;
  };

  const RemapRule * first_match(
      RuleType type,
      const std::string * expanded_name,
      const std::string & node_name,
      const std::string & node_namespace) const;

  // False when rule is not a valid remap rule.
  bool parse_remap_rule(const std::string & rule);
  void parse_param_rule(const std::string & rule);
  void parse_params_file(const std::string & path);
  void parse_log_level(const std::string & value);
  void set_parameter(
      const std::string & node_key, const std::string & name, const rclcpp::ParameterValue & value);

  std::vector<std::string> unparsed_arguments_;
  std::vector<std::string> unparsed_ros_arguments_;
  std::vector<RemapRule> remap_rules_;
  std::vector<NodeKeyParameters> parameter_entries_;
  std::vector<std::string> parameter_files_;
  std::optional<int> default_log_level_;
  std::map<std::string, int> logger_log_levels_;
};

}  // namespace detail
}  // namespace rclcpp

#endif  // RCLCPP__DETAIL__ROS_ARGUMENTS_HPP_
