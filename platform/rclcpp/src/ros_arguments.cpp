#include "rclcpp/detail/ros_arguments.hpp"

#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "rclcpp/exceptions/exceptions.hpp"
#include "rcutils/allocator.h"
#include "rcutils/error_handling.h"
#include "rcutils/logging.h"
#include "rcutils/logging_macros.h"

namespace rclcpp {
namespace detail {

namespace {

constexpr int32_t kRetInvalidRosArgs = 1003;  // RCL_RET_INVALID_ROS_ARGS
constexpr char kParamsKey[] = "ros__parameters";

[[noreturn]] void fail(const std::string & message)
{
  rcutils_error_state_t state{};
  std::strncpy(state.message, message.c_str(), sizeof(state.message) - 1);
  std::strncpy(state.file, __FILE__, sizeof(state.file) - 1);
  state.line_number = __LINE__;
  throw rclcpp::exceptions::RCLInvalidROSArgsError(
      kRetInvalidRosArgs, &state, "failed to parse ROS arguments: ");
}

// Thrown inside the parsers; the caller adds which argument was bad.
struct RuleError
{
  std::string what;
};

bool starts_with(const std::string & s, const std::string & prefix)
{
  return s.compare(0, prefix.size(), prefix) == 0;
}

bool is_token(const std::string & s)
{
  if (s.empty() || (s[0] >= '0' && s[0] <= '9')) {
    return false;
  }
  for (char c : s) {
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) {
      return false;
    }
  }
  return true;
}

bool is_substitution(const std::string & s)
{
  return s.size() > 2 && s.front() == '{' && s.back() == '}' && is_token(s.substr(1, s.size() - 2));
}

// Tokens (or substitutions) separated by single slashes.
bool is_token_path(const std::string & s)
{
  size_t begin = 0;
  while (true) {
    const size_t end = s.find('/', begin);
    const std::string part = s.substr(begin, end == std::string::npos ? end : end - begin);
    if (!is_token(part) && !is_substitution(part)) {
      return false;
    }
    if (end == std::string::npos) {
      return true;
    }
    begin = end + 1;
  }
}

// A topic or service name as remap rules accept it: "~", "~/a/b", "/a/b" or "a/b".
bool is_remap_name(const std::string & s)
{
  if (s == "~") {
    return true;
  }
  if (starts_with(s, "~/")) {
    return is_token_path(s.substr(2));
  }
  if (starts_with(s, "/")) {
    return is_token_path(s.substr(1));
  }
  return is_token_path(s);
}

std::string strip_scheme(const std::string & s)
{
  for (const char * scheme : {"rostopic://", "rosservice://"}) {
    if (starts_with(s, scheme)) {
      return s.substr(std::strlen(scheme));
    }
  }
  return s;
}

void replace_all(std::string & s, const std::string & from, const std::string & to)
{
  size_t pos = 0;
  while ((pos = s.find(from, pos)) != std::string::npos) {
    s.replace(pos, from.size(), to);
    pos += to.size();
  }
}

// Expands a name the way rcl expands topic names: "~" is the node's private namespace,
// {node}/{ns}/{namespace} are substituted and relative names go into the node's namespace.
std::string expand(
    const std::string & name, const std::string & node_name, const std::string & node_namespace)
{
  const std::string ns_prefix = node_namespace == "/" ? "/" : node_namespace + "/";
  std::string out = name;
  if (out == "~") {
    out = ns_prefix + node_name;
  } else if (starts_with(out, "~/")) {
    out = ns_prefix + node_name + out.substr(1);
  }
  replace_all(out, "{node}", node_name);
  replace_all(out, "{namespace}", node_namespace);
  replace_all(out, "{ns}", node_namespace);
  if (!starts_with(out, "/")) {
    out = ns_prefix + out;
  }
  return out;
}

// Typing of a YAML scalar as rcl's parameter parser does it: only plain scalars can be bools
// (YAML 1.1 words), integers (strtol, base prefixes allowed) or doubles (strtod, .inf/.nan);
// everything else is a string.
rclcpp::ParameterValue scalar_value(const std::string & value, bool quoted)
{
  if (!quoted) {
    for (const char * word :
         {"Y", "y", "yes", "Yes", "YES", "true", "True", "TRUE", "on", "On", "ON"}) {
      if (value == word) {
        return rclcpp::ParameterValue(true);
      }
    }
    for (const char * word :
         {"N", "n", "no", "No", "NO", "false", "False", "FALSE", "off", "Off", "OFF"}) {
      if (value == word) {
        return rclcpp::ParameterValue(false);
      }
    }
    const char * begin = value.c_str();
    char * end = nullptr;
    errno = 0;
    const long long integer = std::strtoll(begin, &end, 0);  // NOLINT(runtime/int)
    if (errno == 0 && end != begin && *begin != '\0' && *end == '\0') {
      return rclcpp::ParameterValue(static_cast<int64_t>(integer));
    }
    static const std::vector<std::string> special = {
        ".nan",
        ".NaN",
        ".NAN",
        ".inf",
        ".Inf",
        ".INF",
        "+.inf",
        "+.Inf",
        "+.INF",
        "-.inf",
        "-.Inf",
        "-.INF"};
    errno = 0;
    end = nullptr;
    double real = 0.0;
    bool parsed = false;
    for (const auto & word : special) {
      if (value == word) {
        const size_t letters = value.find_first_not_of("+-.");
        real = std::strtod(value.c_str() + letters, nullptr);
        real = value[0] == '-' ? -real : real;
        parsed = true;
      }
    }
    if (!parsed) {
      real = std::strtod(begin, &end);
      parsed = errno == 0 && end != begin && *begin != '\0' && *end == '\0';
    }
    if (parsed) {
      return rclcpp::ParameterValue(real);
    }
  }
  return rclcpp::ParameterValue(value);
}

std::string line_of(const YAML::Node & node) { return std::to_string(node.Mark().line + 1); }

// Converts a YAML scalar or flow/block list of scalars. An empty list gives a value of type
// "not set", which rclcpp rejects once a node picks it up.
rclcpp::ParameterValue yaml_value(const YAML::Node & node)
{
  if (node.IsNull()) {
    throw RuleError{"No value at line " + line_of(node)};
  }
  if (node.IsScalar()) {
    // yaml-cpp tags quoted scalars "!" and plain ones "?".
    return scalar_value(node.Scalar(), node.Tag() == "!");
  }
  if (node.IsMap()) {
    throw RuleError{"Unexpected map at line " + line_of(node)};
  }
  std::vector<rclcpp::ParameterValue> items;
  for (const auto & item : node) {
    if (!item.IsScalar()) {
      throw RuleError{"Sequences can only hold scalars, error at line " + line_of(item)};
    }
    items.push_back(scalar_value(item.Scalar(), item.Tag() == "!"));
    if (items.back().get_type() != items.front().get_type()) {
      throw RuleError{
          "Sequence should be of same type. Value type '" +
          rclcpp::to_string(items.back().get_type()) + "' do not belong at line_num " +
          line_of(item)};
    }
  }
  if (items.empty()) {
    return rclcpp::ParameterValue();
  }
  switch (items.front().get_type()) {
    case rclcpp::PARAMETER_BOOL: {
      std::vector<bool> values;
      for (const auto & item : items) {
        values.push_back(item.get<bool>());
      }
      return rclcpp::ParameterValue(values);
    }
    case rclcpp::PARAMETER_INTEGER: {
      std::vector<int64_t> values;
      for (const auto & item : items) {
        values.push_back(item.get<int64_t>());
      }
      return rclcpp::ParameterValue(values);
    }
    case rclcpp::PARAMETER_DOUBLE: {
      std::vector<double> values;
      for (const auto & item : items) {
        values.push_back(item.get<double>());
      }
      return rclcpp::ParameterValue(values);
    }
    default: {
      std::vector<std::string> values;
      for (const auto & item : items) {
        values.push_back(item.get<std::string>());
      }
      return rclcpp::ParameterValue(values);
    }
  }
}

bool is_param_name(const std::string & name)
{
  size_t begin = 0;
  while (true) {
    const size_t end = name.find_first_of("./", begin);
    const std::string part = name.substr(begin, end == std::string::npos ? end : end - begin);
    if (part.empty() ||
        part.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_") !=
            std::string::npos) {
      return false;
    }
    if (end == std::string::npos) {
      return true;
    }
    begin = end + 1;
  }
}

// Node key pattern of a params file or -p rule as a regular expression, as rclcpp builds it:
// a leading slash is added, "/*" matches one name and "/**" any number of names.
std::optional<std::regex> node_key_regex(const std::string & node_key)
{
  std::string pattern = starts_with(node_key, "/") ? node_key : "/" + node_key;
  replace_all(pattern, "/*", "(/\\w+)");
  try {
    return std::regex(pattern);
  } catch (const std::regex_error &) {
    return std::nullopt;
  }
}

}  // namespace

RosArguments::RosArguments(const std::vector<std::string> & args)
{
  bool parsing_ros_args = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string & arg = args[i];
    if (!parsing_ros_args) {
      if (arg == "--ros-args") {
        parsing_ros_args = true;
      } else if (parse_remap_rule(arg)) {
        RCUTILS_LOG_WARN_NAMED(
            "rcl",
            "Found remap rule '%s'. This syntax is deprecated. Use '--ros-args --remap %s' "
            "instead.",
            arg.c_str(),
            arg.c_str());
      } else {
        unparsed_arguments_.push_back(arg);
      }
      continue;
    }
    if (arg == "--ros-args") {
      continue;
    }
    if (arg == "--") {
      parsing_ros_args = false;
      continue;
    }
    const bool has_value = i + 1 < args.size();
    const std::string value = has_value ? args[i + 1] : std::string();
    if (arg == "-p" || arg == "--param") {
      if (!has_value) {
        fail("Couldn't parse trailing " + arg + " flag. No parameter override rule found.");
      }
      try {
        parse_param_rule(value);
      } catch (const RuleError & e) {
        fail(
            "Couldn't parse parameter override rule: '" + arg + " " + value +
            "'. Error: " + e.what);
      }
      ++i;
    } else if (arg == "-r" || arg == "--remap") {
      if (!has_value) {
        fail("Couldn't parse trailing " + arg + " flag. No remap rule found.");
      }
      if (!parse_remap_rule(value)) {
        fail("Couldn't parse remap rule: '" + arg + " " + value + "'.");
      }
      ++i;
    } else if (arg == "--params-file") {
      if (!has_value) {
        fail("Couldn't parse trailing " + arg + " flag. No file path provided.");
      }
      try {
        parse_params_file(value);
      } catch (const RuleError & e) {
        fail("Couldn't parse params file: '" + arg + " " + value + "'. Error: " + e.what);
      }
      ++i;
    } else if (arg == "--log-level") {
      if (!has_value) {
        fail("Couldn't parse trailing log level flag: '" + arg + "'. No log level provided.");
      }
      try {
        parse_log_level(value);
      } catch (const RuleError & e) {
        fail("Couldn't parse log level: '" + arg + " " + value + "'. Error: " + e.what);
      }
      ++i;
    } else if (
        arg == "-e" || arg == "--enclave" || arg == "--log-config-file" ||
        arg == "--log-file-name") {
      if (!has_value) {
        fail("Couldn't parse trailing " + arg + " flag. No value provided.");
      }
      ++i;
    } else if (
        arg == "--enable-rosout-logs" || arg == "--disable-rosout-logs" ||
        arg == "--enable-stdout-logs" || arg == "--disable-stdout-logs" ||
        arg == "--enable-external-lib-logs" || arg == "--disable-external-lib-logs") {
      continue;
    } else {
      unparsed_ros_arguments_.push_back(arg);
    }
  }
}

