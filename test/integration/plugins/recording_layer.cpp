// A semantic layer for tests: records every call with its thread and the locks held, and draws a
// configurable bounds box. Parameters (under the layer's name): "bounds" ("none": leave the box,
// "whole": the lowest and largest doubles, "shrink": a box that shrinks the gathered one, "box":
// the "box" values), "box" (min_x, min_y, max_x, max_y), "clearable", "mark_flag" (a flag the
// layer ors into every cell of its window), "throw_in" (an operation that throws
// std::runtime_error: "onInitialize", "updateBounds", "updateMaps" or "matchSize"), "throw_std" (false: throw a
// value that is not a std::exception instead), "service" (a ClearEntireCostmap service of that
// name in the base's callback group, whose calls record "serve", pass the call log's gate and
// record "served"). With BRINDLEX_TEST_LAYER_TRACE
// "static_tf" (publish map -> base_link at (0.5, 0.5) from onInitialize, for a server run as a
// child process, where no test code can publish TF). With BRINDLEX_TEST_LAYER_TRACE
// set in the environment every call is also printed to standard output, for tests that run the
// server as a child process.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <limits>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "brindlex_nav2_semanticmap/layer.hpp"
#include "brindlex_nav2_semanticmap/layered_semanticmap.hpp"
#include "call_log.hpp"
#include "geometry_msgs/msg/transform_stamped.hpp"
#include "nav2_msgs/srv/clear_entire_costmap.hpp"
#include "pluginlib/class_list_macros.hpp"
#include "tf2_ros/static_transform_broadcaster.h"

namespace semantic_map_test {

namespace {
// Whether some thread (normally the caller) holds @p mutex right now. Asked from a helper thread,
// since try_lock on a mutex the caller holds itself is undefined.
template <typename MutexT>
bool heldByCaller(MutexT & mutex)
{
  return std::async(
             std::launch::async,
             [&mutex]() {
               if (mutex.try_lock()) {
                 mutex.unlock();
                 return false;
               }
               return true;
             })
      .get();
}
}  // namespace

class RecordingLayer : public semantic_map::BrindlexLayer
{
public:
  using MapT = semantic_map::Semanticmap<semantic_map::MapTypeAndHeight>;

  // The master costmap may already be gone here (the base cleans up before the layers go).
  ~RecordingLayer() override { CallLog::instance().record(makeCall("destroy", false)); }

  void onInitialize(bool & enabled_flag) override
  {
    LayerCall call = makeCall("onInitialize");
    call.fields_filled = layered_semanticmap != nullptr && !name.empty() && tf && !node.expired() &&
                         callback_group && clock;
    CallLog::instance().record(call);
    declareParameter("bounds", rclcpp::ParameterValue(std::string("none")));
    declareParameter("box", rclcpp::ParameterValue(std::vector<double>{0.0, 0.0, 1.0, 1.0}));
    declareParameter("clearable", rclcpp::ParameterValue(false));
    declareParameter("mark_flag", rclcpp::ParameterValue(0));
    declareParameter("enabled", rclcpp::ParameterValue(true));
    declareParameter("throw_in", rclcpp::ParameterValue(std::string("")));
    declareParameter("throw_std", rclcpp::ParameterValue(true));
    declareParameter("static_tf", rclcpp::ParameterValue(false));
    declareParameter("service", rclcpp::ParameterValue(std::string("")));
    auto locked = node.lock();
    locked->get_parameter(getFullName("bounds"), bounds_);
    locked->get_parameter(getFullName("box"), box_);
    locked->get_parameter(getFullName("clearable"), clearable_);
    int64_t flag = 0;
    locked->get_parameter(getFullName("mark_flag"), flag);
    mark_flag_ = static_cast<unsigned int>(flag);
    locked->get_parameter(getFullName("enabled"), enabled_flag);
    locked->get_parameter(getFullName("throw_in"), throw_in_);
    locked->get_parameter(getFullName("throw_std"), throw_std_);
    std::string service;
    locked->get_parameter(getFullName("service"), service);
    if (!service.empty()) {
      using ClearEntireCostmap = nav2_msgs::srv::ClearEntireCostmap;
      service_ = locked->create_service<ClearEntireCostmap>(
          service,
          [this](
              const std::shared_ptr<ClearEntireCostmap::Request>,
              std::shared_ptr<ClearEntireCostmap::Response>) {
            record("serve");
            CallLog::instance().passGate();
            record("served");
          },
          rmw_qos_profile_services_default,
          callback_group);
    }
    bool static_tf = false;
    locked->get_parameter(getFullName("static_tf"), static_tf);
    if (static_tf) {
      broadcaster_ = std::make_shared<tf2_ros::StaticTransformBroadcaster>(locked);
      geometry_msgs::msg::TransformStamped t;
      t.header.frame_id = "map";
      t.child_frame_id = "base_link";
      t.transform.translation.x = 0.5;
      t.transform.translation.y = 0.5;
      t.transform.rotation.w = 1.0;
      broadcaster_->sendTransform(t);
    }
    throwIfAsked("onInitialize");
  }

