#include "brindlex_velnor/velnor_cache_master.hpp"

#include <stdexcept>
#include <utility>

namespace velnor {

// One registry per process: the data member is defined here only (other libraries see the
// explicit instantiation declaration), and is built empty when this library is loaded.
template <typename T>
std::map<std::string, typename Event<T>::Channel *> Event<T>::event_map_;

template <typename T>
std::mutex & Event<T>::mutex()
{
  static std::mutex registry_mutex;
  return registry_mutex;
}

template <typename T>
typename Event<T>::Channel * Event<T>::getChannel(const std::string & name)
{
  auto it = event_map_.find(name);
  if (it == event_map_.end()) {
    // Channels are never removed: masters and slaves keep plain pointers to them. The registry
    // map itself is destroyed at exit; this never-destroyed list keeps every channel owned (and
    // visible as such to leak checkers) until the process is gone.
    static auto * const every_channel = new std::vector<std::unique_ptr<Channel>>();
    every_channel->push_back(std::make_unique<Channel>());
    it = event_map_.emplace(name, every_channel->back().get()).first;
  }
  return it->second;
}

template class Event<MapChangeList>;

VelnorCacheMaster::VelnorCacheMaster(
    std::weak_ptr<rclcpp_lifecycle::LifecycleNode> node,
    const Option & option,
    tf2_ros::Buffer & tf_buffer)
    : VelnorCache(std::move(node), option, tf_buffer), channel(nullptr)
{
  std::lock_guard<std::mutex> lock(ChangeEvent::mutex());
  channel = ChangeEvent::getChannel(option.name);
}

VelnorCacheMaster::~VelnorCacheMaster() = default;

bool VelnorCacheMaster::updateCache(double robot_x, double robot_y, MapChangeList changes)
{
  if (!changes) {
    throw std::invalid_argument("change list cannot be nullptr");
  }
  const bool current = VelnorCache::updateCache(robot_x, robot_y, *changes);

  std::lock_guard<std::mutex> lock(ChangeEvent::mutex());
  for (auto & subscriber : *channel) {
    subscriber.second(changes);
  }
  return current;
}

VelnorCacheSlave::VelnorCacheSlave(
    const std::string & subscriber_name, const std::string & channel_name)
    : subscriber_name(subscriber_name), channel_name(channel_name)
{
  std::lock_guard<std::mutex> lock(ChangeEvent::mutex());
  ChangeEvent::Channel * channel = ChangeEvent::getChannel(channel_name);
  // A name already subscribed keeps its subscriber; this slave then receives nothing.
  channel->emplace(subscriber_name, [this](MapChangeList list) {
    if (!list || list->empty()) {
      return;
    }
    std::lock_guard<std::mutex> queue_lock(mutex);
    queue.push_back(std::move(list));
  });
}

VelnorCacheSlave::~VelnorCacheSlave()
{
  std::lock_guard<std::mutex> lock(ChangeEvent::mutex());
  auto it = ChangeEvent::event_map_.find(channel_name);
  if (it != ChangeEvent::event_map_.end()) {
    it->second->erase(subscriber_name);
  }
}

std::vector<MapChangeList> VelnorCacheSlave::getUpdateData()
{
  std::lock_guard<std::mutex> lock(mutex);
  return queue;
}

}  // namespace velnor
