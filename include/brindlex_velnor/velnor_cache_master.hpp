#ifndef BRINDLEX_VELNOR__VELNOR_CACHE_MASTER_HPP_
#define BRINDLEX_VELNOR__VELNOR_CACHE_MASTER_HPP_

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "brindlex_velnor/observation.hpp"
#include "brindlex_velnor/velnor_cache.hpp"

namespace velnor {

/**
 * @brief The process-wide registry of change channels: channel name -> subscriber name ->
 * function called with each list of changes.
 *
 * Channels are created on first use and live until the process ends. One registry mutex guards
 * the registry, every channel and every delivery; a subscriber function must therefore not build
 * or destroy a master or slave.
 */
template<typename T>
class Event
{
public:
  using Callback = std::function<void(T)>;
  using Channel = std::unordered_map<std::string, Callback>;

  /// The registry; use under `mutex()` only.
  static std::map<std::string, Channel *> event_map_;

  /// The registry mutex.
  static std::mutex & mutex();

  /// The channel of that name, created empty when absent. Caller holds `mutex()`.
  static Channel * getChannel(const std::string & name);
};

using MapChangeList = std::shared_ptr<std::vector<MapChangeUnit>>;
using ChangeEvent = Event<MapChangeList>;

extern template class Event<MapChangeList>;

/**
 * @brief The depth-camera cache as the layer uses it: after each update, the same change list goes
 * to every subscriber of the channel named by the cache's name.
 */
class VelnorCacheMaster : public VelnorCache
{
public:
  VelnorCacheMaster(
      std::weak_ptr<rclcpp_lifecycle::LifecycleNode> node,
      const Option & option,
      tf2_ros::Buffer & tf_buffer);

  ~VelnorCacheMaster() override;

  /**
   * @brief Update the cache into *changes (must point to a vector), then deliver changes to every
   * subscriber of the channel under the registry mutex. A subscriber's exception propagates.
   * @return the base update's result
   */
  bool updateCache(double robot_x, double robot_y, MapChangeList changes);

private:
  ChangeEvent::Channel * channel;
};

/**
 * @brief An in-process subscriber of a change channel: queues every non-empty list delivered.
 *
 * Locks: its mutex guards the queue; a delivery takes it inside the registry mutex.
 */
class VelnorCacheSlave
{
public:
  /// Subscribe under @p subscriber_name unless the channel already has a subscriber of that name.
  VelnorCacheSlave(const std::string & subscriber_name, const std::string & channel_name);

  /// Remove the channel's subscriber entry of this slave's name.
  ~VelnorCacheSlave();

  VelnorCacheSlave(const VelnorCacheSlave &) = delete;
  VelnorCacheSlave & operator=(const VelnorCacheSlave &) = delete;

  /// Every list received since construction, in arrival order (the queue is not emptied).
  std::vector<MapChangeList> getUpdateData();

private:
  std::mutex mutex;
  std::vector<MapChangeList> queue;
  std::string subscriber_name;
  std::string channel_name;
};

}  // namespace velnor

#endif  // BRINDLEX_VELNOR__VELNOR_CACHE_MASTER_HPP_
