// Holds messages until the transforms from their frame to the target frames are available.
#ifndef TF2_ROS__MESSAGE_FILTER_H_
#define TF2_ROS__MESSAGE_FILTER_H_

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <iterator>
#include <list>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "message_filters/connection.h"
#include "message_filters/message_traits.h"
#include "message_filters/simple_filter.h"
#include "rclcpp/rclcpp.hpp"
#include "tf2/buffer_core_interface.h"
#include "tf2/time.h"
#include "tf2_ros/async_buffer_interface.h"
#include "tf2_ros/buffer.h"
#include "tf2_ros/buffer_interface.h"

#define TF2_ROS_MESSAGEFILTER_DEBUG(fmt, ...)       \
  RCLCPP_DEBUG(                                     \
      rclcpp::get_logger("tf2_ros_message_filter"), \
      "MessageFilter [target=%s]: " fmt,            \
      getTargetFramesString().c_str(),              \
      __VA_ARGS__)

#define TF2_ROS_MESSAGEFILTER_WARN(fmt, ...)        \
  RCLCPP_WARN(                                      \
      rclcpp::get_logger("tf2_ros_message_filter"), \
      "MessageFilter [target=%s]: " fmt,            \
      getTargetFramesString().c_str(),              \
      __VA_ARGS__)

namespace tf2_ros {

namespace filter_failure_reasons {
enum FilterFailureReason
{
  /// The reason is unknown (e.g. the message was pushed out of a full queue).
  Unknown,
  /// The timestamp on the message is earlier than all the data in the transform cache.
  OutTheBack,
  /// The frame_id on the message is empty.
  EmptyFrameID,
  /// No transform found.
  NoTransformFound,
  /// Queue size full.
  QueueFull,
  /// Number of reasons; keep last.
  FilterFailureReasonCount,
};
}  // namespace filter_failure_reasons

static std::string get_filter_failure_reason_string(
    filter_failure_reasons::FilterFailureReason reason)
{
  switch (reason) {
    case filter_failure_reasons::OutTheBack:
      return "the timestamp on the message is earlier than all the data in the transform cache";
    case filter_failure_reasons::EmptyFrameID:
      return "the frame id of the message is empty";
    case filter_failure_reasons::NoTransformFound:
      return "did not find a valid transform, this usually happens at startup ...";
    case filter_failure_reasons::QueueFull:
      return "discarding message because the queue is full";
    case filter_failure_reasons::Unknown:  // fallthrough
    default:
      return "unknown";
  }
}

typedef filter_failure_reasons::FilterFailureReason FilterFailureReason;

class MessageFilterBase
{
public:
  typedef std::vector<std::string> V_string;

  virtual ~MessageFilterBase() {}
  virtual void clear() = 0;
  virtual void setTargetFrame(const std::string & target_frame) = 0;
  virtual void setTargetFrames(const V_string & target_frames) = 0;
  virtual void setTolerance(const rclcpp::Duration & tolerance) = 0;
};

/// Queues incoming messages (at most queue_size; a new one pushes out the oldest) and asks the
/// buffer to wait, for buffer_timeout, for the transform from each message's frame to every
/// target frame at its stamp. A message is passed to the registered callbacks once all its waits
/// succeeded and the transforms are still available, on the thread that completed the last
/// wait: the caller of add() when the data is already there, the thread feeding the buffer when
/// it comes later. A failed wait (timeout, on the thread serving the buffer's timers) drops it.
/// Messages with an empty frame id are dropped at once. Drops are logged at INFO on the node's
/// logger.
///
/// clear() and the destructor wait for the buffer's callbacks into the filter that are under way
/// on other threads, and no callback of a wait made before reaches the filter afterwards. Inside
/// one of those callbacks (an output callback may clear or destroy the filter) they do not wait
/// for it, and leave the waits made before to end by themselves rather than cancel them: the
/// buffer may be calling with its request lock held. They must not be called while holding a lock
/// that such a callback takes, such as the filter's output lock: so not from an output callback
/// while another thread may deliver into the same filter. The destructor disconnects the input,
/// which waits for a delivery from it under way: so not inside one either.
///
/// Lock order: ts_futures_mutex_ and messages_mutex_ are never held together; target_frames_mutex_
/// and the gate's mutex may be taken while holding messages_mutex_. No filter lock is held while
/// calling into the buffer except target_frames_mutex_ around canTransform.
template <class M, class BufferT = tf2_ros::Buffer>
class MessageFilter : public MessageFilterBase, public message_filters::SimpleFilter<M>
{
public:
  using MConstPtr = std::shared_ptr<M const>;
  typedef message_filters::MessageEvent<M const> MEvent;

