#include "brindlex_velnor/frustum_detector.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "util/util.hpp"

namespace velnor {
namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr float kInf = std::numeric_limits<float>::infinity();

// Fold a relative bearing into [0, 2 pi) in double, as the grid's angle origin requires. The
// fast path is exact: a float that already lies in the range is left unchanged by the loops.
inline float foldAngle(float a)
{
  if (a >= 0.0f && static_cast<double>(a) < kTwoPi) {
    return a;
  }
  double folded = a;
  if (!std::isfinite(folded)) {
    return std::numeric_limits<float>::quiet_NaN();
  }
  while (folded >= kTwoPi) {
    folded -= kTwoPi;
  }
  while (folded < 0.0) {
    folded += kTwoPi;
  }
  return static_cast<float>(folded);
}

// floor() to a grid index. Values far outside any grid (and NaN) saturate to a value that every
// range check of the caller rejects, instead of an undefined float-to-int conversion.
inline int32_t floorIndex(float v)
{
  constexpr float kLimit = 1.0e9f;
  if (!(v > -kLimit)) {
    return std::numeric_limits<int32_t>::min();
  }
  if (v >= kLimit) {
    return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(std::floor(v));
}

// Rotation of a (not necessarily unit) quaternion, as tf2::Matrix3x3::setRotation computes it.
bool quaternionToMatrix(double x, double y, double z, double w, Eigen::Matrix3f & out)
{
  const double d = x * x + y * y + z * z + w * w;
  if (!(d > 0.0) || !std::isfinite(d)) {
    return false;
  }
  const double s = 2.0 / d;
  const double xs = x * s, ys = y * s, zs = z * s;
  const double wx = w * xs, wy = w * ys, wz = w * zs;
  const double xx = x * xs, xy = x * ys, xz = x * zs;
  const double yy = y * ys, yz = y * zs, zz = z * zs;
  out << static_cast<float>(1.0 - (yy + zz)), static_cast<float>(xy - wz),
      static_cast<float>(xz + wy), static_cast<float>(xy + wz), static_cast<float>(1.0 - (xx + zz)),
      static_cast<float>(yz - wx), static_cast<float>(xz - wy), static_cast<float>(yz + wx),
      static_cast<float>(1.0 - (xx + yy));
  return true;
}

}  // namespace

FrustumDetector::FrustumDetector(
    const sensor_msgs::msg::CameraInfo & info,
    float view_min_distance,
    float view_max_distance,
    float theta_res,
    float r_res,
    const FrustumDetectorStrategy & outcome)
    : FrustumDetector(
          CameraFrustumParam(info, view_min_distance, view_max_distance), theta_res, r_res, outcome)
{
}

FrustumDetector::FrustumDetector(
    const CameraFrustumParam & camera,
    float theta_res,
    float r_res,
    const FrustumDetectorStrategy & outcome)
    : param(camera),
      has_transform(false),
      stamp(0, 0, RCL_SYSTEM_TIME),
      rotation{1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f},
      translation{0.0f, 0.0f, 0.0f},
      world_projection{},
      frustum_box{-kInf, kInf, -kInf, kInf},
      ready(false),
      reference_point_count(0),
      theta_min(kInf),
      theta_max(-kInf),
      theta_resolution(theta_res),
      r_min(kInf),
      r_max(-kInf),
      r_resolution(r_res),
      slope_grid(0, 0),
      r_index_min(0),
      r_index_max(0),
      theta_index_min(0),
      theta_index_max(0),
      input_cloud_count(0),
      strategy(outcome),
      maxima_valid_(false)
{
  // NaN fails the positive test as well and gets the default.
  if (!(theta_resolution > 0.0f)) {
    LOG_WARN("FrustumDetector input param theta_resolution is invalid, set to default 0.0881");
    theta_resolution = 0.0881f;
  }
  if (!(r_resolution > 0.0f)) {
    LOG_WARN("FrustumDetector input param r_resolution is invalid, set to default 0.05");
    r_resolution = 0.05f;
  }
}

bool FrustumDetector::setTrans(const geometry_msgs::msg::TransformStamped & camera_transform)
{
  const auto & q = camera_transform.transform.rotation;
  const auto & v = camera_transform.transform.translation;
  Eigen::Matrix3f r;
  if (!quaternionToMatrix(q.x, q.y, q.z, q.w, r)) {
    LOG_WARN(
        "FrustumDetector::setTrans rotation ({}, {}, {}, {}) is not a rotation, use identity",
        q.x,
        q.y,
        q.z,
        q.w);
    r.setIdentity();
  }
  Eigen::Matrix4f m = Eigen::Matrix4f::Identity();
  m.topLeftCorner<3, 3>() = r;
  m(0, 3) = static_cast<float>(v.x);
  m(1, 3) = static_cast<float>(v.y);
  m(2, 3) = static_cast<float>(v.z);
  return setPose(m, rclcpp::Time(camera_transform.header.stamp));
}

bool FrustumDetector::setPose(
    const Eigen::Matrix4f & camera_to_global, const rclcpp::Time & pose_stamp)
{
  const Eigen::Matrix3f r = camera_to_global.topLeftCorner<3, 3>();
  const Eigen::Vector3f t = camera_to_global.topRightCorner<3, 1>();
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) {
      rotation[row * 3 + col] = r(row, col);
    }
    translation[row] = t(row);
  }

  Eigen::Matrix3f k;
  k << param.projection[0], param.projection[1], param.projection[2], param.projection[4],
      param.projection[5], param.projection[6], param.projection[8], param.projection[9],
      param.projection[10];
  const Eigen::Vector3f p(param.projection[3], param.projection[7], param.projection[11]);
  const Eigen::Matrix3f krt = k * r.transpose();
  const Eigen::Vector3f last = p - krt * t;
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) {
      world_projection[row * 4 + col] = krt(row, col);
    }
    world_projection[row * 4 + 3] = last(row);
  }

  Eigen::Matrix<float, 3, 8> world;
  for (int c = 0; c < 8; ++c) {
    world.col(c) = r * param.corners.col(c) + t;
  }
  frustum_box.x_min = world.row(0).minCoeff();
  frustum_box.x_max = world.row(0).maxCoeff();
  frustum_box.y_min = world.row(1).minCoeff();
  frustum_box.y_max = world.row(1).maxCoeff();

  // Corner bearings are unwrapped around the centre direction, so a view across the +-pi
  // bearing gives one continuous range.
  const float ex = world.row(0).mean() - t.x();
  const float ey = world.row(1).mean() - t.y();
  const float centre = std::atan2(ey, ex);
  for (int c = 0; c < 8; ++c) {
    const float dx = world(0, c) - t.x();
    const float dy = world(1, c) - t.y();
    const float alpha = centre + std::atan2(ex * dy - ey * dx, ex * dx + ey * dy);
    theta_min = std::min(theta_min, alpha);
    theta_max = std::max(theta_max, alpha);
    const float dist = std::sqrt(dx * dx + dy * dy);
    r_min = std::min(r_min, dist);
    r_max = std::max(r_max, dist);
  }
  if (std::isfinite(theta_min)) {
    while (theta_min < 0.0f) {
      theta_min = static_cast<float>(static_cast<double>(theta_min) + kTwoPi);
      theta_max = static_cast<float>(static_cast<double>(theta_max) + kTwoPi);
    }
  }

  // A pose or calibration that yields no finite extent gives an empty grid.
  uint64_t n_theta = 0;
  uint64_t n_r = 0;
  const float theta_span = std::ceil((theta_max - theta_min) / theta_resolution);
  const float r_span = std::ceil((r_max - r_min) / r_resolution);
  if (std::isfinite(theta_span) && std::isfinite(r_span) && theta_span > 0.0f && r_span > 0.0f) {
    n_theta = static_cast<uint64_t>(theta_span);
    n_r = static_cast<uint64_t>(r_span);
  }
  const auto rows = static_cast<Eigen::Index>(n_r);
  const auto cols = static_cast<Eigen::Index>(n_theta);
  // Eigen keeps the storage when the cell count is unchanged.
  slope_grid.resize(rows, cols);
  slope_grid.setConstant(-kInf);
  maxima_valid_ = false;

  r_index_min = static_cast<int32_t>(rows) - 1;
  r_index_max = 0;
  theta_index_min = static_cast<int32_t>(cols) - 1;
  theta_index_max = 0;

  stamp = pose_stamp;
  has_transform = true;
  return true;
}