bool RosArguments::parse_remap_rule(const std::string & rule)
{
  const size_t separator = rule.find(":=");
  if (separator == std::string::npos) {
    return false;
  }
  RemapRule out;
  std::string match = rule.substr(0, separator);
  out.replacement = rule.substr(separator + 2);
  const size_t colon = match.find(':');
  if (colon != std::string::npos && match.compare(colon, 3, "://") != 0) {
    out.node_name = match.substr(0, colon);
    match = match.substr(colon + 1);
    if (!is_token(out.node_name)) {
      return false;
    }
  }
  if (match.empty() || out.replacement.empty() || out.replacement.find(':') != std::string::npos) {
    return false;
  }
  if (match == "__ns") {
    out.type = RuleType::Namespace;
    if (out.replacement != "/" &&
        !(starts_with(out.replacement, "/") && is_token_path(out.replacement.substr(1)))) {
      return false;
    }
  } else if (match == "__node" || match == "__name") {
    out.type = RuleType::NodeName;
    if (!is_token(out.replacement)) {
      return false;
    }
  } else {
    out.type = RuleType::Name;
    out.match = strip_scheme(match);
    if (!is_remap_name(out.match) || !is_remap_name(out.replacement)) {
      return false;
    }
  }
  remap_rules_.push_back(out);
  return true;
}

