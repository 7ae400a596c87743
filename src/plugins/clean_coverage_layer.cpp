#include "lorvent/clean_coverage_layer.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <functional>
#include <limits>
#include <mutex>
#include <opencv2/imgproc.hpp>
#include <stdexcept>
#include <string>
#include <utility>

#include "brindlex_nav2_semanticmap/layered_semanticmap.hpp"
#include "brindlex_nav2_semanticmap/semantic_type.hpp"
#include "geometry_msgs/msg/pose_stamped.hpp"
#include "lorvent/parameter_check.hpp"
#include "pluginlib/class_list_macros.hpp"
#include "rclcpp/create_service.hpp"
#include "util/util.hpp"

namespace semantic_map {

namespace {

using CostmapLock = std::lock_guard<nav2_costmap_2d::Costmap2D::mutex_t>;

// OpenCV's largest line thickness (MAX_THICKNESS in drawing.cpp); polylines rejects more.
constexpr double kMaxThickness = 32767.0;

// OpenCV draws a thick line in 16.16 fixed point and clips the outline of its band with 64-bit
// products of two coordinate differences: exact while the path, its band and the raster fit in a
// square of this many cells (each product stays below 2^62).
constexpr int kExactDrawingSpan = 1 << 15;

// Farthest cell a carried-over path point may lie from the grid's origin. Points beyond it (only
// after absurd jumps of the grid) stay at this distance: the differences of two cells, the
// path's bounding box and OpenCV's fixed-point drawing stay within their integer ranges.
constexpr double kFarthestCell = 1 << 29;

// Cell of world coordinate @p world (m) on an axis starting at @p origin with @p resolution.
int carriedCell(double world, double origin, double resolution)
{
  const double cell = std::floor((world - origin) / resolution);
  return std::isnan(cell) ? 0 : static_cast<int>(std::clamp(cell, -kFarthestCell, kFarthestCell));
}

// Half the cleaning width in whole centimetres, rounded up, for the trigger's log line; widths
// beyond the range of an int saturate and a NaN width logs 0.
int halfCoverageWidthCm(double coverage_width)
{
  const double half = std::ceil(coverage_width * 100 * 0.5);
  if (std::isnan(half)) {
    return 0;
  }
  if (half >= static_cast<double>(std::numeric_limits<int>::max())) {
    return std::numeric_limits<int>::max();
  }
  if (half <= static_cast<double>(std::numeric_limits<int>::min())) {
    return std::numeric_limits<int>::min();
  }
  return static_cast<int>(half);
}

// Cuts segment a-b (cells) down to its part inside the box [low, high] (Liang-Barsky). False when
// no part lies inside.
bool clipSegment(cv::Point2d & a, cv::Point2d & b, const cv::Point2d & low, const cv::Point2d & high)
{
  const cv::Point2d d = b - a;
  // For each side: the segment's step towards it and the room between a and it.
  const double step[4] = {-d.x, d.x, -d.y, d.y};
  const double room[4] = {a.x - low.x, high.x - a.x, a.y - low.y, high.y - a.y};
  double enter = 0.0;
  double leave = 1.0;
  for (int side = 0; side < 4; ++side) {
    if (step[side] == 0.0) {
      if (room[side] < 0.0) {
        return false;  // parallel to this side and beyond it
      }
      continue;
    }
    const double t = room[side] / step[side];
    if (step[side] < 0.0) {
      enter = std::max(enter, t);
    } else {
      leave = std::min(leave, t);
    }
  }
  if (enter > leave) {
    return false;
  }
  const cv::Point2d start = a;
  a = start + enter * d;
  b = start + leave * d;
  return true;
}

}  // namespace

CleanCoverageLayer::CleanCoverageLayer() = default;

CleanCoverageLayer::~CleanCoverageLayer() = default;

void CleanCoverageLayer::onInitialize(bool & enabled_flag)
{
  LOG_INFO("{} being initialized as CleanCoverageLayer", name);
  declareParameter("enabled", rclcpp::ParameterValue(true));
  declareParameter("coverage_width", rclcpp::ParameterValue(0.5));
  declareParameter("coverage_length", rclcpp::ParameterValue(0.42));
  declareParameter(
      "trigger_srv_name", rclcpp::ParameterValue(std::string("/trigger_clean_coverage")));
  declareParameter(
      "get_covered_points_srv_name", rclcpp::ParameterValue(std::string("/get_coverage_point")));
  declareParameter("local_optimize_length", rclcpp::ParameterValue(5.0));
  declareParameter("global_optimize_length", rclcpp::ParameterValue(50.0));
  declareParameter("local_optimize_epsilon", rclcpp::ParameterValue(3.0));
  declareParameter("global_optimize_epsilon", rclcpp::ParameterValue(3.0));
  declareParameter("clean_path_to_robot_offset", rclcpp::ParameterValue(0.2));
  declareParameter("distance_threshold", rclcpp::ParameterValue(0.2));

  auto locked_node = node.lock();
  if (!locked_node) {
    throw std::runtime_error{"Failed to lock node"};
  }
  locked_node->get_parameter(getFullName("enabled"), enabled_flag);
  locked_node->get_parameter(getFullName("coverage_width"), coverage_width);
  locked_node->get_parameter(getFullName("coverage_length"), coverage_length);
  locked_node->get_parameter(getFullName("trigger_srv_name"), trigger_srv_name);
  locked_node->get_parameter(
      getFullName("get_covered_points_srv_name"), get_covered_points_srv_name);
  locked_node->get_parameter(getFullName("local_optimize_length"), local_optimize_length);
  locked_node->get_parameter(getFullName("global_optimize_length"), global_optimize_length);
  locked_node->get_parameter(getFullName("local_optimize_epsilon"), local_optimize_epsilon);
  locked_node->get_parameter(getFullName("global_optimize_epsilon"), global_optimize_epsilon);
  locked_node->get_parameter(getFullName("clean_path_to_robot_offset"), clean_path_to_robot_offset);
  locked_node->get_parameter(getFullName("distance_threshold"), distance_threshold);
  if (!(coverage_width > 0.0) || !std::isfinite(coverage_width)) {
    LOG_WARN(
        "CleanCoverageLayer {}: coverage_width {} is not a positive width, the cleaned path is "
        "drawn one cell wide",
        name,
        coverage_width);
  }
  // The straightening thins the path by this distance; against NaN no comparison holds.
  if (std::isnan(distance_threshold)) {
    refuseParameter(
        name, getFullName("distance_threshold"), "a number of metres", distance_threshold);
  }
  current = false;

  matchSize();

  using std::placeholders::_1;
  using std::placeholders::_2;
  trigger_service = rclcpp::create_service<TriggerCleanCoverage>(
      locked_node->get_node_base_interface(),
      locked_node->get_node_services_interface(),
      trigger_srv_name,
      std::bind(&CleanCoverageLayer::triggerCallBack, this, _1, _2),
      rmw_qos_profile_services_default,
      callback_group);
  covered_points_service = rclcpp::create_service<GetCoveredPoints>(
      locked_node->get_node_base_interface(),
      locked_node->get_node_services_interface(),
      get_covered_points_srv_name,
      std::bind(&CleanCoverageLayer::getCoveredPointsCallback, this, _1, _2),
      rmw_qos_profile_services_default,
      callback_group);
  LOG_INFO("{} initialization complete!", name);
}

void CleanCoverageLayer::deactivate() {}

void CleanCoverageLayer::activate() {}

void CleanCoverageLayer::reset() { current = false; }

bool CleanCoverageLayer::isClearable() { return false; }

bool CleanCoverageLayer::clearArea(double, double, double, double, bool) { return false; }

void CleanCoverageLayer::matchSize()
{
  if (layered_semanticmap == nullptr) {
    return;
  }
  CostmapLock lock(*getMutex());
  GridT & grid = layered_semanticmap->semanticmap;
  std::lock_guard<std::mutex> grid_lock(grid.mutex);
  carryPathOver(grid.resolution, grid.origin_x, grid.origin_y);
  resizeMap(grid.grid->size_x, grid.grid->size_y, grid.resolution, grid.origin_x, grid.origin_y);
}

void CleanCoverageLayer::followRollingWindow()
{
  if (layered_semanticmap == nullptr) {
    return;
  }
  GridT & grid = layered_semanticmap->semanticmap;
  std::lock_guard<std::mutex> grid_lock(grid.mutex);
  if (grid.origin_x == origin_x_ && grid.origin_y == origin_y_) {
    return;
  }
  carryPathOver(resolution_, grid.origin_x, grid.origin_y);
  origin_x_ = grid.origin_x;
  origin_y_ = grid.origin_y;
}

void CleanCoverageLayer::carryPathOver(double resolution, double origin_x, double origin_y)
{
  if (resolution == resolution_ && origin_x == origin_x_ && origin_y == origin_y_) {
    return;  // the same geometry: every point keeps its cell
  }
  if (!(resolution_ > 0.0) || !(resolution > 0.0) || !std::isfinite(origin_x_ + origin_y_) ||
      !std::isfinite(origin_x + origin_y)) {
    return;  // one of the two geometries places no cell in the world
  }
  for (cv::Point & point : clean_path) {
    double wx = 0.0;
    double wy = 0.0;
    cellCentre(point, wx, wy);
    point = cv::Point(carriedCell(wx, origin_x, resolution), carriedCell(wy, origin_y, resolution));
  }
}

void CleanCoverageLayer::cellCentre(const cv::Point & cell, double & wx, double & wy) const
{
  wx = origin_x_ + (cell.x + 0.5) * resolution_;
  wy = origin_y_ + (cell.y + 0.5) * resolution_;
}

void CleanCoverageLayer::updateBounds(
    double robot_x_in,
    double robot_y_in,
    double robot_yaw_in,
    double * min_x,
    double * min_y,
    double * max_x,
    double * max_y)
{
  robot_x = robot_x_in;
  robot_y = robot_y_in;
  robot_yaw = robot_yaw_in;

  CostmapLock lock(*getMutex());
  followRollingWindow();
  cv::Point low;
  cv::Point high;
  if (clean_path.empty()) {
    if (!robotOffsetPoint(0.0, low)) {
      return;
    }
    high = low;
  } else {
    const cv::Rect box = cv::boundingRect(clean_path);
    low = {box.x, box.y};
    high = {box.x + box.width, box.y + box.height};
  }
  double wx = 0.0;
  double wy = 0.0;
  cellCentre(low, wx, wy);
  *min_x = std::min(*min_x, wx - bounds_margin);
  *min_y = std::min(*min_y, wy - bounds_margin);
  cellCentre(high, wx, wy);
  *max_x = std::max(*max_x, wx + bounds_margin);
  *max_y = std::max(*max_y, wy + bounds_margin);
}

void CleanCoverageLayer::updateMaps(
    GridT * grid, nav2_costmap_2d::Costmap2D *, int min_i, int min_j, int max_i, int max_j)
{
  CostmapLock lock(*getMutex());
  if (!enabled.load() || !active.load()) {
    return;
  }
  addRobotPoseToPath();
  if (clean_path.size() <= 4) {
    return;
  }
  pathStraightening(local_optimize_length, local_index, local_optimize_epsilon);
  keepIndicesOnPath();
  pathStraightening(global_optimize_length, global_index, global_optimize_epsilon);
  keepIndicesOnPath();

  const int rows = static_cast<int>(size_y_);
  const int columns = static_cast<int>(size_x_);
  if (clean_mat.rows != rows || clean_mat.cols != columns || clean_mat.type() != CV_8UC1) {
    clean_mat = cv::Mat::zeros(rows, columns, CV_8UC1);
  } else {
    clean_mat.setTo(0);
  }
  drawCleanPath();

  if (grid == nullptr) {
    return;
  }
  std::lock_guard<std::mutex> grid_lock(grid->mutex);
  MapTypeAndHeight & store = *grid->grid;
  // The window never reaches past the grid nor past the raster, should the two ever differ.
  const int x_end = std::min(max_i, static_cast<int>(std::min<uint32_t>(store.size_x, size_x_)));
  const int y_end = std::min(max_j, static_cast<int>(std::min<uint32_t>(store.size_y, size_y_)));
  const int x_begin = std::max(min_i, 0);
  const int y_begin = std::max(min_j, 0);
  const unsigned int covered = SemanticFlags::COVERED_AREA;
  // Row by row: the same cells as a column-wise walk, in memory order.
  for (int y = y_begin; y < y_end; ++y) {
    const unsigned char * drawn = clean_mat.ptr<unsigned char>(y);
    SemanticTypeBase<unsigned int> * types =
        store.types + static_cast<std::size_t>(y) * store.size_x;
    for (int x = x_begin; x < x_end; ++x) {
      unsigned int & word = types[x].value;
      word = drawn[x] != 0 ? (word | covered) : (word & ~covered);
    }
  }
  current = true;
}

void CleanCoverageLayer::resetCleanPath()
{
  clean_path.clear();
  local_index = 1;
  global_index = 1;
}

bool CleanCoverageLayer::robotOffsetPoint(double offset, cv::Point & cell)
{
  double x = robot_x;
  double y = robot_y;
  if (offset != 0.0) {
    x = robot_x - offset * std::cos(robot_yaw);
    y = robot_y - offset * std::sin(robot_yaw);
  }
  // worldToMap casts the cell index unchecked: keep points it cannot represent away from it.
  if (!std::isfinite(x) || !std::isfinite(y) || !(resolution_ > 0.0) ||
      !((x - origin_x_) / resolution_ < size_x_) || !((y - origin_y_) / resolution_ < size_y_)) {
    return false;
  }
  unsigned int mx = 0;
  unsigned int my = 0;
  if (!worldToMap(x, y, mx, my)) {
    return false;
  }
  cell = cv::Point(static_cast<int>(mx), static_cast<int>(my));
  return true;
}

void CleanCoverageLayer::addRobotPoseToPath()
{
  cv::Point p(0, 0);
  if (!robotOffsetPoint(clean_path_to_robot_offset, p)) {
    return;
  }
  const std::size_t k = std::min<std::size_t>(3, clean_path.size());
  if (std::find(clean_path.end() - static_cast<std::ptrdiff_t>(k), clean_path.end(), p) !=
      clean_path.end()) {
    return;
  }
  clean_path.push_back(p);
}

void CleanCoverageLayer::pathStraightening(
    const double & length, unsigned int & index, const double & epsilon)
{
  const std::size_t n = clean_path.size();
  index =
      std::clamp<unsigned int>(index, 1, static_cast<unsigned int>(std::max<std::size_t>(n, 1)));
  // Summed in cells and scaled once: a sum of rounded metre steps would fall short of the length
  // (a hundred 0.05 m steps add up to less than 5 m).
  double acc_cells = 0.0;
  for (std::size_t i = index; i < n; ++i) {
    const cv::Point step = clean_path[i] - clean_path[i - 1];
    acc_cells += std::hypot(static_cast<double>(step.x), static_cast<double>(step.y));
    if (!(acc_cells * resolution_ >= length)) {
      continue;  // also for a NaN length, which is never reached
    }
    const std::vector<cv::Point> segment(
        clean_path.begin() + static_cast<std::ptrdiff_t>(index - 1), clean_path.end());
    std::vector<cv::Point> out;
    simplify_path.douglasPeucker(segment, epsilon, distance_threshold / resolution_, out);
    // The thinning may drop the segment's last point, the robot's latest cell. It stays: the band
    // reaches the robot, and a robot standing still is not appended and straightened anew in
    // every cycle.
    if (out.empty() || out.back() != segment.back()) {
      out.push_back(segment.back());
    }
    if (out == segment) {
      // Nothing to drop. Appending would only repeat the junction, a new step for the other
      // straightening to walk, whose own copy of the junction would again be one for this one.
      index = static_cast<unsigned int>(n);
      return;
    }
    clean_path.resize(index);
    // The simplified segment starts with the last point kept: that point is recorded twice, and
    // GetCoveredPoints hands out both copies.
    clean_path.insert(clean_path.end(), out.begin(), out.end());
    index = static_cast<unsigned int>(clean_path.size());
    return;
  }
}

void CleanCoverageLayer::keepIndicesOnPath()
{
  const auto last = static_cast<uint32_t>(std::max<std::size_t>(clean_path.size(), 1));
  local_index = std::min(local_index, last);
  global_index = std::min(global_index, last);
}

int CleanCoverageLayer::lineThickness() const
{
  const double cells = coverage_width / resolution_;
  if (!(cells >= 1.0) || !std::isfinite(coverage_width)) {
    return 1;  // zero, negative, sub-cell or non-finite width, or a costmap not sized yet
  }
  return static_cast<int>(std::min(cells, kMaxThickness));
}

void CleanCoverageLayer::drawCleanPath()
{
  if (clean_mat.empty() || clean_path.empty()) {
    return;  // no cells to draw into (the grid is not sized) or nothing to draw
  }
  const int thickness = lineThickness();
  // A thin line OpenCV clips in whole cells, which is exact at any distance.
  const cv::Rect extent =
      cv::boundingRect(clean_path) | cv::Rect(0, 0, clean_mat.cols, clean_mat.rows);
  if (thickness <= 1 || std::max(extent.width, extent.height) + 2 * thickness < kExactDrawingSpan) {
    const std::vector<std::vector<cv::Point>> polylines{clean_path};
    cv::polylines(clean_mat, polylines, false, cv::Scalar(kPathValue), thickness, cv::LINE_4, 0);
    return;
  }
  // Points farther apart (a rolling window after a long drive) would overflow that clipping:
  // segments that reach past the raster by more than their band and caps are clipped to that
  // reach first.
  const double reach = thickness + 2.0;
  const cv::Point2d low(-reach, -reach);
  const cv::Point2d high(clean_mat.cols + reach, clean_mat.rows + reach);
  // Clipped ends are drawn to a fraction of a cell, so the clipped band follows the true line.
  int shift = 8;
  while (shift > 0 && std::max(high.x, high.y) * (1 << shift) > (1 << 30)) {
    --shift;
  }
  const auto fixed = [shift](const cv::Point2d & p) {
    return cv::Point(
        static_cast<int>(std::lround(p.x * (1 << shift))),
        static_cast<int>(std::lround(p.y * (1 << shift))));
  };
  // A segment drawn alone, with round caps at both ends, colours the pixels it colours as a part
  // of the polyline: the caps at the joints are the same.
  for (std::size_t i = 1; i < clean_path.size(); ++i) {
    cv::Point2d a(clean_path[i - 1]);
    cv::Point2d b(clean_path[i]);
    if (clipSegment(a, b, low, high)) {
      cv::line(clean_mat, fixed(a), fixed(b), cv::Scalar(kPathValue), thickness, cv::LINE_4, shift);
    }
  }
}

unsigned char CleanCoverageLayer::getMatValue(unsigned int x, unsigned int y)
{
  return clean_mat.at<unsigned char>(static_cast<int>(y), static_cast<int>(x)) != 0 ? kPathValue
                                                                                    : 0;
}

void CleanCoverageLayer::triggerCallBack(
    std::shared_ptr<TriggerCleanCoverage::Request> request,
    std::shared_ptr<TriggerCleanCoverage::Response> response)
{
  {
    CostmapLock lock(*getMutex());
    if (!request->enable) {
      resetCleanPath();
    }
    LOG_INFO(
        "CleanCoverageLayer::triggerCallBack half_coverage_width is {},path_overlap_distance is {}",
        halfCoverageWidthCm(coverage_width),
        request->path_overlap_distance);
    active.store(request->enable);
  }
  response->success = true;
}

void CleanCoverageLayer::getCoveredPointsCallback(
    std::shared_ptr<GetCoveredPoints::Request> request,
    std::shared_ptr<GetCoveredPoints::Response> response)
{
  std::vector<geometry_msgs::msg::PoseStamped> poses;
  {
    CostmapLock lock(*getMutex());
    if (request->enable) {
      poses.reserve(clean_path.size());
      for (const cv::Point & cell : clean_path) {
        geometry_msgs::msg::PoseStamped pose;
        cellCentre(cell, pose.pose.position.x, pose.pose.position.y);
        pose.pose.position.z = 0.0;
        pose.pose.orientation.x = 0.0;
        pose.pose.orientation.y = 0.0;
        pose.pose.orientation.z = 0.0;
        pose.pose.orientation.w = 1.0;
        poses.push_back(pose);
      }
    }
  }
  response->poses = std::move(poses);
}

}  // namespace semantic_map

PLUGINLIB_EXPORT_CLASS(semantic_map::CleanCoverageLayer, semantic_map::BrindlexLayer)
