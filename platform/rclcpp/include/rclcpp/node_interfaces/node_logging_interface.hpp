#ifndef RCLCPP__NODE_INTERFACES__NODE_LOGGING_INTERFACE_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_LOGGING_INTERFACE_HPP_

#include <memory>

#include "rclcpp/logger.hpp"
#include "rclcpp/macros.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {
namespace node_interfaces {

class NodeLoggingInterface
{
public:
  RCLCPP_SMART_PTR_ALIASES_ONLY(NodeLoggingInterface)

  RCLCPP_PUBLIC
  virtual ~NodeLoggingInterface() = default;

  /// The node's logger ("<namespace without leading slash, '.' for '/'>.<name>").
  virtual rclcpp::Logger get_logger() const = 0;

  virtual const char * get_logger_name() const = 0;
};

class RCLCPP_PUBLIC NodeLogging : public NodeLoggingInterface
{
public:
  RCLCPP_SMART_PTR_ALIASES_ONLY(NodeLogging)

  explicit NodeLogging(rclcpp::node_interfaces::NodeBaseInterface * node_base);

  ~NodeLogging() override;

  rclcpp::Logger get_logger() const override;

  const char * get_logger_name() const override;

private:
  RCLCPP_DISABLE_COPY(NodeLogging)

  rclcpp::Logger logger_;
};

}  // namespace node_interfaces
}  // namespace rclcpp

#endif  // RCLCPP__NODE_INTERFACES__NODE_LOGGING_INTERFACE_HPP_