  template <typename TimeRepT = int64_t, typename TimeT = std::nano>
  MessageFilter(
      BufferT & buffer,
      const std::string & target_frame,
      uint32_t queue_size,
      const rclcpp::Node::SharedPtr & node,
      std::chrono::duration<TimeRepT, TimeT> buffer_timeout =
          std::chrono::duration<TimeRepT, TimeT>::max())
      : MessageFilter(
            buffer,
            target_frame,
            queue_size,
            node->get_node_logging_interface(),
            node->get_node_clock_interface(),
            buffer_timeout)
  {
    static_assert(
        std::is_base_of<tf2::BufferCoreInterface, BufferT>::value,
        "Buffer type must implement tf2::BufferCoreInterface");
    static_assert(
        std::is_base_of<tf2_ros::AsyncBufferInterface, BufferT>::value,
        "Buffer type must implement tf2_ros::AsyncBufferInterface");
  }

  template <typename TimeRepT = int64_t, typename TimeT = std::nano>
  MessageFilter(
      BufferT & buffer,
      const std::string & target_frame,
      uint32_t queue_size,
      const rclcpp::node_interfaces::NodeLoggingInterface::SharedPtr & node_logging,
      const rclcpp::node_interfaces::NodeClockInterface::SharedPtr & node_clock,
      std::chrono::duration<TimeRepT, TimeT> buffer_timeout =
          std::chrono::duration<TimeRepT, TimeT>::max())
      : node_logging_(node_logging),
        node_clock_(node_clock),
        buffer_(buffer),
        queue_size_(queue_size),
        buffer_timeout_(std::chrono::duration_cast<tf2::Duration>(buffer_timeout))
  {
    init();
    setTargetFrame(target_frame);
  }

  template <class F, typename TimeRepT = int64_t, typename TimeT = std::nano>
  MessageFilter(
      F & f,
      BufferT & buffer,
      const std::string & target_frame,
      uint32_t queue_size,
      const rclcpp::Node::SharedPtr & node,
      std::chrono::duration<TimeRepT, TimeT> buffer_timeout =
          std::chrono::duration<TimeRepT, TimeT>::max())
      : MessageFilter(
            f,
            buffer,
            target_frame,
            queue_size,
            node->get_node_logging_interface(),
            node->get_node_clock_interface(),
            buffer_timeout)
  {
  }

  template <class F, typename TimeRepT = int64_t, typename TimeT = std::nano>
  MessageFilter(
      F & f,
      BufferT & buffer,
      const std::string & target_frame,
      uint32_t queue_size,
      const rclcpp::node_interfaces::NodeLoggingInterface::SharedPtr & node_logging,
      const rclcpp::node_interfaces::NodeClockInterface::SharedPtr & node_clock,
      std::chrono::duration<TimeRepT, TimeT> buffer_timeout =
          std::chrono::duration<TimeRepT, TimeT>::max())
      : node_logging_(node_logging),
        node_clock_(node_clock),
        buffer_(buffer),
        queue_size_(queue_size),
        buffer_timeout_(std::chrono::duration_cast<tf2::Duration>(buffer_timeout))
  {
    init();
    setTargetFrame(target_frame);
    connectInput(f);
  }

  /// Takes input from f (typically a message_filters::Subscriber); replaces a former input.
  template <class F>
  void connectInput(F & f)
  {
    message_connection_.disconnect();
    message_connection_ = f.registerCallback(&MessageFilter::incomingMessage, this);
  }

  /// Disconnects the input and cancels the pending waits.
  ~MessageFilter()
  {
    message_connection_.disconnect();
    clear();

    TF2_ROS_MESSAGEFILTER_DEBUG(
        "Successful Transforms: %llu, Discarded due to age: %llu, Transform messages received: "
        "%llu, "
        "Messages received: %llu, Total dropped: %llu",
        static_cast<unsigned long long>(successful_transform_count_),  // NOLINT(runtime/int)
        static_cast<unsigned long long>(failed_out_the_back_count_),   // NOLINT(runtime/int)
        static_cast<unsigned long long>(transform_message_count_),     // NOLINT(runtime/int)
        static_cast<unsigned long long>(incoming_message_count_),      // NOLINT(runtime/int)
        static_cast<unsigned long long>(dropped_message_count_));      // NOLINT(runtime/int)
  }

