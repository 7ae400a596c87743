// Type traits of generated message and service types. Every message header of the stand-in
// specialises these for its type; the transport matches types by name(), never by typeid, so that
// a type seen from several shared libraries is one type.
#ifndef ROSIDL_RUNTIME_CPP__TRAITS_HPP_
#define ROSIDL_RUNTIME_CPP__TRAITS_HPP_

#include <type_traits>

namespace rosidl_generator_traits
{

// Fully qualified ROS type name, e.g. "sensor_msgs/msg/CameraInfo".
template<typename T>
inline const char * name();

// Type name as written in C++ terms, e.g. "sensor_msgs::msg::CameraInfo".
template<typename T>
inline const char * data_type();

template<typename T>
struct is_message : std::false_type {};

template<typename T>
struct is_service : std::false_type {};

template<typename T>
struct is_service_request : std::false_type {};

template<typename T>
struct is_service_response : std::false_type {};

}  // namespace rosidl_generator_traits

// Declares the traits of one message type. Use at global scope after the type's definition.
#define ROSIDL_STANDIN_MESSAGE_TRAITS(CPP_TYPE, ROS_NAME) \
  namespace rosidl_generator_traits \
  { \
  template<> \
  inline const char * name<CPP_TYPE>() {return ROS_NAME;} \
  template<> \
  inline const char * data_type<CPP_TYPE>() {return #CPP_TYPE;} \
  template<> \
  struct is_message<CPP_TYPE>: std::true_type {}; \
  }

// Declares the traits of one service type and its request and response.
#define ROSIDL_STANDIN_SERVICE_TRAITS(CPP_TYPE, ROS_NAME) \
  namespace rosidl_generator_traits \
  { \
  template<> \
  inline const char * name<CPP_TYPE>() {return ROS_NAME;} \
  template<> \
  inline const char * data_type<CPP_TYPE>() {return #CPP_TYPE;} \
  template<> \
  struct is_service<CPP_TYPE>: std::true_type {}; \
  template<> \
  inline const char * name<CPP_TYPE::Request>() {return ROS_NAME "_Request";} \
  template<> \
  inline const char * data_type<CPP_TYPE::Request>() {return #CPP_TYPE "_Request";} \
  template<> \
  struct is_service_request<CPP_TYPE::Request>: std::true_type {}; \
  template<> \
  inline const char * name<CPP_TYPE::Response>() {return ROS_NAME "_Response";} \
  template<> \
  inline const char * data_type<CPP_TYPE::Response>() {return #CPP_TYPE "_Response";} \
  template<> \
  struct is_service_response<CPP_TYPE::Response>: std::true_type {}; \
  }

// Smart-pointer aliases every message type carries.
#define ROSIDL_STANDIN_POINTER_ALIASES(TYPE) \
  using SharedPtr = std::shared_ptr<TYPE>; \
  using ConstSharedPtr = std::shared_ptr<const TYPE>; \
  using UniquePtr = std::unique_ptr<TYPE>; \
  using ConstUniquePtr = std::unique_ptr<const TYPE>; \
  using WeakPtr = std::weak_ptr<TYPE>; \
  using ConstWeakPtr = std::weak_ptr<const TYPE>;

#endif  // ROSIDL_RUNTIME_CPP__TRAITS_HPP_