FrustumDetector::PolarCell FrustumDetector::polarCell(float x, float y) const
{
  PolarCell cell;
  const float dx = x - translation[0];
  const float dy = y - translation[1];
  cell.a = foldAngle(std::atan2(dy, dx) - theta_min);
  cell.d = std::sqrt(dx * dx + dy * dy);
  cell.rho = cell.d - r_min;
  cell.j = floorIndex(cell.a / theta_resolution);
  cell.i = floorIndex(cell.rho / r_resolution);
  return cell;
}

bool FrustumDetector::setShape(const geometry_msgs::msg::Polygon & polygon)
{
  const auto n_r = static_cast<int32_t>(slope_grid.rows());
  const auto n_theta = static_cast<int32_t>(slope_grid.cols());
  const float theta_extent = static_cast<float>(n_theta) * theta_resolution;
  const float r_extent = static_cast<float>(n_r) * r_resolution;
  for (const auto & vertex : polygon.points) {
    // A vertex without a position cannot place the window anywhere.
    if (!std::isfinite(vertex.x) || !std::isfinite(vertex.y)) {
      continue;
    }
    PolarCell cell = polarCell(vertex.x, vertex.y);
    if (!std::isfinite(cell.a)) {
      continue;
    }
    int32_t i = cell.i;
    int32_t j = cell.j;
    if (!(cell.a < theta_extent && cell.rho >= 0.0f && cell.rho < r_extent)) {
      i = std::max(0, std::min(i, n_r - 1));
      if (j >= n_theta) {
        // To the grid edge that is nearer across the angle wrap.
        const double beyond = static_cast<double>(j) - n_theta;
        const double around = kTwoPi / static_cast<double>(theta_resolution) - j;
        j = beyond > around ? 0 : n_theta - 1;
      }
    }
    r_index_min = std::min(r_index_min, i);
    r_index_max = std::max(r_index_max, i);
    theta_index_min = std::min(theta_index_min, j);
    theta_index_max = std::max(theta_index_max, j);
  }
  return true;
}

