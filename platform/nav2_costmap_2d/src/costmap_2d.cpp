#include "nav2_costmap_2d/costmap_2d.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "rclcpp/logging.hpp"

namespace nav2_costmap_2d {

namespace {
// Cells are counted and indexed in unsigned int: a larger count would wrap (as it does in
// Navigation2) and the array be shorter than the indexes. Such a size is refused with an ERROR.
bool cellCountFits(unsigned int size_x, unsigned int size_y)
{
  if (static_cast<uint64_t>(size_x) * size_y <= std::numeric_limits<unsigned int>::max()) {
    return true;
  }
  RCLCPP_ERROR(
      rclcpp::get_logger("nav2_costmap_2d"),
      "Refusing a costmap of %u x %u cells: the cell count does not fit in 32 bits",
      size_x,
      size_y);
  return false;
}
}  // namespace

Costmap2D::Costmap2D(
    unsigned int cells_size_x,
    unsigned int cells_size_y,
    double resolution,
    double origin_x,
    double origin_y,
    unsigned char default_value)
    : size_x_(0),
      size_y_(0),
      resolution_(resolution),
      origin_x_(origin_x),
      origin_y_(origin_y),
      costmap_(nullptr),
      default_value_(default_value),
      access_(new mutex_t())
{
  initMaps(cells_size_x, cells_size_y);
  resetMaps();
}

// The default value is set here although Navigation2 leaves it indeterminate: a grid sized later
// through resizeMap() then starts from a defined content.
Costmap2D::Costmap2D()
    : size_x_(0),
      size_y_(0),
      resolution_(0.0),
      origin_x_(0.0),
      origin_y_(0.0),
      costmap_(nullptr),
      default_value_(0),
      access_(new mutex_t())
{
}

Costmap2D::Costmap2D(const Costmap2D & map)
    : size_x_(0),
      size_y_(0),
      resolution_(0.0),
      origin_x_(0.0),
      origin_y_(0.0),
      costmap_(nullptr),
      default_value_(0),
      access_(new mutex_t())
{
  *this = map;
}

Costmap2D & Costmap2D::operator=(const Costmap2D & map)
{
  if (this == &map) {
    return *this;
  }
  deleteMaps();
  resolution_ = map.resolution_;
  origin_x_ = map.origin_x_;
  origin_y_ = map.origin_y_;
  default_value_ = map.default_value_;
  initMaps(map.size_x_, map.size_y_);
  if (size_x_ * size_y_ > 0) {
    memcpy(costmap_, map.costmap_, size_x_ * size_y_ * sizeof(unsigned char));
  }
  return *this;
}

Costmap2D::~Costmap2D()
{
  deleteMaps();
  delete access_;
}

void Costmap2D::deleteMaps()
{
  std::unique_lock<mutex_t> lock(*access_);
  delete[] costmap_;
  costmap_ = nullptr;
}

void Costmap2D::initMaps(unsigned int size_x, unsigned int size_y)
{
  if (!cellCountFits(size_x, size_y)) {
    return;
  }
  std::unique_lock<mutex_t> lock(*access_);
  delete[] costmap_;
  size_x_ = size_x;
  size_y_ = size_y;
  costmap_ = new unsigned char[size_x * size_y];
}

void Costmap2D::resetMaps()
{
  std::unique_lock<mutex_t> lock(*access_);
  if (costmap_ != nullptr) {
    memset(costmap_, default_value_, size_x_ * size_y_ * sizeof(unsigned char));
  }
}

void Costmap2D::resizeMap(
    unsigned int size_x, unsigned int size_y, double resolution, double origin_x, double origin_y)
{
  // A refused size leaves the costmap as it was.
  if (!cellCountFits(size_x, size_y)) {
    return;
  }
  resolution_ = resolution;
  origin_x_ = origin_x;
  origin_y_ = origin_y;
  initMaps(size_x, size_y);
  resetMaps();
}

void Costmap2D::resetMap(unsigned int x0, unsigned int y0, unsigned int xn, unsigned int yn)
{
  resetMapToValue(x0, y0, xn, yn, default_value_);
}

void Costmap2D::resetMapToValue(
    unsigned int x0, unsigned int y0, unsigned int xn, unsigned int yn, unsigned char value)
{
  std::unique_lock<mutex_t> lock(*access_);
  const unsigned int row_length = xn - x0;
  for (unsigned int y = y0; y < yn; ++y) {
    memset(costmap_ + y * size_x_ + x0, value, row_length * sizeof(unsigned char));
  }
}

bool Costmap2D::copyCostmapWindow(
    const Costmap2D & map,
    double win_origin_x,
    double win_origin_y,
    double win_size_x,
    double win_size_y)
{
  if (this == &map) {
    return false;
  }
  deleteMaps();

  unsigned int lower_left_x, lower_left_y, upper_right_x, upper_right_y;
  if (!map.worldToMap(win_origin_x, win_origin_y, lower_left_x, lower_left_y) ||
      !map.worldToMap(
          win_origin_x + win_size_x, win_origin_y + win_size_y, upper_right_x, upper_right_y)) {
    return false;
  }

  resolution_ = map.resolution_;
  origin_x_ = win_origin_x;
  origin_y_ = win_origin_y;
  initMaps(upper_right_x - lower_left_x, upper_right_y - lower_left_y);
  copyMapRegion(
      map.costmap_,
      lower_left_x,
      lower_left_y,
      map.size_x_,
      costmap_,
      0,
      0,
      size_x_,
      size_x_,
      size_y_);
  return true;
}

bool Costmap2D::copyWindow(
    const Costmap2D & source,
    unsigned int sx0,
    unsigned int sy0,
    unsigned int sxn,
    unsigned int syn,
    unsigned int dx0,
    unsigned int dy0)
{
  const unsigned int window_x = sxn - sx0;
  const unsigned int window_y = syn - sy0;
  if (sxn > source.getSizeInCellsX() || syn > source.getSizeInCellsY()) {
    return false;
  }
  if (dx0 + window_x > size_x_ || dy0 + window_y > size_y_) {
    return false;
  }
  copyMapRegion(
      source.costmap_, sx0, sy0, source.size_x_, costmap_, dx0, dy0, size_x_, window_x, window_y);
  return true;
}

unsigned int Costmap2D::cellDistance(double world_dist)
{
  const double cells = std::max(0.0, std::ceil(world_dist / resolution_));
  return static_cast<unsigned int>(cells);
}

unsigned char * Costmap2D::getCharMap() const { return costmap_; }

unsigned char Costmap2D::getCost(unsigned int mx, unsigned int my) const
{
  return costmap_[getIndex(mx, my)];
}

unsigned char Costmap2D::getCost(unsigned int index) const { return costmap_[index]; }

void Costmap2D::setCost(unsigned int mx, unsigned int my, unsigned char cost)
{
  costmap_[getIndex(mx, my)] = cost;
}

void Costmap2D::mapToWorld(unsigned int mx, unsigned int my, double & wx, double & wy) const
{
  wx = origin_x_ + (mx + 0.5) * resolution_;
  wy = origin_y_ + (my + 0.5) * resolution_;
}

bool Costmap2D::worldToMap(double wx, double wy, unsigned int & mx, unsigned int & my) const
{
  if (wx < origin_x_ || wy < origin_y_) {
    return false;
  }
  mx = static_cast<unsigned int>((wx - origin_x_) / resolution_);
  my = static_cast<unsigned int>((wy - origin_y_) / resolution_);
  return mx < size_x_ && my < size_y_;
}

void Costmap2D::worldToMapNoBounds(double wx, double wy, int & mx, int & my) const
{
  mx = static_cast<int>((wx - origin_x_) / resolution_);
  my = static_cast<int>((wy - origin_y_) / resolution_);
}

void Costmap2D::worldToMapEnforceBounds(double wx, double wy, int & mx, int & my) const
{
  // Compare before any arithmetic so that huge coordinates (e.g. +-DBL_MAX bounds) clamp
  // instead of overflowing the cast.
  if (wx < origin_x_) {
    mx = 0;
  } else if (wx > resolution_ * size_x_ + origin_x_) {
    mx = static_cast<int>(size_x_) - 1;
  } else {
    mx = static_cast<int>((wx - origin_x_) / resolution_);
  }

  if (wy < origin_y_) {
    my = 0;
  } else if (wy > resolution_ * size_y_ + origin_y_) {
    my = static_cast<int>(size_y_) - 1;
  } else {
    my = static_cast<int>((wy - origin_y_) / resolution_);
  }
}

void Costmap2D::updateOrigin(double new_origin_x, double new_origin_y)
{
  // Shift by whole cells so that cell borders stay where they were in the world.
  const int shift_x = static_cast<int>((new_origin_x - origin_x_) / resolution_);
  const int shift_y = static_cast<int>((new_origin_y - origin_y_) / resolution_);
  const double snapped_x = origin_x_ + shift_x * resolution_;
  const double snapped_y = origin_y_ + shift_y * resolution_;

  const int size_x = static_cast<int>(size_x_);
  const int size_y = static_cast<int>(size_y_);

  // Overlap of the old and the new window, in old cell coordinates.
  const int keep_x0 = std::min(std::max(shift_x, 0), size_x);
  const int keep_y0 = std::min(std::max(shift_y, 0), size_y);
  const int keep_xn = std::min(std::max(shift_x + size_x, 0), size_x);
  const int keep_yn = std::min(std::max(shift_y + size_y, 0), size_y);
  const unsigned int keep_w = static_cast<unsigned int>(keep_xn - keep_x0);
  const unsigned int keep_h = static_cast<unsigned int>(keep_yn - keep_y0);

  std::vector<unsigned char> kept(static_cast<size_t>(keep_w) * keep_h);
  if (!kept.empty()) {
    copyMapRegion(
        costmap_,
        static_cast<unsigned int>(keep_x0),
        static_cast<unsigned int>(keep_y0),
        size_x_,
        kept.data(),
        0,
        0,
        keep_w,
        keep_w,
        keep_h);
  }

  resetMaps();
  origin_x_ = snapped_x;
  origin_y_ = snapped_y;

  if (!kept.empty()) {
    copyMapRegion(
        kept.data(),
        0,
        0,
        keep_w,
        costmap_,
        static_cast<unsigned int>(keep_x0 - shift_x),
        static_cast<unsigned int>(keep_y0 - shift_y),
        size_x_,
        keep_w,
        keep_h);
  }
}

unsigned int Costmap2D::getSizeInCellsX() const { return size_x_; }

unsigned int Costmap2D::getSizeInCellsY() const { return size_y_; }

double Costmap2D::getSizeInMetersX() const { return (size_x_ - 1 + 0.5) * resolution_; }

double Costmap2D::getSizeInMetersY() const { return (size_y_ - 1 + 0.5) * resolution_; }

double Costmap2D::getOriginX() const { return origin_x_; }

double Costmap2D::getOriginY() const { return origin_y_; }

double Costmap2D::getResolution() const { return resolution_; }

}  // namespace nav2_costmap_2d