  void setTargetFrame(const std::string & target_frame) override
  {
    V_string frames;
    frames.push_back(target_frame);
    setTargetFrames(frames);
  }

  void setTargetFrames(const V_string & target_frames) override
  {
    std::unique_lock<std::mutex> frames_lock(target_frames_mutex_);

    target_frames_.resize(target_frames.size());
    std::transform(
        target_frames.begin(), target_frames.end(), target_frames_.begin(), this->stripSlash);
    expected_success_count_ = target_frames_.size() * (time_tolerance_.nanoseconds() ? 2 : 1);

    std::stringstream ss;
    for (const auto & frame : target_frames_) {
      ss << frame << " ";
    }
    target_frames_string_ = ss.str();
  }

  std::string getTargetFramesString()
  {
    std::unique_lock<std::mutex> frames_lock(target_frames_mutex_);
    return target_frames_string_;
  }

  /// Also requires the transforms at stamp + tolerance.
  void setTolerance(const rclcpp::Duration & tolerance) override
  {
    std::unique_lock<std::mutex> frames_lock(target_frames_mutex_);
    time_tolerance_ = tolerance;
    expected_success_count_ = target_frames_.size() * (time_tolerance_.nanoseconds() ? 2 : 1);
  }

  /// Cancels the pending waits and forgets the queued messages.
  void clear() override
  {
    const bool in_callback = gate_->close();
    std::unordered_map<uint64_t, tf2_ros::TransformStampedFuture> pending;
    {
      std::unique_lock<std::mutex> lock(ts_futures_mutex_);
      pending.swap(ts_futures_);
    }
    // Outside the filter's locks: a cancel waits for the buffer's request lock, which is held
    // while a transformable callback runs into this filter, maybe on this very thread.
    if (!in_callback) {
      for (auto & kv : pending) {
        buffer_.cancel(kv.second);
      }
    }

    std::unique_lock<std::mutex> unique_lock(messages_mutex_);
    TF2_ROS_MESSAGEFILTER_DEBUG("%s", "Cleared");
    messages_.clear();
    warned_about_empty_frame_id_ = false;
  }

  void add(const MEvent & evt)
  {
    namespace mt = message_filters::message_traits;

    V_string target_frames_copy;
    rclcpp::Duration time_tolerance(0, 0);
    {
      std::unique_lock<std::mutex> frames_lock(target_frames_mutex_);
      target_frames_copy = target_frames_;
      time_tolerance = time_tolerance_;
    }
    if (target_frames_copy.empty()) {
      return;
    }

    const MConstPtr & message = evt.getMessage();
    std::string frame_id = stripSlash(mt::FrameId<M>::value(*message));
    rclcpp::Time stamp = mt::TimeStamp<M>::value(*message);

    if (frame_id.empty()) {
      messageDropped(evt, filter_failure_reasons::EmptyFrameID);
      return;
    }

    std::vector<std::tuple<uint64_t, tf2::TimePoint, std::string>> wait_params;
    MessageInfo info;
    info.handles.reserve(target_frames_copy.size() * 2);
    uint64_t generation = 0;
    {
      std::unique_lock<std::mutex> lock(messages_mutex_);
      generation = gate_->generation();
      for (const std::string & target_frame : target_frames_copy) {
        wait_params.emplace_back(next_handle_index_, tf2_ros::fromRclcpp(stamp), target_frame);
        info.handles.push_back(next_handle_index_++);
        if (time_tolerance.nanoseconds()) {
          wait_params.emplace_back(
              next_handle_index_, tf2_ros::fromRclcpp(stamp + time_tolerance), target_frame);
          info.handles.push_back(next_handle_index_++);
        }
      }

      // Make room: the oldest message goes.
      if (queue_size_ != 0 && messages_.size() + 1 > queue_size_) {
        ++dropped_message_count_;
        const MessageInfo & front = messages_.front();
        messageDropped(front.event, filter_failure_reasons::QueueFull);
        messages_.pop_front();
      }

      info.event = evt;
      messages_.push_back(info);
    }

    ++incoming_message_count_;

    for (const auto & param : wait_params) {
      const auto & handle = std::get<0>(param);
      const auto & wait_stamp = std::get<1>(param);
      const auto & target_frame = std::get<2>(param);
      // The buffer may call back after the filter is gone (a timeout calls after releasing the
      // buffer's lock, so no cancel waits for it): the filter is used only inside the gate.
      tf2_ros::TransformStampedFuture future = buffer_.waitForTransform(
          target_frame,
          frame_id,
          wait_stamp,
          buffer_timeout_,
          [this, gate = gate_, generation, handle](const tf2_ros::TransformStampedFuture & ready) {
            typename CallbackGate::Pass pass(*gate, generation);
            if (pass) {
              transformReadyCallback(ready, handle);
            }
          });

      // Handles 0 and all-ones: the callback has already run.
      if (0 != future.getHandle() && 0xffffffffffffffffULL != future.getHandle()) {
        std::unique_lock<std::mutex> lock(ts_futures_mutex_);
        ts_futures_.insert({handle, std::move(future)});
      }
    }
  }

