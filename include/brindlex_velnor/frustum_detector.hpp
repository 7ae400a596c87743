#ifndef BRINDLEX_VELNOR__FRUSTUM_DETECTOR_HPP_
#define BRINDLEX_VELNOR__FRUSTUM_DETECTOR_HPP_

#include <pcl/point_cloud.h>
#include <pcl/point_types.h>

#include <Eigen/Core>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "brindlex_velnor/camera_frustum_param.hpp"
#include "geometry_msgs/msg/polygon.hpp"
#include "geometry_msgs/msg/transform_stamped.hpp"
#include "rclcpp/time.hpp"
#include "sensor_msgs/msg/camera_info.hpp"
#include "visualization_msgs/msg/marker.hpp"

namespace velnor {

/**
 * @brief The codes `FrustumDetector::checkPointFrustumStatus` answers in eight situations.
 *
 * The detector gives them no meaning; the depth-camera cache interprets them.
 */
struct FrustumDetectorStrategy
{
  int32_t no_reference_point{3};
  int32_t out_of_theta{4};
  int32_t near_range_without_point{3};
  int32_t near_range_with_point{3};
  int32_t far_range_without_point{4};
  int32_t far_range_with_point{4};
  int32_t inside_without_point{3};
  int32_t inside_with_point{3};
};

/**
 * @brief What one depth camera could see in the current update cycle.
 *
 * Per cycle: `clear`, `setTrans` (camera pose in the global frame), `setShape` (view footprint),
 * the binning of the cycle's clouds, `fixSetting`, then any number of queries. The binning keeps,
 * per bearing and range bin of a polar grid around the camera, the highest elevation slope
 * (dz / horizontal distance) at which a point was seen.
 *
 * All geometry is float, angles in radians, distances in metres, points in the global frame.
 * No lock: the owner (the frustum manager) hands the detector to one thread at a time.
 */
class FrustumDetector
{
public:
  struct Box
  {
    float x_min;
    float x_max;
    float y_min;
    float y_max;
  };

  using Cloud = pcl::PointCloud<pcl::PointXYZ>;
  using PointMatrix = Eigen::Matrix<float, 3, Eigen::Dynamic>;

  /// Build from a CameraInfo message; non-positive resolutions are replaced (WARN record).
  FrustumDetector(
      const sensor_msgs::msg::CameraInfo & info,
      float view_min_distance,
      float view_max_distance,
      float theta_resolution,
      float r_resolution,
      const FrustumDetectorStrategy & strategy);

  /// Build from already checked camera parameters.
  FrustumDetector(
      const CameraFrustumParam & param,
      float theta_resolution,
      float r_resolution,
      const FrustumDetectorStrategy & strategy);

  /// Camera frame -> global frame at the cloud stamp. Always true.
  bool setTrans(const geometry_msgs::msg::TransformStamped & camera_transform);

  /// Same as `setTrans` from a 4 x 4 homogeneous camera-to-global matrix. Always true.
  bool setPose(const Eigen::Matrix4f & camera_to_global, const rclcpp::Time & pose_stamp);

  /// The view's footprint in the global frame (vertex z ignored). Always true.
  bool setShape(const geometry_msgs::msg::Polygon & polygon);

  /// Bin one cloud of global points. Always true; an empty pointer is no cloud.
  bool setInputCloud(const std::shared_ptr<Cloud> & cloud);

  /// Bin each cloud of the list in order. Always true.
  bool setInputCloudList(const std::vector<std::shared_ptr<Cloud>> & clouds);

  /// Bin one cloud given as a 3 x N matrix of global points (as the frustum agent does).
  void addInputCloud(const PointMatrix & points);

  /// Crop the grid to the footprint window and finish the cycle's input. Always true.
  bool fixSetting();

  /// Reset to the cleared state; the grid storage stays until the next pose.
  void clear();

  /// Whether the point projects into the image between the view distances. Needs a pose.
  bool isInsideFrustum(const pcl::PointXYZ & point) const;

  /// Whether the x/y box overlaps the frustum box (touching counts). Needs a pose.
  bool isCrossFrustum(float x_min, float x_max, float y_min, float y_max) const;

  /**
   * @brief What the camera knows about a point: -1 not ready, 0 outside the frustum, 1 seen in its
   * own cell, 2 hidden at or below what was seen nearer on its bearing, else a strategy code.
   * @param inside_known skip the `isInsideFrustum` test (the caller knows the answer is true)
   */
  int32_t checkPointFrustumStatus(const pcl::PointXYZ & point, bool inside_known) const;

  /// The grid's sector (points 0-7) and the frustum box (points 8-15) as line pairs.
  bool getMarker(visualization_msgs::msg::Marker & marker);

  CameraFrustumParam param;
  bool has_transform;
  rclcpp::Time stamp;
  float rotation[9];           ///< R, row-major: a camera point q is at R q + t
  float translation[3];        ///< t, the camera position
  float world_projection[12];  ///< [K R^T | p - K R^T t], row-major 3 x 4
  Box frustum_box;
  bool ready;
  int32_t reference_point_count;  ///< points placed in the grid; -1 after a cycle without clouds
  float theta_min;
  float theta_max;
  float theta_resolution;
  float r_min;
  float r_max;
  float r_resolution;
  /// Range bins x angle bins, column-major (one bearing contiguous); -inf where nothing was seen.
  Eigen::MatrixXf slope_grid;
  int32_t r_index_min;
  int32_t r_index_max;
  int32_t theta_index_min;
  int32_t theta_index_max;
  int32_t input_cloud_count;
  FrustumDetectorStrategy strategy;

private:
  struct PolarCell
  {
    float a;    ///< bearing relative to theta_min, folded into [0, 2 pi)
    float d;    ///< horizontal distance from the camera
    float rho;  ///< d - r_min
    int32_t i;  ///< range index
    int32_t j;  ///< angle index
  };

  PolarCell polarCell(float x, float y) const;
  void binPoints(const float * xyz, size_t count, size_t stride);
  void computeMaxima();
  float columnMax(int32_t j) const;
  float columnPrefixMax(int32_t i, int32_t j) const;

  // Column maxima and per-cell maxima of the nearer cells, computed by fixSetting so queries
  // need no scans; any later change of the grid through the detector drops them.
  std::vector<float> column_max_;
  Eigen::MatrixXf prefix_max_;
  std::array<float, 4> angle_band_{};  ///< bin-edge band of the bearing bins, for queries
  bool maxima_valid_;
};

}  // namespace velnor

#endif  // BRINDLEX_VELNOR__FRUSTUM_DETECTOR_HPP_
