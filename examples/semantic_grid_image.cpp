#include "semantic_grid_image.hpp"

#include <algorithm>
#include <cmath>

namespace demo
{

namespace
{

cv::Vec3b cellColour(uint32_t flags, float height)
{
  if (flags == 0) {
    return std::isfinite(height) ? kFreeColour : kUnknownColour;
  }
  cv::Vec3b colour = kClassColours[6].colour;  // STATIC, for flags the legend does not name
  for (const auto & entry : kClassColours) {
    if ((flags & entry.flag) != 0) {
      colour = entry.colour;
      break;
    }
  }
  if (!std::isfinite(height)) {
    return colour;
  }
  const double shade = 0.5 + 0.5 * std::clamp(static_cast<double>(height) / 2.0, 0.0, 1.0);
  return cv::Vec3b(
    static_cast<uint8_t>(colour[0] * shade), static_cast<uint8_t>(colour[1] * shade),
    static_cast<uint8_t>(colour[2] * shade));
}

}  // namespace

cv::Mat renderSemanticGrid(const semantic_map::MapTypeAndHeight & grid, int scale)
{
  const int width = static_cast<int>(grid.size_x);
  const int height = static_cast<int>(grid.size_y);
  scale = std::max(scale, 1);
  cv::Mat image(height * scale, width * scale, CV_8UC3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::size_t index = static_cast<std::size_t>(x) + static_cast<std::size_t>(y) * width;
      const cv::Vec3b colour =
        cellColour(static_cast<uint32_t>(grid.types[index]), grid.heights[index]);
      image(cv::Rect(x * scale, (height - 1 - y) * scale, scale, scale)).setTo(colour);
    }
  }
  return image;
}

}  // namespace demo
