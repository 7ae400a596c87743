#include "brindlex_velnor/camera_frustum_param.hpp"

#include <cmath>

#include "util/util.hpp"

namespace velnor {

CameraFrustumParam::CameraFrustumParam(
    const sensor_msgs::msg::CameraInfo & info, float view_min_distance, float view_max_distance)
    : CameraFrustumParam(
          info.header.frame_id,
          info.height,
          info.width,
          std::array<double, 12>{
              info.p[0],
              info.p[1],
              info.p[2],
              info.p[3],
              info.p[4],
              info.p[5],
              info.p[6],
              info.p[7],
              info.p[8],
              info.p[9],
              info.p[10],
              info.p[11]},
          view_min_distance,
          view_max_distance)
{
}

CameraFrustumParam::CameraFrustumParam(
    const std::string & frame,
    uint64_t image_height,
    uint64_t image_width,
    const std::array<double, 12> & p,
    float view_min,
    float view_max)
    : frame_id(frame),
      height(image_height),
      width(image_width),
      projection{},
      view_min_distance(view_min),
      view_max_distance(view_max),
      corners(Eigen::Matrix<float, 3, 8>::Zero())
{
  for (size_t k = 0; k < 12; ++k) {
    projection[k] = static_cast<float>(p[k]);
  }
  if (!std::isfinite(view_min_distance) || view_min_distance < 0.0f) {
    LOG_ERROR(
        "CameraFrustumParam view_min_distance {} is invalid, set to default 0", view_min_distance);
    view_min_distance = 0.0f;
  }
  if (!std::isfinite(view_max_distance) || view_max_distance < view_min_distance) {
    LOG_ERROR(
        "CameraFrustumParam view_max_distance {} is invalid, set to the same with "
        "view_min_distance",
        view_max_distance);
    view_max_distance = view_min_distance;
  }
  if (height == 0 || width == 0) {
    LOG_ERROR("CameraFrustumParam height {} and width {} is invalid, set both to 0", height, width);
    height = 0;
    width = 0;
  }

  const float w = static_cast<float>(width);
  const float h = static_cast<float>(height);
  const float pixels[4][2] = {{0.0f, 0.0f}, {0.0f, h}, {w, 0.0f}, {w, h}};
  const float fx = projection[0];
  const float cx = projection[2];
  const float tx = projection[3];
  const float fy = projection[5];
  const float cy = projection[6];
  const float ty = projection[7];
  for (int group = 0; group < 2; ++group) {
    const float z = group == 0 ? view_min_distance : view_max_distance;
    for (int k = 0; k < 4; ++k) {
      const int col = group * 4 + k;
      corners(0, col) = ((pixels[k][0] - cx) * z - tx) / fx;
      corners(1, col) = ((pixels[k][1] - cy) * z - ty) / fy;
      corners(2, col) = z;
    }
  }
}

}  // namespace velnor