void FrustumDetector::binPoints(const float * xyz, size_t count, size_t stride)
{
  ++input_cloud_count;
  const auto n_r = static_cast<int32_t>(slope_grid.rows());
  const auto n_theta = static_cast<int32_t>(slope_grid.cols());
  if (n_r == 0 || n_theta == 0 || !has_transform) {
    return;
  }
  maxima_valid_ = false;
  // Everything the loop needs in locals, so the compiler keeps it in registers.
  const float tx = translation[0];
  const float ty = translation[1];
  const float tz = translation[2];
  const float t_min = theta_min;
  const float t_res = theta_resolution;
  const float r0 = r_min;
  const float r_res = r_resolution;
  const float theta_extent = static_cast<float>(n_theta) * t_res;
  const float r_extent = static_cast<float>(n_r) * r_res;
  const int32_t last_i = n_r - 1;
  const int32_t last_j = n_theta - 1;
  float * grid = slope_grid.data();
  int32_t placed = 0;
  for (size_t k = 0; k < count; ++k, xyz += stride) {
    const float dx = xyz[0] - tx;
    const float dy = xyz[1] - ty;
    const float d = std::sqrt(dx * dx + dy * dy);
    const float rho = d - r0;
    if (!(rho >= 0.0f && rho < r_extent)) {
      continue;
    }
    // A point straight above or below the camera (or with an infinite height) has no slope.
    const float s = (xyz[2] - tz) / d;
    if (!std::isfinite(s)) {
      continue;
    }
    const float a = foldAngle(std::atan2(dy, dx) - t_min);
    if (!(a < theta_extent)) {
      continue;
    }
    // a >= 0 and rho >= 0 here, so truncation is floor; the min() guards the last bin against
    // a quotient rounded up to the bin count.
    const int32_t j = std::min(static_cast<int32_t>(a / t_res), last_j);
    const int32_t i = std::min(static_cast<int32_t>(rho / r_res), last_i);
    float & cell = grid[static_cast<size_t>(j) * static_cast<size_t>(n_r) + static_cast<size_t>(i)];
    if (s > cell) {
      cell = s;
    }
    ++placed;
  }
  reference_point_count += placed;
}