  /// Adds a message received now (on the node's clock).
  void add(const MConstPtr & message)
  {
    auto t = node_clock_->get_clock()->now();
    add(MEvent(message, t));
  }

  virtual void setQueueSize(uint32_t new_queue_size) { queue_size_ = new_queue_size; }

  virtual uint32_t getQueueSize() { return queue_size_; }

private:
  /// Admits the buffer's callbacks into the filter, by generation of waits: close() ends the
  /// current one and waits for its callbacks under way on other threads. Held by shared pointer
  /// by every callback, so that a callback can still be turned away once the filter is gone.
  class CallbackGate
  {
  public:
    /// One callback: admitted when its generation is still open; leaves on destruction.
    class Pass
    {
    public:
      Pass(CallbackGate & gate, uint64_t generation)
          : gate_(gate), admitted_(gate.enter(generation))
      {
      }

      ~Pass()
      {
        if (admitted_) {
          gate_.leave();
        }
      }

      Pass(const Pass &) = delete;
      Pass & operator=(const Pass &) = delete;

      explicit operator bool() const { return admitted_; }

    private:
      CallbackGate & gate_;
      bool admitted_;
    };

    uint64_t generation()
    {
      std::lock_guard<std::mutex> lock(mutex_);
      return generation_;
    }

    /// Returns whether the calling thread is inside a callback, which it does not wait for.
    bool close()
    {
      const std::thread::id self = std::this_thread::get_id();
      std::unique_lock<std::mutex> lock(mutex_);
      const uint64_t closed = generation_++;
      left_.wait(lock, [&]() {
        return std::none_of(inside_.begin(), inside_.end(), [&](const Inside & entry) {
          return entry.thread != self && entry.generation <= closed;
        });
      });
      return std::any_of(inside_.begin(), inside_.end(), [&](const Inside & entry) {
        return entry.thread == self;
      });
    }

  private:
    struct Inside
    {
      std::thread::id thread;
      uint64_t generation;
    };

    bool enter(uint64_t generation)
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (generation != generation_) {
        return false;
      }
      inside_.push_back({std::this_thread::get_id(), generation});
      return true;
    }

    void leave()
    {
      const std::thread::id self = std::this_thread::get_id();
      std::lock_guard<std::mutex> lock(mutex_);
      // The innermost of this thread's callbacks: an output callback may add a message whose
      // transform is there, which calls back at once.
      auto entry = std::find_if(inside_.rbegin(), inside_.rend(), [&](const Inside & inside) {
        return inside.thread == self;
      });
      inside_.erase(std::next(entry).base());
      left_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable left_;
    uint64_t generation_ = 0;
    std::vector<Inside> inside_;
  };

  void init()
  {
    successful_transform_count_ = 0;
    failed_out_the_back_count_ = 0;
    transform_message_count_ = 0;
    incoming_message_count_ = 0;
    dropped_message_count_ = 0;
    time_tolerance_ = rclcpp::Duration(0, 0);
    warned_about_empty_frame_id_ = false;
    expected_success_count_ = 1;
  }

