#ifndef TRASQUE__MAP_IMAGE_HPP_
#define TRASQUE__MAP_IMAGE_HPP_

#include <cstdint>
#include <filesystem>
#include <stdexcept>

namespace trasque {
namespace detail {

/// A map image that no decoder is given; what() says why, without the file name.
class RefusedImage : public std::runtime_error
{
public:
  using std::runtime_error::runtime_error;
};

struct ImageSize
{
  uint32_t width;
  uint32_t height;
};

/**
 * @brief Size in pixels of a map image, read from its header alone.
 *
 * Only the raster formats a room map is stored in are read: PNM (P1 to P6), PNG and BMP, told
 * apart by the file's first bytes and handed to that format's own decoder, which runs in this
 * process. Anything else is refused before a decoder sees it. The caller has made sure that
 * the file is a regular file.
 *
 * @throw RefusedImage when the file's name ends in ']', the file is of another format, or declares a
 * width or height of 0 or beyond 32 bits
 * @throw std::exception when the file cannot be opened or its decoder fails
 */
ImageSize readMapImageSize(const std::filesystem::path & file);

}  // namespace detail
}  // namespace trasque

#endif  // TRASQUE__MAP_IMAGE_HPP_
