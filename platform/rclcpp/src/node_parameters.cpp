#include "rclcpp/node_interfaces/node_parameters.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "rclcpp/exceptions/exceptions.hpp"

namespace rclcpp {
namespace node_interfaces {

namespace {

// rcl_interfaces/srv/ListParameters: a depth of 0 lists at every depth.
constexpr uint64_t kDepthRecursive = 0;

// Marks the node's parameters as being modified; a second modification on the same node while
// the first runs (from an on-set callback) throws. The flag is guarded by the node's mutex.
class ParameterMutationRecursionGuard
{
public:
  explicit ParameterMutationRecursionGuard(bool & allow_modification)
      : allow_modification_(allow_modification)
  {
    if (!allow_modification_) {
      throw rclcpp::exceptions::ParameterModifiedInCallbackException(
          "cannot set or declare a parameter, or change the callback from within set callback");
    }
    allow_modification_ = false;
  }

  ~ParameterMutationRecursionGuard() { allow_modification_ = true; }

  ParameterMutationRecursionGuard(const ParameterMutationRecursionGuard &) = delete;
  ParameterMutationRecursionGuard & operator=(const ParameterMutationRecursionGuard &) = delete;

private:
  bool & allow_modification_;
};

bool doubles_equal(double x, double y, double ulp = 100.0)
{
  return std::abs(x - y) <= std::numeric_limits<double>::epsilon() * std::abs(x + y) * ulp;
}

std::string range_reason(const std::string & name, const char * range_type)
{
  return "Parameter {" + name + "} doesn't comply with " + range_type + " range.";
}

// Checks an integer or double against the descriptor's range (bounds inclusive, step counted
// from the lower bound, step 0 meaning any value).
rcl_interfaces::msg::SetParametersResult check_range(
    const rcl_interfaces::msg::ParameterDescriptor & descriptor,
    const rclcpp::ParameterValue & value)
{
  rcl_interfaces::msg::SetParametersResult result;
  result.successful = true;
  if (!descriptor.integer_range.empty() && value.get_type() == rclcpp::PARAMETER_INTEGER) {
    const int64_t v = value.get<int64_t>();
    const auto & range = descriptor.integer_range.at(0);
    if (v == range.from_value || v == range.to_value) {
      return result;
    }
    if (v < range.from_value || v > range.to_value ||
        (range.step != 0 && static_cast<uint64_t>(v - range.from_value) % range.step != 0)) {
      result.successful = false;
      result.reason = range_reason(descriptor.name, "integer");
    }
    return result;
  }
  if (!descriptor.floating_point_range.empty() && value.get_type() == rclcpp::PARAMETER_DOUBLE) {
    const double v = value.get<double>();
    const auto & range = descriptor.floating_point_range.at(0);
    if (doubles_equal(v, range.from_value) || doubles_equal(v, range.to_value)) {
      return result;
    }
    if (v < range.from_value || v > range.to_value) {
      result.successful = false;
      result.reason = range_reason(descriptor.name, "floating point");
      return result;
    }
    if (range.step == 0.0) {
      return result;
    }
    const double steps = std::round((v - range.from_value) / range.step);
    if (!doubles_equal(v, range.from_value + steps * range.step)) {
      result.successful = false;
      result.reason = range_reason(descriptor.name, "floating point");
    }
  }
  return result;
}

// The declaration error depends on this text's start; keep the two in step.
constexpr char kWrongTypeStart[] = "Wrong parameter type";

std::string type_reason(
    const std::string & name, rclcpp::ParameterType old_type, rclcpp::ParameterType new_type)
{
  std::ostringstream ss;
  ss << kWrongTypeStart << ", parameter {" << name << "} is of type {" << old_type
     << "}, setting it to {" << new_type << "} is not allowed.";
  return ss.str();
}

// Checks type and range of each new value against the descriptor of its parameter. A parameter
// missing from infos is implicitly declared, hence dynamically typed.
rcl_interfaces::msg::SetParametersResult check_parameters(
    const std::map<std::string, ParameterInfo> & infos,
    const std::vector<rclcpp::Parameter> & parameters)
{
  rcl_interfaces::msg::SetParametersResult result;
  result.successful = true;
  for (const rclcpp::Parameter & parameter : parameters) {
    const std::string & name = parameter.get_name();
    rcl_interfaces::msg::ParameterDescriptor descriptor;
    auto it = infos.find(name);
    if (it != infos.end()) {
      descriptor = it->second.descriptor;
    } else {
      descriptor.dynamic_typing = true;
    }
    if (descriptor.name.empty()) {
      descriptor.name = name;
    }
    const auto specified_type = static_cast<rclcpp::ParameterType>(descriptor.type);
    if (!descriptor.dynamic_typing && specified_type != parameter.get_type()) {
      result.successful = false;
      result.reason = type_reason(name, specified_type, parameter.get_type());
      return result;
    }
    result = check_range(descriptor, parameter.get_parameter_value());
    if (!result.successful) {
      return result;
    }
  }
  return result;
}

}  // namespace

NodeParameters::NodeParameters(
    const std::string & node_fully_qualified_name,
    const std::vector<rclcpp::Parameter> & parameter_overrides,
    bool allow_undeclared_parameters,
    bool automatically_declare_parameters_from_overrides)
    : combined_name_(node_fully_qualified_name), allow_undeclared_(allow_undeclared_parameters)
{
  for (const auto & parameter : parameter_overrides) {
    parameter_overrides_[parameter.get_name()] = parameter.get_parameter_value();
  }
  if (automatically_declare_parameters_from_overrides) {
    rcl_interfaces::msg::ParameterDescriptor descriptor;
    descriptor.dynamic_typing = true;
    for (const auto & name_value : parameter_overrides_) {
      if (!has_parameter(name_value.first)) {
        declare_parameter(name_value.first, name_value.second, descriptor, true);
      }
    }
  }
}

NodeParameters::~NodeParameters() = default;

const rclcpp::ParameterValue & NodeParameters::declare_parameter(
    const std::string & name,
    const rclcpp::ParameterValue & default_value,
    const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor,
    bool ignore_override)
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ParameterMutationRecursionGuard guard(parameter_modification_enabled_);
  return declare_parameter_locked(
      name, rclcpp::PARAMETER_NOT_SET, default_value, parameter_descriptor, ignore_override);
}

const rclcpp::ParameterValue & NodeParameters::declare_parameter(
    const std::string & name,
    rclcpp::ParameterType type,
    const rcl_interfaces::msg::ParameterDescriptor & parameter_descriptor,
    bool ignore_override)
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ParameterMutationRecursionGuard guard(parameter_modification_enabled_);
  if (rclcpp::PARAMETER_NOT_SET == type) {
    throw std::invalid_argument{
        "declare_parameter(): the provided parameter type cannot be rclcpp::PARAMETER_NOT_SET"};
  }
  if (parameter_descriptor.dynamic_typing) {
    throw std::invalid_argument{
        "declare_parameter(): cannot declare parameter of specific type and pass descriptor"
        "with `dynamic_typing=true`"};
  }
  return declare_parameter_locked(
      name, type, rclcpp::ParameterValue{}, parameter_descriptor, ignore_override);
}

