#include "brindlex_velnor/frustum_detector.hpp"

#include <algorithm>
#include <array>
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

// atan2 within about 3e-7 rad of the true angle over the whole plane (Abramowitz-Stegun 4.4.49
// on the octant-reduced ratio). Branch-free, so loops over it vectorise. Only used to pick a bin
// well away from every bin edge; near an edge the exact atan2f path decides.
inline float approxAtan2(float dy, float dx)
{
  constexpr float kPi = 3.14159265358979f;
  constexpr float kHalfPi = 1.57079632679490f;
  const float ax = std::fabs(dx);
  const float ay = std::fabs(dy);
  const bool steep = ay > ax;
  const float num = steep ? ax : ay;
  const float den = steep ? ay : ax;
  const float t = num / den;
  const float t2 = t * t;
  float p = 0.0028662257f;
  p = p * t2 - 0.0161657367f;
  p = p * t2 + 0.0429096138f;
  p = p * t2 - 0.0752896400f;
  p = p * t2 + 0.1065626393f;
  p = p * t2 - 0.1420889944f;
  p = p * t2 + 0.1999355085f;
  p = p * t2 - 0.3333314528f;
  float r = t + t * t2 * p;
  r = steep ? kHalfPi - r : r;
  r = dx < 0.0f ? kPi - r : r;
  return dy < 0.0f ? -r : r;
}

// Angle bins of a grid, with the band around each bin edge inside which the approximate bearing
// cannot decide the bin and the exact computation runs instead.
struct AngleBins
{
  // With the edge band computed before (see band()).
  AngleBins(float origin, float resolution, int32_t count, const std::array<float, 4> & band)
      : theta_min(origin),
        theta_resolution(resolution),
        bins(static_cast<float>(count)),
        last(count - 1),
        margin(band[0]),
        inside_hi(band[1]),
        outside_lo(band[2]),
        outside_hi(band[3])
  {
  }

  std::array<float, 4> band() const { return {margin, inside_hi, outside_lo, outside_hi}; }

  AngleBins(float origin, float resolution, int32_t count)
      : theta_min(origin),
        theta_resolution(resolution),
        bins(static_cast<float>(count)),
        last(count - 1)
  {
    // Bearing error of the approximation plus the roundings of the subtraction, the fold and the
    // division, in bins; generous, it only costs exact evaluations.
    margin = 4.0e-6f / resolution + 16.0f * bins * std::numeric_limits<float>::epsilon();
    // A bearing folds into [0, 2 pi): an approximate one just below the wrap may truly lie just
    // above 0, in column 0. Where the grid spans more than 2 pi (two poses without a clear), the
    // columns beyond the wrap exist, so the fast path must end there as well as at the grid's
    // end.
    const float turn = static_cast<float>(kTwoPi / resolution);
    inside_hi = std::min(bins, turn) - margin;
    outside_lo = bins + margin;
    outside_hi = turn - margin;
  }

  // Column of a relative bearing already divided by the resolution (q), or -1 outside the grid,
  // by the query rule (see queryExact()). dx, dy are needed for the exact path.
  int32_t index(float q, float dx, float dy) const
  {
    if (q > margin && q < inside_hi) {
      const auto j = static_cast<int32_t>(q);
      const float f = q - static_cast<float>(j);
      if (f > margin && f < 1.0f - margin) {
        return j;
      }
    } else if (q > outside_lo && q < outside_hi) {
      return -1;
    }
    return queryExact(dx, dy);
  }

  // The query rule: column floor(a / theta_resolution), outside when that is not below the
  // column count. Within a float step of the grid's end this differs from comparing a with the
  // grid's angular extent, which the binning uses.
  int32_t queryExact(float dx, float dy) const
  {
    const float a = foldAngle(std::atan2(dy, dx) - theta_min);
    const int32_t j = floorIndex(a / theta_resolution);
    return j >= 0 && j <= last ? j : -1;
  }

  // The binning rule: inside when a is below the grid's angular extent; a quotient that rounds
  // up to the column count still means the last column.
  int32_t binExact(float dx, float dy) const
  {
    const float a = foldAngle(std::atan2(dy, dx) - theta_min);
    if (!(a < bins * theta_resolution)) {
      return -1;
    }
    return std::min(static_cast<int32_t>(a / theta_resolution), last);
  }

  float theta_min;
  float theta_resolution;
  float bins;
  int32_t last;
  float margin;
  float inside_hi;
  float outside_lo;
  float outside_hi;
};

// Approximate relative bearing in bins, folded like the exact one for every origin below 4 pi.
inline float approxBins(float dx, float dy, float theta_min, float resolution)
{
  constexpr float kTwoPiF = 6.28318530717959f;
  float a = approxAtan2(dy, dx) - theta_min;
  a = a < 0.0f ? a + kTwoPiF : a;
  a = a < 0.0f ? a + kTwoPiF : a;
  return a / resolution;
}

struct BinningContext
{
  float tx;
  float ty;
  float tz;
  float r_min;
  float r_resolution;
  float r_extent;
  int32_t n_r;
  int32_t last_i;
  float * grid;
};

