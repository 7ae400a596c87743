#ifndef FENNICK__SIMPLIFY_PATH_HPP_
#define FENNICK__SIMPLIFY_PATH_HPP_

#include <opencv2/core/types.hpp>
#include <vector>

/// Simplifies grid paths (points in cells). Stateless; one instance may be reused.
class SimplifyPath
{
public:
  SimplifyPath();

  /// Replaces out with a simplified copy of in, in path order.
  /// First Ramer-Douglas-Peucker: a point survives when its distance to the segment between the
  /// surviving points around it is greater than epsilon (cells); both end points always survive.
  /// Then thinning: walking the survivors in order, the first is kept and each later one
  /// (the last included) is dropped when it lies closer than distance (cells) to the point kept
  /// before it. distance <= 0 keeps every survivor. Inputs of fewer than three points skip the
  /// first stage.
  void douglasPeucker(
      const std::vector<cv::Point> & in,
      double epsilon,
      double distance,
      std::vector<cv::Point> & out);
};

#endif  // FENNICK__SIMPLIFY_PATH_HPP_