const rclcpp::ParameterValue & NodeParameters::declare_parameter_locked(
    const std::string & name,
    rclcpp::ParameterType type,
    const rclcpp::ParameterValue & default_value,
    rcl_interfaces::msg::ParameterDescriptor descriptor,
    bool ignore_override)
{
  if (name.empty()) {
    throw rclcpp::exceptions::InvalidParametersException("parameter name must not be empty");
  }
  if (parameters_.find(name) != parameters_.end()) {
    throw rclcpp::exceptions::ParameterAlreadyDeclaredException(
        "parameter '" + name + "' has already been declared");
  }
  if (!descriptor.dynamic_typing) {
    if (rclcpp::PARAMETER_NOT_SET == type) {
      type = default_value.get_type();
    }
    if (rclcpp::PARAMETER_NOT_SET == type) {
      throw rclcpp::exceptions::InvalidParameterTypeException{
          name, "cannot declare a statically typed parameter with an uninitialized value"};
    }
    descriptor.type = static_cast<uint8_t>(type);
  }

  const rclcpp::ParameterValue * initial_value = &default_value;
  auto override_it = parameter_overrides_.find(name);
  if (!ignore_override && override_it != parameter_overrides_.end()) {
    initial_value = &override_it->second;
  }

  ParameterInfo info;
  info.descriptor = descriptor;
  info.descriptor.name = name;

  // Declared without a value: stored uninitialised, callbacks not called.
  if (initial_value->get_type() == rclcpp::PARAMETER_NOT_SET) {
    if (descriptor.dynamic_typing) {
      info.descriptor.type = rclcpp::PARAMETER_NOT_SET;
    }
    return parameters_.emplace(name, std::move(info)).first->second.value;
  }

  const std::vector<rclcpp::Parameter> initial{rclcpp::Parameter(name, *initial_value)};
  auto result = check_parameters({{name, info}}, initial);
  if (result.successful) {
    result = call_on_set_callbacks(initial);
  }
  if (!result.successful) {
    if (result.reason.compare(0, sizeof(kWrongTypeStart) - 1, kWrongTypeStart) == 0) {
      throw rclcpp::exceptions::InvalidParameterTypeException(name, result.reason);
    }
    throw rclcpp::exceptions::InvalidParameterValueException(
        "parameter '" + name + "' could not be set: " + result.reason);
  }
  info.descriptor.type = initial_value->get_type();
  info.value = *initial_value;
  return parameters_.emplace(name, std::move(info)).first->second.value;
}