// Bins count points laid out every Stride floats. The first pass per block is branch-free and
// vectorises (approximate bearing in bins, range in bins, slope, and whether the point can be in
// the grid at all); the second places the points, taking the exact bearing only near bin edges.
template <size_t Stride>
int32_t binPointsStrided(
    const float * xyz, size_t count, const BinningContext & c, const AngleBins & bins)
{
  constexpr size_t kBlock = 256;
  float q[kBlock];
  float range_bins[kBlock];
  float slope[kBlock];
  float candidate[kBlock];
  const float tx = c.tx;
  const float ty = c.ty;
  const float tz = c.tz;
  const float r_min = c.r_min;
  const float r_resolution = c.r_resolution;
  const float r_extent = c.r_extent;
  const float theta_min = bins.theta_min;
  const float theta_resolution = bins.theta_resolution;
  const float outside_lo = bins.outside_lo;
  const float outside_hi = bins.outside_hi;
  const float margin = bins.margin;
  const float inside_hi = bins.inside_hi;
  const int32_t n_r = c.n_r;
  const int32_t last_i = c.last_i;
  float * grid = c.grid;
  int32_t placed = 0;
  for (size_t base = 0; base < count; base += kBlock) {
    const size_t n = std::min(kBlock, count - base);
    const float * p = xyz + base * Stride;
    for (size_t k = 0; k < n; ++k) {
      const float dx = p[k * Stride] - tx;
      const float dy = p[k * Stride + 1] - ty;
      const float d = std::sqrt(dx * dx + dy * dy);
      const float rho = d - r_min;
      const float s = (p[k * Stride + 2] - tz) / d;
      const float a = approxBins(dx, dy, theta_min, theta_resolution);
      // Float selects only, so the pass has no branch. A point straight above or below the
      // camera (or with an infinite height) has no slope and is skipped.
      float w = rho >= 0.0f ? 1.0f : 0.0f;
      w = rho < r_extent ? w : 0.0f;
      w = std::fabs(s) < kInf ? w : 0.0f;
      w = a > outside_lo ? (a < outside_hi ? 0.0f : w) : w;
      candidate[k] = w;
      q[k] = a;
      range_bins[k] = rho / r_resolution;
      slope[k] = s;
    }
    for (size_t k = 0; k < n; ++k) {
      if (candidate[k] == 0.0f) {
        continue;
      }
      const float qk = q[k];
      int32_t j = -1;
      if (qk > margin && qk < inside_hi) {
        j = static_cast<int32_t>(qk);
        const float f = qk - static_cast<float>(j);
        if (!(f > margin && f < 1.0f - margin)) {
          j = -1;
        }
      }
      if (j < 0) {
        const float * point = p + k * Stride;
        j = bins.binExact(point[0] - tx, point[1] - ty);
        if (j < 0) {
          continue;
        }
      }
      // rho >= 0 here, so truncation is floor; min() guards a quotient rounded up to n_r.
      const int32_t i = std::min(static_cast<int32_t>(range_bins[k]), last_i);
      float & cell =
          grid[static_cast<size_t>(j) * static_cast<size_t>(n_r) + static_cast<size_t>(i)];
      if (slope[k] > cell) {
        cell = slope[k];
      }
      ++placed;
    }
  }
  return placed;
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
    } else {
      // A quotient rounded up to the bin count still means the last bin, as in the binning.
      i = std::min(i, n_r - 1);
      j = std::min(j, n_theta - 1);
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
  if (n_r == 0 || n_theta == 0 || !has_transform || count == 0) {
    return;
  }
  maxima_valid_ = false;
  BinningContext context;
  context.tx = translation[0];
  context.ty = translation[1];
  context.tz = translation[2];
  context.r_min = r_min;
  context.r_resolution = r_resolution;
  context.r_extent = static_cast<float>(n_r) * r_resolution;
  context.n_r = n_r;
  context.last_i = n_r - 1;
  context.grid = slope_grid.data();
  const AngleBins bins(theta_min, theta_resolution, n_theta);
  const int32_t placed = stride == 4 ? binPointsStrided<4>(xyz, count, context, bins)
                                     : binPointsStrided<3>(xyz, count, context, bins);
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
  if (n_theta > 0) {
    angle_band_ = AngleBins(theta_min, theta_resolution, static_cast<int32_t>(n_theta)).band();
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
  const auto n_r = static_cast<int32_t>(slope_grid.rows());
  const auto n_theta = static_cast<int32_t>(slope_grid.cols());
  if (n_theta == 0) {
    return strategy.out_of_theta;
  }
  const float dx = point.x - translation[0];
  const float dy = point.y - translation[1];
  const AngleBins bins = maxima_valid_
                             ? AngleBins(theta_min, theta_resolution, n_theta, angle_band_)
                             : AngleBins(theta_min, theta_resolution, n_theta);
  const int32_t j = bins.index(approxBins(dx, dy, theta_min, theta_resolution), dx, dy);
  if (j < 0) {
    return strategy.out_of_theta;
  }
  const float d = std::sqrt(dx * dx + dy * dy);
  const int32_t i = floorIndex((d - r_min) / r_resolution);
  const float column_max = columnMax(j);
  const bool column_empty = std::isinf(column_max);
  if (i < 0) {
    return column_empty ? strategy.near_range_without_point : strategy.near_range_with_point;
  }
  const float s = (point.z - translation[2]) / d;
  if (i < n_r) {
    if (std::isfinite(slope_grid(i, j))) {
      return 1;
    }
    if (i > 0 && columnPrefixMax(i, j) >= s) {
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