bool FrustumDetector::setInputCloud(const std::shared_ptr<Cloud> & cloud)
{
  if (!cloud) {
    return true;
  }
  static_assert(sizeof(pcl::PointXYZ) == 4 * sizeof(float), "PointXYZ is x, y, z and padding");
  binPoints(cloud->points.empty() ? nullptr : cloud->points.front().data, cloud->points.size(), 4);
  return true;
}

bool FrustumDetector::setInputCloudList(const std::vector<std::shared_ptr<Cloud>> & clouds)
{
  for (const auto & cloud : clouds) {
    setInputCloud(cloud);
  }
  return true;
}

void FrustumDetector::addInputCloud(const PointMatrix & points)
{
  binPoints(points.data(), static_cast<size_t>(points.cols()), 3);
}

bool FrustumDetector::fixSetting()
{
  // Cropping twice would apply the window to an already cropped grid.
  if (ready) {
    return true;
  }
  const auto n_r = static_cast<int32_t>(slope_grid.rows());
  const auto n_theta = static_cast<int32_t>(slope_grid.cols());
  const bool valid = 0 <= r_index_min && r_index_min <= r_index_max && r_index_max < n_r &&
                     0 <= theta_index_min && theta_index_min <= theta_index_max &&
                     theta_index_max < n_theta;
  if (valid) {
    const Eigen::MatrixXf block = slope_grid.block(
        r_index_min,
        theta_index_min,
        r_index_max - r_index_min + 1,
        theta_index_max - theta_index_min + 1);
    slope_grid = block;
    r_min += static_cast<float>(r_index_min) * r_resolution;
    theta_min += static_cast<float>(theta_index_min) * theta_resolution;
  } else {
    slope_grid.resize(0, 0);
  }
  if (input_cloud_count <= 0) {
    reference_point_count = -1;
  }
  computeMaxima();
  ready = true;
  return true;
}

void FrustumDetector::computeMaxima()
{
  const Eigen::Index n_r = slope_grid.rows();
  const Eigen::Index n_theta = slope_grid.cols();
  column_max_.assign(static_cast<size_t>(n_theta), -kInf);
  prefix_max_.resize(n_r, n_theta);
  for (Eigen::Index j = 0; j < n_theta; ++j) {
    float running = -kInf;
    for (Eigen::Index i = 0; i < n_r; ++i) {
      prefix_max_(i, j) = running;
      running = std::max(running, slope_grid(i, j));
    }
    column_max_[static_cast<size_t>(j)] = running;
  }
  maxima_valid_ = true;
}

float FrustumDetector::columnMax(int32_t j) const
{
  if (maxima_valid_) {
    return column_max_[static_cast<size_t>(j)];
  }
  return slope_grid.rows() == 0 ? -kInf : slope_grid.col(j).maxCoeff();
}

float FrustumDetector::columnPrefixMax(int32_t i, int32_t j) const
{
  if (maxima_valid_) {
    return prefix_max_(i, j);
  }
  return i == 0 ? -kInf : slope_grid.col(j).head(i).maxCoeff();
}

void FrustumDetector::clear()
{
  has_transform = false;
  stamp = rclcpp::Time(0, 0, stamp.get_clock_type());
  ready = false;
  reference_point_count = 0;
  input_cloud_count = 0;
  theta_min = kInf;
  theta_max = -kInf;
  r_min = kInf;
  r_max = -kInf;
  frustum_box = Box{-kInf, kInf, -kInf, kInf};
  maxima_valid_ = false;
}

bool FrustumDetector::isInsideFrustum(const pcl::PointXYZ & point) const
{
  if (!has_transform) {
    LOG_ERROR("FrustumDetector::isInsideFrustum is not ok, init was failed");
    return false;
  }
  const float x = point.x;
  const float y = point.y;
  const float z = point.z;
  if (x < frustum_box.x_min || x > frustum_box.x_max || y < frustum_box.y_min ||
      y > frustum_box.y_max) {
    return false;
  }
  const float * w = world_projection;
  const float s = w[8] * x + w[9] * y + w[10] * z + w[11];
  if (s < param.view_min_distance || s > param.view_max_distance) {
    return false;
  }
  const float u = (w[0] * x + w[1] * y + w[2] * z + w[3]) / s;
  if (u < 0.0f || u >= static_cast<float>(param.width)) {
    return false;
  }
  const float v = (w[4] * x + w[5] * y + w[6] * z + w[7]) / s;
  return 0.0f <= v && v < static_cast<float>(param.height);
}