void NodeParameters::undeclare_parameter(const std::string & name)
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ParameterMutationRecursionGuard guard(parameter_modification_enabled_);

  auto it = parameters_.find(name);
  if (it == parameters_.end()) {
    throw rclcpp::exceptions::ParameterNotDeclaredException(
        "cannot undeclare parameter '" + name + "' which has not yet been declared");
  }
  if (it->second.descriptor.read_only) {
    throw rclcpp::exceptions::ParameterImmutableException(
        "cannot undeclare parameter '" + name + "' because it is read-only");
  }
  if (!it->second.descriptor.dynamic_typing) {
    throw rclcpp::exceptions::InvalidParameterTypeException{
        name, "cannot undeclare a statically typed parameter"};
  }
  parameters_.erase(it);
}

bool NodeParameters::has_parameter(const std::string & name) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return parameters_.find(name) != parameters_.end();
}

std::vector<rcl_interfaces::msg::SetParametersResult> NodeParameters::set_parameters(
    const std::vector<rclcpp::Parameter> & parameters)
{
  std::vector<rcl_interfaces::msg::SetParametersResult> results;
  results.reserve(parameters.size());
  for (const auto & parameter : parameters) {
    results.push_back(set_parameters_atomically({parameter}));
  }
  return results;
}

rcl_interfaces::msg::SetParametersResult NodeParameters::set_parameters_atomically(
    const std::vector<rclcpp::Parameter> & parameters)
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ParameterMutationRecursionGuard guard(parameter_modification_enabled_);

  rcl_interfaces::msg::SetParametersResult result;
  result.successful = true;

  // Undeclared names are declared implicitly (dynamically typed, overrides ignored) when
  // allowed; the declarations are staged so that a rejected set leaves no trace.
  std::map<std::string, ParameterInfo> staged;
  for (const auto & parameter : parameters) {
    const std::string & name = parameter.get_name();
    if (name.empty()) {
      throw rclcpp::exceptions::InvalidParametersException("parameter name must not be empty");
    }
    auto it = parameters_.find(name);
    if (it == parameters_.end()) {
      if (!allow_undeclared_) {
        throw rclcpp::exceptions::ParameterNotDeclaredException(
            "parameter '" + name + "' cannot be set because it was not declared");
      }
      ParameterInfo info;
      info.descriptor.name = name;
      info.descriptor.dynamic_typing = true;
      info.descriptor.type = parameter.get_type();
      info.value = parameter.get_parameter_value();
      staged[name] = info;
      continue;
    }
    if (it->second.descriptor.read_only) {
      result.successful = false;
      result.reason = "parameter '" + name + "' cannot be set because it is read-only";
      return result;
    }
  }

  // A value of type "not set" undeclares a dynamically typed parameter.
  std::vector<std::string> to_undeclare;
  for (const auto & parameter : parameters) {
    if (rclcpp::PARAMETER_NOT_SET != parameter.get_type()) {
      continue;
    }
    auto it = parameters_.find(parameter.get_name());
    if (it != parameters_.end() && rclcpp::PARAMETER_NOT_SET != it->second.value.get_type()) {
      if (!it->second.descriptor.dynamic_typing) {
        result.successful = false;
        result.reason = "cannot undeclare a statically typed parameter";
        return result;
      }
      to_undeclare.push_back(parameter.get_name());
    }
  }

  result = check_parameters(parameters_, parameters);
  if (!result.successful) {
    return result;
  }
  result = call_on_set_callbacks(parameters);
  if (!result.successful) {
    return result;
  }

  for (const auto & parameter : parameters) {
    ParameterInfo & info = parameters_[parameter.get_name()];
    auto staged_it = staged.find(parameter.get_name());
    if (staged_it != staged.end()) {
      info.descriptor = staged_it->second.descriptor;
    }
    info.descriptor.name = parameter.get_name();
    info.descriptor.type = parameter.get_type();
    info.value = parameter.get_parameter_value();
  }
  for (const auto & name : to_undeclare) {
    parameters_.erase(name);
  }
  return result;
}

