#ifndef RCLCPP__NODE_INTERFACES__NODE_GRAPH_INTERFACE_HPP_
#define RCLCPP__NODE_INTERFACES__NODE_GRAPH_INTERFACE_HPP_

#include <string>

#include "rclcpp/macros.hpp"
#include "rclcpp/node_interfaces/node_base_interface.hpp"
#include "rclcpp/visibility_control.hpp"

namespace rclcpp {
namespace node_interfaces {

/// Graph queries, limited to counting endpoints of the process.
class NodeGraphInterface
{
public:
  RCLCPP_SMART_PTR_ALIASES_ONLY(NodeGraphInterface)

  RCLCPP_PUBLIC
  virtual ~NodeGraphInterface() = default;

  virtual size_t count_publishers(const std::string & topic_name) const = 0;

  virtual size_t count_subscribers(const std::string & topic_name) const = 0;
};

class RCLCPP_PUBLIC NodeGraph : public NodeGraphInterface
{
public:
  RCLCPP_SMART_PTR_ALIASES_ONLY(NodeGraph)

  explicit NodeGraph(rclcpp::node_interfaces::NodeBaseInterface * node_base);

  ~NodeGraph() override;

  size_t count_publishers(const std::string & topic_name) const override;

  size_t count_subscribers(const std::string & topic_name) const override;

private:
  RCLCPP_DISABLE_COPY(NodeGraph)

  rclcpp::node_interfaces::NodeBaseInterface * node_base_;
};

}  // namespace node_interfaces
}  // namespace rclcpp

#endif  // RCLCPP__NODE_INTERFACES__NODE_GRAPH_INTERFACE_HPP_