void RosArguments::parse_param_rule(const std::string & rule)
{
  const size_t separator = rule.find(":=");
  if (separator == std::string::npos) {
    throw RuleError{"missing ':=' separator"};
  }
  std::string name = rule.substr(0, separator);
  std::string node_key = "/**";
  const size_t colon = name.find(':');
  if (colon != std::string::npos) {
    node_key = name.substr(0, colon);
    name = name.substr(colon + 1);
    if (!is_token(node_key)) {
      throw RuleError{"invalid node name '" + node_key + "'"};
    }
  }
  if (!is_param_name(name)) {
    throw RuleError{"invalid parameter name '" + name + "'"};
  }
  YAML::Node value;
  try {
    value = YAML::Load(rule.substr(separator + 2));
  } catch (const YAML::Exception & e) {
    throw RuleError{e.what()};
  }
  set_parameter(node_key, name, yaml_value(value));
}

void RosArguments::parse_params_file(const std::string & path)
{
  YAML::Node root;
  try {
    root = YAML::LoadFile(path);
  } catch (const YAML::Exception & e) {
    throw RuleError{e.what()};
  }
  if (root.IsNull()) {
    parameter_files_.push_back(path);
    return;
  }
  if (!root.IsMap()) {
    throw RuleError{"the top level of a params file must be a map of node names"};
  }

  // Keys down to "ros__parameters" form the node name ("ns: node:" is "ns/node"); below it,
  // nested keys form dotted parameter names.
  std::function<void(const YAML::Node &, const std::string &, const std::string &)> walk_params =
      [&](const YAML::Node & map, const std::string & node_key, const std::string & prefix) {
        for (const auto & item : map) {
          const std::string key = item.first.as<std::string>();
          if (key.empty()) {
            throw RuleError{"No key at line " + line_of(item.first)};
          }
          const std::string name = prefix.empty() ? key : prefix + "." + key;
          if (item.second.IsMap()) {
            if (item.second.size() == 0) {
              set_parameter(node_key, name, rclcpp::ParameterValue());
            }
            walk_params(item.second, node_key, name);
          } else {
            set_parameter(node_key, name, yaml_value(item.second));
          }
        }
      };
  std::function<void(const YAML::Node &, const std::string &)> walk_nodes =
      [&](const YAML::Node & map, const std::string & node_key) {
        for (const auto & item : map) {
          const std::string key = item.first.as<std::string>();
          if (key.empty()) {
            throw RuleError{"No key at line " + line_of(item.first)};
          }
          if (starts_with(key, kParamsKey)) {
            if (node_key.empty()) {
              throw RuleError{
                  std::string("There are no node names before ") + kParamsKey + " at line " +
                  line_of(item.first)};
            }
            if (!item.second.IsMap()) {
              throw RuleError{
                  std::string("Cannot have a value before ") + kParamsKey + " at line " +
                  line_of(item.second)};
            }
            set_parameter(node_key, "", rclcpp::ParameterValue());
            walk_params(item.second, node_key, "");
          } else if (item.second.IsMap()) {
            walk_nodes(item.second, node_key.empty() ? key : node_key + "/" + key);
          } else {
            throw RuleError{
                std::string("Cannot have a value before ") + kParamsKey + " at line " +
                line_of(item.second)};
          }
        }
      };
  try {
    walk_nodes(root, "");
  } catch (const YAML::Exception & e) {
    throw RuleError{e.what()};
  }
  parameter_files_.push_back(path);
}