rcl_interfaces::msg::SetParametersResult NodeParameters::call_on_set_callbacks(
    const std::vector<rclcpp::Parameter> & parameters)
{
  rcl_interfaces::msg::SetParametersResult result;
  result.successful = true;
  auto it = on_set_parameters_callback_container_.begin();
  while (it != on_set_parameters_callback_container_.end()) {
    auto handle = it->lock();
    if (!handle) {
      it = on_set_parameters_callback_container_.erase(it);
      continue;
    }
    result = handle->callback(parameters);
    if (!result.successful) {
      return result;
    }
    ++it;
  }
  return result;
}

std::vector<rclcpp::Parameter> NodeParameters::get_parameters(
    const std::vector<std::string> & names) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<rclcpp::Parameter> results;
  results.reserve(names.size());
  for (const auto & name : names) {
    results.emplace_back(get_parameter(name));
  }
  return results;
}

rclcpp::Parameter NodeParameters::get_parameter(const std::string & name) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  auto it = parameters_.find(name);
  if (it != parameters_.end()) {
    if (it->second.value.get_type() != rclcpp::PARAMETER_NOT_SET ||
        it->second.descriptor.dynamic_typing) {
      return rclcpp::Parameter{name, it->second.value};
    }
    throw rclcpp::exceptions::ParameterUninitializedException(name);
  }
  if (allow_undeclared_) {
    return rclcpp::Parameter{name};
  }
  throw rclcpp::exceptions::ParameterNotDeclaredException(name);
}

bool NodeParameters::get_parameter(const std::string & name, rclcpp::Parameter & parameter) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  auto it = parameters_.find(name);
  if (it == parameters_.end() || it->second.value.get_type() == rclcpp::PARAMETER_NOT_SET) {
    return false;
  }
  parameter = {name, it->second.value};
  return true;
}

bool NodeParameters::get_parameters_by_prefix(
    const std::string & prefix, std::map<std::string, rclcpp::Parameter> & parameters) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const std::string prefix_with_dot = prefix.empty() ? prefix : prefix + ".";
  bool found = false;
  for (const auto & name_info : parameters_) {
    const std::string & name = name_info.first;
    if (name.compare(0, prefix_with_dot.size(), prefix_with_dot) == 0 &&
        name.size() > prefix_with_dot.size()) {
      parameters[name.substr(prefix_with_dot.size())] = rclcpp::Parameter(name_info.second);
      found = true;
    }
  }
  return found;
}

