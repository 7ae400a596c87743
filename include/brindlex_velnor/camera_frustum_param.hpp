#ifndef BRINDLEX_VELNOR__CAMERA_FRUSTUM_PARAM_HPP_
#define BRINDLEX_VELNOR__CAMERA_FRUSTUM_PARAM_HPP_

#include <Eigen/Core>
#include <array>
#include <cstdint>
#include <string>

#include "sensor_msgs/msg/camera_info.hpp"

namespace velnor {

/**
 * @brief The fixed geometry of one depth camera: image size, projection and view distances,
 * with the eight corners of its view frustum in the camera (optical) frame.
 *
 * Invalid distances and a zero image size are corrected and reported at ERROR when built.
 */
class CameraFrustumParam
{
public:
  /// From a CameraInfo message (header frame, height, width and projection `p`).
  CameraFrustumParam(
      const sensor_msgs::msg::CameraInfo & info, float view_min_distance, float view_max_distance);

  /// From plain values; @p projection is the 3 x 4 row-major projection matrix.
  CameraFrustumParam(
      const std::string & frame_id,
      uint64_t height,
      uint64_t width,
      const std::array<double, 12> & projection,
      float view_min_distance,
      float view_max_distance);

  std::string frame_id;
  uint64_t height;
  uint64_t width;
  /// P0 = fx, P2 = cx, P3 = Tx, P5 = fy, P6 = cy, P7 = Ty.
  float projection[12];
  float view_min_distance;  ///< m, along the optical axis
  float view_max_distance;  ///< m, along the optical axis
  /// Columns 0-3 at the minimum distance, 4-7 at the maximum; pixels (0, 0), (0, h), (w, 0), (w, h).
  Eigen::Matrix<float, 3, 8> corners;
};

}  // namespace velnor

#endif  // BRINDLEX_VELNOR__CAMERA_FRUSTUM_PARAM_HPP_
