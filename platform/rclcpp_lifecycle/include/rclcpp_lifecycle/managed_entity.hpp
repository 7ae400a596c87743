#ifndef RCLCPP_LIFECYCLE__MANAGED_ENTITY_HPP_
#define RCLCPP_LIFECYCLE__MANAGED_ENTITY_HPP_

#include <atomic>

#include "rclcpp_lifecycle/visibility_control.h"

namespace rclcpp_lifecycle {

/// An entity the lifecycle node activates and deactivates with itself.
class ManagedEntityInterface
{
public:
  RCLCPP_LIFECYCLE_PUBLIC
  virtual ~ManagedEntityInterface() {}

  RCLCPP_LIFECYCLE_PUBLIC
  virtual void on_activate() = 0;

  RCLCPP_LIFECYCLE_PUBLIC
  virtual void on_deactivate() = 0;
};

/// A managed entity with an activation flag; created inactive.
class SimpleManagedEntity : public ManagedEntityInterface
{
public:
  RCLCPP_LIFECYCLE_PUBLIC
  ~SimpleManagedEntity() override = default;

  RCLCPP_LIFECYCLE_PUBLIC
  void on_activate() override;

  RCLCPP_LIFECYCLE_PUBLIC
  void on_deactivate() override;

  RCLCPP_LIFECYCLE_PUBLIC
  bool is_activated() const;

private:
  std::atomic<bool> activated_ = false;
};

}  // namespace rclcpp_lifecycle

#endif  // RCLCPP_LIFECYCLE__MANAGED_ENTITY_HPP_
