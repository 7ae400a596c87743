#include "fennick/simplify_path.hpp"

#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

namespace {

// Distance from p to the segment a-b (to a when a == b). Segment rather than line distance,
// so that a path that turns back on itself keeps its turning point.
double distanceToSegment(const cv::Point & p, const cv::Point & a, const cv::Point & b)
{
  const double abx = static_cast<double>(b.x) - a.x;
  const double aby = static_cast<double>(b.y) - a.y;
  const double apx = static_cast<double>(p.x) - a.x;
  const double apy = static_cast<double>(p.y) - a.y;
  const double length2 = abx * abx + aby * aby;
  if (length2 == 0.0) {
    return std::hypot(apx, apy);
  }
  double t = (apx * abx + apy * aby) / length2;
  t = t < 0.0 ? 0.0 : (t > 1.0 ? 1.0 : t);
  return std::hypot(apx - t * abx, apy - t * aby);
}

}  // namespace

SimplifyPath::SimplifyPath() = default;

void SimplifyPath::douglasPeucker(
    const std::vector<cv::Point> & in,
    double epsilon,
    double distance,
    std::vector<cv::Point> & out)
{
  out.clear();
  if (in.empty()) {
    return;
  }

  std::vector<bool> keep(in.size(), false);
  keep.front() = true;
  keep.back() = true;
  // Explicit stack of index ranges: long paths must not recurse deeply.
  std::vector<std::pair<size_t, size_t>> ranges;
  if (in.size() > 2) {
    ranges.emplace_back(0, in.size() - 1);
  }
  while (!ranges.empty()) {
    const auto [first, last] = ranges.back();
    ranges.pop_back();
    double max_distance = -1.0;
    size_t farthest = first;
    for (size_t i = first + 1; i < last; ++i) {
      const double d = distanceToSegment(in[i], in[first], in[last]);
      if (d > max_distance) {
        max_distance = d;
        farthest = i;
      }
    }
    if (farthest != first && max_distance > epsilon) {
      keep[farthest] = true;
      if (farthest - first > 1) {
        ranges.emplace_back(first, farthest);
      }
      if (last - farthest > 1) {
        ranges.emplace_back(farthest, last);
      }
    }
  }

  for (size_t i = 0; i < in.size(); ++i) {
    if (!keep[i]) {
      continue;
    }
    if (!out.empty() && distance > 0.0) {
      const cv::Point & previous = out.back();
      const double gap = std::hypot(
          static_cast<double>(in[i].x) - previous.x, static_cast<double>(in[i].y) - previous.y);
      if (gap < distance) {
        continue;
      }
    }
    out.push_back(in[i]);
  }
}