  void transformReadyCallback(const tf2_ros::TransformStampedFuture & future, const uint64_t handle)
  {
    namespace mt = message_filters::message_traits;

    MEvent saved_event;
    bool event_found = false;

    {
      std::unique_lock<std::mutex> lock(ts_futures_mutex_);
      auto iter = ts_futures_.find(handle);
      if (iter != ts_futures_.end()) {
        ts_futures_.erase(iter);
      }
    }

    {
      std::unique_lock<std::mutex> lock(messages_mutex_);
      for (auto msg_it = messages_.begin(); msg_it != messages_.end(); ++msg_it) {
        MessageInfo & info = *msg_it;
        auto handle_it = std::find(info.handles.begin(), info.handles.end(), handle);
        if (handle_it != info.handles.end()) {
          ++info.success_count;
          if (info.success_count >= expected_success_count_) {
            saved_event = msg_it->event;
            messages_.erase(msg_it);
            event_found = true;
          }
          break;
        }
      }
    }

    if (!event_found) {
      return;
    }

    bool can_transform = true;
    const MConstPtr & message = saved_event.getMessage();
    std::string frame_id = stripSlash(mt::FrameId<M>::value(*message));
    rclcpp::Time stamp = mt::TimeStamp<M>::value(*message);

    bool transform_available = true;
    FilterFailureReason error = filter_failure_reasons::Unknown;
    try {
      future.get();
    } catch (...) {
      transform_available = false;
      error = filter_failure_reasons::OutTheBack;
    }

    if (transform_available) {
      std::unique_lock<std::mutex> frames_lock(target_frames_mutex_);
      // The data may have changed since the wait finished.
      for (const std::string & target : target_frames_) {
        if (!buffer_.canTransform(target, frame_id, tf2_ros::fromRclcpp(stamp), NULL)) {
          can_transform = false;
          break;
        }
        if (time_tolerance_.nanoseconds()) {
          if (!buffer_.canTransform(
                  target, frame_id, tf2_ros::fromRclcpp(stamp + time_tolerance_), NULL)) {
            can_transform = false;
            break;
          }
        }
      }
    } else {
      can_transform = false;
    }

    if (can_transform) {
      ++successful_transform_count_;
      messageReady(saved_event);
    } else {
      ++dropped_message_count_;
      messageDropped(saved_event, error);
    }
  }

  void incomingMessage(const message_filters::MessageEvent<M const> & evt) { add(evt); }

  void messageDropped(const MEvent & evt, FilterFailureReason reason)
  {
    signalFailure(evt, reason);
  }

  void messageReady(const MEvent & evt) { this->signalMessage(evt); }

  void signalFailure(const MEvent & evt, FilterFailureReason reason)
  {
    namespace mt = message_filters::message_traits;
    const MConstPtr & message = evt.getMessage();
    std::string frame_id = stripSlash(mt::FrameId<M>::value(*message));
    rclcpp::Time stamp = mt::TimeStamp<M>::value(*message);
    RCLCPP_INFO(
        node_logging_->get_logger(),
        "Message Filter dropping message: frame '%s' at time %.3f for reason '%s'",
        frame_id.c_str(),
        stamp.seconds(),
        get_filter_failure_reason_string(reason).c_str());
  }

  static std::string stripSlash(const std::string & in)
  {
    if (!in.empty() && (in[0] == '/')) {
      std::string out = in;
      out.erase(0, 1);
      return out;
    }
    return in;
  }

  const rclcpp::node_interfaces::NodeLoggingInterface::SharedPtr node_logging_;
  const rclcpp::node_interfaces::NodeClockInterface::SharedPtr node_clock_;
  BufferT & buffer_;
  // Guarded by target_frames_mutex_.
  V_string target_frames_;
  std::string target_frames_string_;
  rclcpp::Duration time_tolerance_ = rclcpp::Duration(0, 0);
  std::mutex target_frames_mutex_;

  std::atomic<uint32_t> queue_size_;

  struct MessageInfo
  {
    MessageInfo() : success_count(0) {}

    MEvent event;
    std::vector<uint64_t> handles;
    uint64_t success_count;
  };
  typedef std::list<MessageInfo> L_MessageInfo;
  // Guarded by messages_mutex_.
  L_MessageInfo messages_;
  uint64_t next_handle_index_ = 0;
  bool warned_about_empty_frame_id_;
  std::mutex messages_mutex_;

  std::atomic<uint64_t> expected_success_count_;

  std::atomic<uint64_t> successful_transform_count_;
  std::atomic<uint64_t> failed_out_the_back_count_;
  std::atomic<uint64_t> transform_message_count_;
  std::atomic<uint64_t> incoming_message_count_;
  std::atomic<uint64_t> dropped_message_count_;

  message_filters::Connection message_connection_;

  tf2::Duration buffer_timeout_;

  // Futures of pending waits, so that they can be cancelled.
  std::mutex ts_futures_mutex_;
  std::unordered_map<uint64_t, tf2_ros::TransformStampedFuture> ts_futures_;

  const std::shared_ptr<CallbackGate> gate_ = std::make_shared<CallbackGate>();
};

}  // namespace tf2_ros

#endif  // TF2_ROS__MESSAGE_FILTER_H_