  void activate() override { record("activate"); }
  void deactivate() override { record("deactivate"); }
  void reset() override { record("reset"); }
  void matchSize() override
  {
    record("matchSize");
    throwIfAsked("matchSize");
  }

  bool isClearable() override
  {
    record("isClearable");
    return clearable_;
  }

  bool clearArea(double min_x, double min_y, double max_x, double max_y, bool invert) override
  {
    LayerCall call = makeCall("clearArea");
    call.a = min_x;
    call.b = min_y;
    call.c = max_x;
    call.d = max_y;
    call.invert = invert;
    CallLog::instance().record(call);
    return true;
  }

  void updateBounds(
      double, double, double, double * min_x, double * min_y, double * max_x, double * max_y)
      override
  {
    record("updateBounds");
    throwIfAsked("updateBounds");
    if (bounds_ == "whole") {
      *min_x = *min_y = std::numeric_limits<double>::lowest();
      *max_x = *max_y = std::numeric_limits<double>::max();
    } else if (bounds_ == "shrink") {
      *min_x += 1.0;
      *max_x -= 1.0;
    } else if (bounds_ == "box" && box_.size() == 4) {
      *min_x = std::min(*min_x, box_[0]);
      *min_y = std::min(*min_y, box_[1]);
      *max_x = std::max(*max_x, box_[2]);
      *max_y = std::max(*max_y, box_[3]);
    }
  }

  void updateMaps(
      MapT * map, nav2_costmap_2d::Costmap2D *, int min_i, int min_j, int max_i, int max_j) override
  {
    LayerCall call = makeCall("updateMaps");
    call.a = min_i;
    call.b = min_j;
    call.c = max_i;
    call.d = max_j;
    CallLog::instance().record(call);
    throwIfAsked("updateMaps");
    if (mark_flag_ == 0 || !isEnabled()) {
      return;
    }
    std::lock_guard<std::mutex> lock(map->mutex);
    auto & store = *map->grid;
    for (int j = std::max(min_j, 0); j < max_j && j < static_cast<int>(store.size_y); ++j) {
      for (int i = std::max(min_i, 0); i < max_i && i < static_cast<int>(store.size_x); ++i) {
        store.types[i + j * store.size_x] |= mark_flag_;
        store.heights[i + j * store.size_x] = 0.5f;
      }
    }
  }

private:
  LayerCall makeCall(const std::string & operation, bool probe_master = true)
  {
    LayerCall call;
    call.layer = name;
    call.operation = operation;
    call.thread = std::this_thread::get_id();
    if (layered_semanticmap != nullptr) {
      call.outer_locked = heldByCaller(layered_semanticmap->mutex);
      call.grid_locked = heldByCaller(layered_semanticmap->semanticmap.mutex);
      if (probe_master && layered_semanticmap->costmap != nullptr) {
        call.master_locked = heldByCaller(*layered_semanticmap->costmap->getMutex());
      }
    }
    if (std::getenv("BRINDLEX_TEST_LAYER_TRACE") != nullptr) {
      std::printf(
          "layer-call %s %s thread=%zu outer=%d\n",
          name.c_str(),
          operation.c_str(),
          std::hash<std::thread::id>()(call.thread),
          call.outer_locked ? 1 : 0);
      std::fflush(stdout);
    }
    return call;
  }

  void record(const std::string & operation) { CallLog::instance().record(makeCall(operation)); }

  // What some libraries throw: a value of a type of their own, outside the std::exception tree.
  struct NotAStdException
  {
    std::string operation;
  };

  void throwIfAsked(const std::string & operation) const
  {
    if (throw_in_ != operation) {
      return;
    }
    if (!throw_std_) {
      throw NotAStdException{operation};
    }
    throw std::runtime_error("test layer " + name + " fails in " + operation);
  }

  std::string bounds_{"none"};
  std::vector<double> box_;
  bool clearable_{false};
  unsigned int mark_flag_{0};
  std::string throw_in_;
  bool throw_std_{true};
  std::shared_ptr<tf2_ros::StaticTransformBroadcaster> broadcaster_;
  rclcpp::ServiceBase::SharedPtr service_;
};

}  // namespace semantic_map_test

PLUGINLIB_EXPORT_CLASS(semantic_map_test::RecordingLayer, semantic_map::BrindlexLayer)