std::vector<rcl_interfaces::msg::ParameterDescriptor> NodeParameters::describe_parameters(
    const std::vector<std::string> & names) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<rcl_interfaces::msg::ParameterDescriptor> results;
  results.reserve(names.size());
  for (const auto & name : names) {
    auto it = parameters_.find(name);
    if (it != parameters_.end()) {
      results.push_back(it->second.descriptor);
    } else if (allow_undeclared_) {
      rcl_interfaces::msg::ParameterDescriptor descriptor;
      descriptor.name = name;
      results.push_back(descriptor);
    } else {
      throw rclcpp::exceptions::ParameterNotDeclaredException(name);
    }
  }
  return results;
}

std::vector<uint8_t> NodeParameters::get_parameter_types(
    const std::vector<std::string> & names) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::vector<uint8_t> results;
  results.reserve(names.size());
  for (const auto & name : names) {
    auto it = parameters_.find(name);
    if (it != parameters_.end()) {
      results.push_back(it->second.value.get_type());
    } else if (allow_undeclared_) {
      results.push_back(rcl_interfaces::msg::ParameterType::PARAMETER_NOT_SET);
    } else {
      throw rclcpp::exceptions::ParameterNotDeclaredException(name);
    }
  }
  return results;
}

rcl_interfaces::msg::ListParametersResult NodeParameters::list_parameters(
    const std::vector<std::string> & prefixes, uint64_t depth) const
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  rcl_interfaces::msg::ListParametersResult result;
  const char separator = '.';
  auto separators_less_than_depth = [depth, separator](const std::string & str) {
    return static_cast<uint64_t>(std::count(str.begin(), str.end(), separator)) < depth;
  };
  const bool recursive = prefixes.empty() && depth == kDepthRecursive;

  for (const auto & name_info : parameters_) {
    const std::string & name = name_info.first;
    if (!recursive) {
      const bool get_all = prefixes.empty() && separators_less_than_depth(name);
      if (!get_all) {
        const bool prefix_matches =
            std::any_of(prefixes.cbegin(), prefixes.cend(), [&](const std::string & prefix) {
              if (name == prefix) {
                return true;
              }
              if (name.compare(0, prefix.size() + 1, prefix + separator) == 0) {
                return depth == kDepthRecursive ||
                       separators_less_than_depth(name.substr(prefix.size() + 1));
              }
              return false;
            });
        if (!prefix_matches) {
          continue;
        }
      }
    }
    result.names.push_back(name);
    const size_t last_separator = name.find_last_of(separator);
    if (std::string::npos != last_separator) {
      const std::string prefix = name.substr(0, last_separator);
      if (std::find(result.prefixes.cbegin(), result.prefixes.cend(), prefix) ==
          result.prefixes.cend()) {
        result.prefixes.push_back(prefix);
      }
    }
  }
  return result;
}

OnSetParametersCallbackHandle::SharedPtr NodeParameters::add_on_set_parameters_callback(
    OnParametersSetCallbackType callback)
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ParameterMutationRecursionGuard guard(parameter_modification_enabled_);
  auto handle = std::make_shared<OnSetParametersCallbackHandle>();
  handle->callback = std::move(callback);
  // The newest callback runs first.
  on_set_parameters_callback_container_.emplace_front(handle);
  return handle;
}

void NodeParameters::remove_on_set_parameters_callback(
    const OnSetParametersCallbackHandle * const handler)
{
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  ParameterMutationRecursionGuard guard(parameter_modification_enabled_);
  auto it = std::find_if(
      on_set_parameters_callback_container_.begin(),
      on_set_parameters_callback_container_.end(),
      [handler](const auto & weak_handle) { return handler == weak_handle.lock().get(); });
  if (it == on_set_parameters_callback_container_.end()) {
    throw std::runtime_error("Callback doesn't exist");
  }
  on_set_parameters_callback_container_.erase(it);
}

const std::map<std::string, rclcpp::ParameterValue> & NodeParameters::get_parameter_overrides()
    const
{
  return parameter_overrides_;
}

}  // namespace node_interfaces
}  // namespace rclcpp
