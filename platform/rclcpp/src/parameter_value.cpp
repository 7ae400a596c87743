#include "rclcpp/parameter_value.hpp"

#include <sstream>
#include <string>
#include <vector>

namespace rclcpp {

std::string to_string(const ParameterType type)
{
  switch (type) {
    case ParameterType::PARAMETER_NOT_SET:
      return "not set";
    case ParameterType::PARAMETER_BOOL:
      return "bool";
    case ParameterType::PARAMETER_INTEGER:
      return "integer";
    case ParameterType::PARAMETER_DOUBLE:
      return "double";
    case ParameterType::PARAMETER_STRING:
      return "string";
    case ParameterType::PARAMETER_BYTE_ARRAY:
      return "byte_array";
    case ParameterType::PARAMETER_BOOL_ARRAY:
      return "bool_array";
    case ParameterType::PARAMETER_INTEGER_ARRAY:
      return "integer_array";
    case ParameterType::PARAMETER_DOUBLE_ARRAY:
      return "double_array";
    case ParameterType::PARAMETER_STRING_ARRAY:
      return "string_array";
  }
  return "unknown type";
}

std::ostream & operator<<(std::ostream & os, const ParameterType type)
{
  os << rclcpp::to_string(type);
  return os;
}

namespace {

template <typename ValueT>
std::string array_to_string(
    const std::vector<ValueT> & array, std::ios::fmtflags format_flags = std::ios::dec)
{
  std::stringstream stream;
  stream << "[";
  for (size_t i = 0; i < array.size(); ++i) {
    if (i != 0) {
      stream << ", ";
    }
    stream.flags(format_flags);
    if constexpr (std::is_same<ValueT, uint8_t>::value) {
      stream << "0x" << static_cast<int>(array[i]);
    } else {
      stream << array[i];
    }
  }
  stream << "]";
  return stream.str();
}

rcl_interfaces::msg::ParameterValue typed(uint8_t type)
{
  rcl_interfaces::msg::ParameterValue value;
  value.type = type;
  return value;
}

}  // namespace

ParameterValue::ParameterValue()
{
  value_.type = rcl_interfaces::msg::ParameterType::PARAMETER_NOT_SET;
}

ParameterValue::ParameterValue(const rcl_interfaces::msg::ParameterValue & value) : value_(value)
{
  if (value.type > rcl_interfaces::msg::ParameterType::PARAMETER_STRING_ARRAY) {
    throw std::runtime_error("Unknown type: " + std::to_string(value.type));
  }
}

ParameterValue::ParameterValue(const bool bool_value)
    : value_(typed(rcl_interfaces::msg::ParameterType::PARAMETER_BOOL))
{
  value_.bool_value = bool_value;
}

ParameterValue::ParameterValue(const int int_value)
    : value_(typed(rcl_interfaces::msg::ParameterType::PARAMETER_INTEGER))
{
  value_.integer_value = int_value;
}

ParameterValue::ParameterValue(const int64_t int_value)
    : value_(typed(rcl_interfaces::msg::ParameterType::PARAMETER_INTEGER))
{
  value_.integer_value = int_value;
}

ParameterValue::ParameterValue(const float double_value)
    : value_(typed(rcl_interfaces::msg::ParameterType::PARAMETER_DOUBLE))
{
  value_.double_value = static_cast<double>(double_value);
}

ParameterValue::ParameterValue(const double double_value)
    : value_(typed(rcl_interfaces::msg::ParameterType::PARAMETER_DOUBLE))
{
  value_.double_value = double_value;
}

ParameterValue::ParameterValue(const std::string & string_value)
    : value_(typed(rcl_interfaces::msg::ParameterType::PARAMETER_STRING))
{
  value_.string_value = string_value;
}

ParameterValue::ParameterValue(const char * string_value)
    : ParameterValue(std::string(string_value))
{
}

ParameterValue::ParameterValue(const std::vector<uint8_t> & byte_array_value)
    : value_(typed(rcl_interfaces::msg::ParameterType::PARAMETER_BYTE_ARRAY))
{
  value_.byte_array_value = byte_array_value;
}

ParameterValue::ParameterValue(const std::vector<bool> & bool_array_value)
    : value_(typed(rcl_interfaces::msg::ParameterType::PARAMETER_BOOL_ARRAY))
{
  value_.bool_array_value = bool_array_value;
}

ParameterValue::ParameterValue(const std::vector<int> & int_array_value)
    : value_(typed(rcl_interfaces::msg::ParameterType::PARAMETER_INTEGER_ARRAY))
{
  value_.integer_array_value.assign(int_array_value.cbegin(), int_array_value.cend());
}

ParameterValue::ParameterValue(const std::vector<int64_t> & int_array_value)
    : value_(typed(rcl_interfaces::msg::ParameterType::PARAMETER_INTEGER_ARRAY))
{
  value_.integer_array_value = int_array_value;
}

ParameterValue::ParameterValue(const std::vector<float> & double_array_value)
    : value_(typed(rcl_interfaces::msg::ParameterType::PARAMETER_DOUBLE_ARRAY))
{
  value_.double_array_value.assign(double_array_value.cbegin(), double_array_value.cend());
}

ParameterValue::ParameterValue(const std::vector<double> & double_array_value)
    : value_(typed(rcl_interfaces::msg::ParameterType::PARAMETER_DOUBLE_ARRAY))
{
  value_.double_array_value = double_array_value;
}

ParameterValue::ParameterValue(const std::vector<std::string> & string_array_value)
    : value_(typed(rcl_interfaces::msg::ParameterType::PARAMETER_STRING_ARRAY))
{
  value_.string_array_value = string_array_value;
}

ParameterType ParameterValue::get_type() const { return static_cast<ParameterType>(value_.type); }

rcl_interfaces::msg::ParameterValue ParameterValue::to_value_msg() const { return value_; }

bool ParameterValue::operator==(const ParameterValue & rhs) const { return value_ == rhs.value_; }

bool ParameterValue::operator!=(const ParameterValue & rhs) const { return value_ != rhs.value_; }

std::string to_string(const ParameterValue & value)
{
  switch (value.get_type()) {
    case ParameterType::PARAMETER_NOT_SET:
      return "not set";
    case ParameterType::PARAMETER_BOOL:
      return value.get<bool>() ? "true" : "false";
    case ParameterType::PARAMETER_INTEGER:
      return std::to_string(value.get<int64_t>());
    case ParameterType::PARAMETER_DOUBLE:
      return std::to_string(value.get<double>());
    case ParameterType::PARAMETER_STRING:
      return value.get<std::string>();
    case ParameterType::PARAMETER_BYTE_ARRAY:
      return array_to_string(value.get<std::vector<uint8_t>>(), std::ios::hex);
    case ParameterType::PARAMETER_BOOL_ARRAY:
      return array_to_string(value.get<std::vector<bool>>(), std::ios::boolalpha);
    case ParameterType::PARAMETER_INTEGER_ARRAY:
      return array_to_string(value.get<std::vector<int64_t>>());
    case ParameterType::PARAMETER_DOUBLE_ARRAY:
      return array_to_string(value.get<std::vector<double>>());
    case ParameterType::PARAMETER_STRING_ARRAY:
      return array_to_string(value.get<std::vector<std::string>>());
  }
  return "unknown type";
}

}  // namespace rclcpp
