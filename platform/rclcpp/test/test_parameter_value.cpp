// Typing rules of rclcpp::ParameterValue and rclcpp::Parameter.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "rclcpp/exceptions.hpp"
#include "rclcpp/parameter.hpp"
#include "rclcpp/parameter_value.hpp"

namespace {

using rclcpp::ParameterType;
using rclcpp::ParameterValue;

// Implicit conversions would let a bool or a pointer pick a surprising type.
static_assert(!std::is_convertible<bool, ParameterValue>::value, "constructors must be explicit");
static_assert(!std::is_convertible<int, ParameterValue>::value, "constructors must be explicit");
static_assert(
    !std::is_convertible<std::string, ParameterValue>::value, "constructors must be explicit");
static_assert(
    !std::is_convertible<std::vector<double>, ParameterValue>::value,
    "constructors must be explicit");

TEST(ParameterValueTyping, CppTypesMapOntoParameterTypes)
{
  EXPECT_EQ(ParameterValue().get_type(), rclcpp::PARAMETER_NOT_SET);
  EXPECT_EQ(ParameterValue(true).get_type(), rclcpp::PARAMETER_BOOL);
  EXPECT_EQ(ParameterValue(7).get_type(), rclcpp::PARAMETER_INTEGER);
  EXPECT_EQ(ParameterValue(int64_t{7}).get_type(), rclcpp::PARAMETER_INTEGER);
  EXPECT_EQ(ParameterValue(static_cast<unsigned char>(7)).get_type(), rclcpp::PARAMETER_INTEGER);
  EXPECT_EQ(ParameterValue(0.5f).get_type(), rclcpp::PARAMETER_DOUBLE);
  EXPECT_EQ(ParameterValue(0.5).get_type(), rclcpp::PARAMETER_DOUBLE);
  // A string literal must not decay to bool.
  EXPECT_EQ(ParameterValue("text").get_type(), rclcpp::PARAMETER_STRING);
  EXPECT_EQ(ParameterValue(std::string("text")).get_type(), rclcpp::PARAMETER_STRING);
  EXPECT_EQ(ParameterValue(std::vector<uint8_t>{1}).get_type(), rclcpp::PARAMETER_BYTE_ARRAY);
  EXPECT_EQ(ParameterValue(std::vector<bool>{true}).get_type(), rclcpp::PARAMETER_BOOL_ARRAY);
  EXPECT_EQ(ParameterValue(std::vector<int>{1}).get_type(), rclcpp::PARAMETER_INTEGER_ARRAY);
  EXPECT_EQ(ParameterValue(std::vector<int64_t>{1}).get_type(), rclcpp::PARAMETER_INTEGER_ARRAY);
  EXPECT_EQ(ParameterValue(std::vector<float>{1.f}).get_type(), rclcpp::PARAMETER_DOUBLE_ARRAY);
  EXPECT_EQ(ParameterValue(std::vector<double>{1.}).get_type(), rclcpp::PARAMETER_DOUBLE_ARRAY);
  EXPECT_EQ(ParameterValue(std::vector<std::string>{}).get_type(), rclcpp::PARAMETER_STRING_ARRAY);
}

TEST(ParameterValueTyping, ValuesSurviveConversion)
{
  EXPECT_DOUBLE_EQ(ParameterValue(0.25f).get<double>(), 0.25);
  EXPECT_EQ(ParameterValue(static_cast<unsigned char>(200)).get<int64_t>(), 200);
  EXPECT_EQ(ParameterValue(int64_t{1} << 40).get<int64_t>(), int64_t{1} << 40);
  EXPECT_EQ(
      ParameterValue(std::vector<int>{-1, 2}).get<std::vector<int64_t>>(),
      (std::vector<int64_t>{-1, 2}));
  EXPECT_EQ(
      ParameterValue(std::vector<float>{0.5f}).get<std::vector<double>>(),
      std::vector<double>{0.5});
  EXPECT_EQ(
      ParameterValue(std::vector<std::string>{"a", "b"}).get<rclcpp::PARAMETER_STRING_ARRAY>(),
      (std::vector<std::string>{"a", "b"}));
}

TEST(ParameterValueTyping, GetByCppTypeFollowsTheSameMapping)
{
  const ParameterValue integer(5);
  EXPECT_EQ(integer.get<int>(), 5);
  EXPECT_EQ(integer.get<uint8_t>(), 5);
  const ParameterValue real(2.5);
  EXPECT_DOUBLE_EQ(real.get<float>(), 2.5);
  const ParameterValue ints(std::vector<int64_t>{3});
  EXPECT_EQ(ints.get<std::vector<int>>(), std::vector<int64_t>{3});
}

TEST(ParameterValueTyping, WrongTypeThrowsParameterTypeException)
{
  const ParameterValue integer(5);
  EXPECT_THROW(integer.get<double>(), rclcpp::ParameterTypeException);
  EXPECT_THROW(integer.get<bool>(), rclcpp::ParameterTypeException);
  EXPECT_THROW(integer.get<std::string>(), rclcpp::ParameterTypeException);
  EXPECT_THROW(integer.get<std::vector<int64_t>>(), rclcpp::ParameterTypeException);
  EXPECT_THROW(ParameterValue().get<rclcpp::PARAMETER_BOOL>(), rclcpp::ParameterTypeException);
  try {
    integer.get<double>();
    FAIL() << "no exception";
  } catch (const std::runtime_error & e) {
    EXPECT_STREQ(e.what(), "expected [double] got [integer]");
  }
}

TEST(ParameterValueTyping, EqualityComparesTypeAndValue)
{
  EXPECT_EQ(ParameterValue(1), ParameterValue(int64_t{1}));
  EXPECT_NE(ParameterValue(1), ParameterValue(1.0));
  EXPECT_NE(ParameterValue(1), ParameterValue(2));
  EXPECT_NE(ParameterValue("1"), ParameterValue(1));
  EXPECT_EQ(ParameterValue(), ParameterValue());
}

TEST(ParameterValueTyping, MessageRoundTrip)
{
  const ParameterValue original(std::vector<double>{1.5, -2.0});
  const auto msg = original.to_value_msg();
  EXPECT_EQ(msg.type, rcl_interfaces::msg::ParameterType::PARAMETER_DOUBLE_ARRAY);
  EXPECT_EQ(ParameterValue(msg), original);

  rcl_interfaces::msg::ParameterValue bad;
  bad.type = 42;
  EXPECT_THROW(ParameterValue{bad}, std::runtime_error);
}

TEST(ParameterValueTyping, TextForms)
{
  EXPECT_EQ(rclcpp::to_string(rclcpp::PARAMETER_NOT_SET), "not set");
  EXPECT_EQ(rclcpp::to_string(rclcpp::PARAMETER_INTEGER_ARRAY), "integer_array");
  EXPECT_EQ(rclcpp::to_string(ParameterValue(true)), "true");
  EXPECT_EQ(rclcpp::to_string(ParameterValue(-3)), "-3");
  EXPECT_EQ(rclcpp::to_string(ParameterValue("abc")), "abc");
  EXPECT_EQ(rclcpp::to_string(ParameterValue(std::vector<int>{1, 2})), "[1, 2]");
  EXPECT_EQ(rclcpp::to_string(ParameterValue(std::vector<bool>{true, false})), "[true, false]");
}

TEST(ParameterAccess, ConstructionAndNames)
{
  const rclcpp::Parameter unset("a");
  EXPECT_EQ(unset.get_name(), "a");
  EXPECT_EQ(unset.get_type(), rclcpp::PARAMETER_NOT_SET);
  const rclcpp::Parameter integer("b", 3);
  EXPECT_EQ(integer.get_type(), rclcpp::PARAMETER_INTEGER);
  EXPECT_EQ(integer.get_type_name(), "integer");
  EXPECT_EQ(integer.as_int(), 3);
  const rclcpp::Parameter from_value("c", ParameterValue(0.5));
  EXPECT_DOUBLE_EQ(from_value.as_double(), 0.5);
  EXPECT_EQ(rclcpp::Parameter("d", "text").as_string(), "text");
}

TEST(ParameterAccess, GetValueByCppTypeNamesTheParameterOnMismatch)
{
  const rclcpp::Parameter param("layer.enabled", "yes");
  EXPECT_EQ(param.get_value<std::string>(), "yes");
  try {
    param.get_value<bool>();
    FAIL() << "no exception";
  } catch (const rclcpp::exceptions::InvalidParameterTypeException & e) {
    EXPECT_STREQ(
        e.what(), "parameter 'layer.enabled' has invalid type: expected [bool] got [string]");
  }
  // Not a ParameterTypeException: callers catch the two separately.
  EXPECT_THROW(
      {
        try {
          param.get_value<int>();
        } catch (const rclcpp::ParameterTypeException &) {
          FAIL() << "caught as ParameterTypeException";
        }
      },
      rclcpp::exceptions::InvalidParameterTypeException);
}

TEST(ParameterAccess, TypedAccessorsThrowParameterTypeException)
{
  const rclcpp::Parameter param("p", 1.5);
  EXPECT_THROW(param.as_int(), rclcpp::ParameterTypeException);
  EXPECT_THROW(param.as_bool(), rclcpp::ParameterTypeException);
  EXPECT_THROW(param.as_string(), rclcpp::ParameterTypeException);
  EXPECT_THROW(param.as_string_array(), rclcpp::ParameterTypeException);
  EXPECT_THROW(param.get_value<rclcpp::PARAMETER_INTEGER>(), rclcpp::ParameterTypeException);
  EXPECT_DOUBLE_EQ(param.get_value<rclcpp::PARAMETER_DOUBLE>(), 1.5);
}

TEST(ParameterAccess, GetValueOfParameterValueAndParameter)
{
  const rclcpp::Parameter param("p", std::vector<std::string>{"x"});
  EXPECT_EQ(
      param.get_value<rclcpp::ParameterValue>(), ParameterValue(std::vector<std::string>{"x"}));
  EXPECT_EQ(param.get_value<rclcpp::Parameter>().get_name(), "p");
  EXPECT_EQ(param.as_string_array(), std::vector<std::string>{"x"});
}

TEST(ParameterAccess, MessageRoundTripAndText)
{
  const rclcpp::Parameter param("rate", 2);
  const auto msg = param.to_parameter_msg();
  EXPECT_EQ(msg.name, "rate");
  EXPECT_EQ(msg.value.integer_value, 2);
  EXPECT_EQ(rclcpp::Parameter::from_parameter_msg(msg), param);
  EXPECT_EQ(std::to_string(param), "{\"rate\": {\"type\": \"integer\", \"value\": \"2\"}}");
  EXPECT_EQ(param.value_to_string(), "2");
}

}  // namespace