void RosArguments::parse_log_level(const std::string & value)
{
  std::string logger;
  std::string level = value;
  const size_t separator = value.find(":=");
  if (separator != std::string::npos) {
    logger = value.substr(0, separator);
    level = value.substr(separator + 2);
    if (logger.empty()) {
      throw RuleError{"Argument has an invalid logger item that name is empty"};
    }
  }
  int severity = 0;
  if (rcutils_logging_severity_level_from_string(
          level.c_str(), rcutils_get_default_allocator(), &severity) != RCUTILS_RET_OK) {
    rcutils_reset_error();
    throw RuleError{"unknown log level '" + level + "'"};
  }
  if (logger.empty()) {
    default_log_level_ = severity;
  } else {
    logger_log_levels_[logger] = severity;
  }
}

void RosArguments::set_parameter(
    const std::string & node_key, const std::string & name, const rclcpp::ParameterValue & value)
{
  auto entry = std::find_if(
      parameter_entries_.begin(),
      parameter_entries_.end(),
      [&node_key](const NodeKeyParameters & e) { return e.node_key == node_key; });
  if (entry == parameter_entries_.end()) {
    parameter_entries_.push_back(NodeKeyParameters{node_key, {}});
    entry = std::prev(parameter_entries_.end());
  }
  // An empty name only registers the node key (its position decides precedence).
  if (name.empty()) {
    return;
  }
  auto parameter =
      std::find_if(entry->parameters.begin(), entry->parameters.end(), [&name](const auto & p) {
        return p.first == name;
      });
  if (parameter == entry->parameters.end()) {
    entry->parameters.emplace_back(name, value);
  } else {
    parameter->second = value;
  }
}