bool FrustumDetector::isCrossFrustum(float x_min, float x_max, float y_min, float y_max) const
{
  if (!has_transform) {
    LOG_WARN("FrustumDetector::isCrossFrustum is not ok");
    return false;
  }
  if (x_max - x_min < -1e-6f || y_max - y_min < -1e-6f) {
    LOG_WARN(
        "FrustumDetector::isCrossFrustum input may be wrong, x_min {}, x_max {}, y_min {}, y_max "
        "{}",
        x_min,
        x_max,
        y_min,
        y_max);
    return false;
  }
  return frustum_box.x_min <= x_max && x_min <= frustum_box.x_max && frustum_box.y_min <= y_max &&
         y_min <= frustum_box.y_max;
}

int32_t FrustumDetector::checkPointFrustumStatus(
    const pcl::PointXYZ & point, bool inside_known) const
{
  if (!ready) {
    return -1;
  }
  if (!inside_known && !isInsideFrustum(point)) {
    return 0;
  }
  if (reference_point_count == 0) {
    return strategy.no_reference_point;
  }
  const PolarCell cell = polarCell(point.x, point.y);
  const auto n_r = static_cast<int32_t>(slope_grid.rows());
  const auto n_theta = static_cast<int32_t>(slope_grid.cols());
  if (cell.j < 0 || cell.j >= n_theta) {
    return strategy.out_of_theta;
  }
  const float column_max = columnMax(cell.j);
  const bool column_empty = std::isinf(column_max);
  if (cell.i < 0) {
    return column_empty ? strategy.near_range_without_point : strategy.near_range_with_point;
  }
  const float s = (point.z - translation[2]) / cell.d;
  if (cell.i < n_r) {
    if (std::isfinite(slope_grid(cell.i, cell.j))) {
      return 1;
    }
    if (cell.i > 0 && columnPrefixMax(cell.i, cell.j) >= s) {
      return 2;
    }
    return column_empty ? strategy.inside_without_point : strategy.inside_with_point;
  }
  if (column_empty) {
    return strategy.far_range_without_point;
  }
  if (column_max >= s) {
    return 2;
  }
  return strategy.far_range_with_point;
}

bool FrustumDetector::getMarker(visualization_msgs::msg::Marker & marker)
{
  if (!ready) {
    return false;
  }
  marker.header.stamp = stamp;
  marker.points.resize(16);
  const float t0 = theta_min;
  const float t1 = theta_min + static_cast<float>(slope_grid.cols()) * theta_resolution;
  const float p0 = r_min;
  const float p1 = r_min + static_cast<float>(slope_grid.rows()) * r_resolution;
  const float tx = translation[0];
  const float ty = translation[1];
  const float sector[4][2] = {
      {tx + p0 * std::cos(t0), ty + p0 * std::sin(t0)},
      {tx + p0 * std::cos(t1), ty + p0 * std::sin(t1)},
      {tx + p1 * std::cos(t1), ty + p1 * std::sin(t1)},
      {tx + p1 * std::cos(t0), ty + p1 * std::sin(t0)},
  };
  const int sector_order[8] = {0, 1, 1, 2, 2, 3, 3, 0};
  for (int k = 0; k < 8; ++k) {
    marker.points[k].x = sector[sector_order[k]][0];
    marker.points[k].y = sector[sector_order[k]][1];
  }
  const Box & b = frustum_box;
  const float box[8][2] = {
      {b.x_min, b.y_min},
      {b.x_min, b.y_max},
      {b.x_min, b.y_max},
      {b.x_max, b.y_max},
      {b.x_max, b.y_max},
      {b.x_max, b.y_min},
      {b.x_max, b.y_min},
      {b.x_min, b.y_min},
  };
  for (int k = 0; k < 8; ++k) {
    marker.points[8 + k].x = box[k][0];
    marker.points[8 + k].y = box[k][1];
  }
  return true;
}

}  // namespace velnor