const std::vector<std::string> & RosArguments::unparsed_arguments() const
{
  return unparsed_arguments_;
}

const std::vector<std::string> & RosArguments::unparsed_ros_arguments() const
{
  return unparsed_ros_arguments_;
}

const RosArguments::RemapRule * RosArguments::first_match(
    RuleType type,
    const std::string * expanded_name,
    const std::string & node_name,
    const std::string & node_namespace) const
{
  for (const auto & rule : remap_rules_) {
    if (rule.type != type || (!rule.node_name.empty() && rule.node_name != node_name)) {
      continue;
    }
    if (type == RuleType::Name && expand(rule.match, node_name, node_namespace) != *expanded_name) {
      continue;
    }
    return &rule;
  }
  return nullptr;
}

void RosArguments::apply_node_remaps(std::string & node_name, std::string & node_namespace) const
{
  apply_node_remaps({this}, node_name, node_namespace);
}

std::string RosArguments::remap_name(
    const std::string & expanded_name,
    const std::string & node_name,
    const std::string & node_namespace) const
{
  return remap_name({this}, expanded_name, node_name, node_namespace);
}

void RosArguments::apply_node_remaps(
    const std::vector<const RosArguments *> & sources,
    std::string & node_name,
    std::string & node_namespace)
{
  for (const RosArguments * source : sources) {
    if (const RemapRule * rule =
            source->first_match(RuleType::NodeName, nullptr, node_name, node_namespace)) {
      node_name = rule->replacement;
      break;
    }
  }
  // The namespace rules see the remapped node name.
  for (const RosArguments * source : sources) {
    if (const RemapRule * rule =
            source->first_match(RuleType::Namespace, nullptr, node_name, node_namespace)) {
      node_namespace = rule->replacement;
      break;
    }
  }
}

std::string RosArguments::remap_name(
    const std::vector<const RosArguments *> & sources,
    const std::string & expanded_name,
    const std::string & node_name,
    const std::string & node_namespace)
{
  for (const RosArguments * source : sources) {
    if (const RemapRule * rule =
            source->first_match(RuleType::Name, &expanded_name, node_name, node_namespace)) {
      return expand(rule->replacement, node_name, node_namespace);
    }
  }
  return expanded_name;
}

std::vector<rclcpp::Parameter> RosArguments::parameter_overrides(const std::string & node_fqn) const
{
  std::vector<rclcpp::Parameter> result;
  for (const auto & entry : parameter_entries_) {
    const auto regex = node_key_regex(entry.node_key);
    if (!regex || !std::regex_match(node_fqn, *regex)) {
      continue;
    }
    for (const auto & name_value : entry.parameters) {
      if (name_value.second.get_type() == rclcpp::PARAMETER_NOT_SET) {
        throw rclcpp::exceptions::InvalidParameterValueException("No parameter value set");
      }
      auto it =
          std::find_if(result.begin(), result.end(), [&name_value](const rclcpp::Parameter & p) {
            return p.get_name() == name_value.first;
          });
      if (it == result.end()) {
        result.emplace_back(name_value.first, name_value.second);
      } else {
        *it = rclcpp::Parameter(name_value.first, name_value.second);
      }
    }
  }
  return result;
}

std::optional<int> RosArguments::default_log_level() const { return default_log_level_; }

const std::map<std::string, int> & RosArguments::logger_log_levels() const
{
  return logger_log_levels_;
}

const std::vector<std::string> & RosArguments::parameter_files() const { return parameter_files_; }

}  // namespace detail
}  // namespace rclcpp
