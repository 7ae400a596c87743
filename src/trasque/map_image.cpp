#include "map_image.hpp"

#include <Magick++.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <limits>
#include <mutex>
#include <string>

namespace trasque {
namespace detail {

namespace {

namespace fs = std::filesystem;

// Bytes of a PNM header (magic number, comments, width and height) read at most.
constexpr size_t kMaxPnmHeaderBytes = 65536;
constexpr uint64_t kMaxSide = std::numeric_limits<uint32_t>::max();

void initialiseMagick()
{
  static std::once_flag once;
  std::call_once(once, [] { Magick::InitializeMagick(nullptr); });
}

// The decoder for the format that the first bytes announce, or null. GraphicsMagick would pick
// one from the content itself and hand vector, document and script formats to outside programs
// (ghostscript and the like) or to interpreters of its own, so only these are named.
const char * decoderOf(std::istream & in)
{
  char head[8] = {};
  in.read(head, sizeof head);
  const std::streamsize n = in.gcount();
  if (n >= 2 && head[0] == 'P' && head[1] >= '1' && head[1] <= '6') {
    return "PNM";
  }
  if (n == 8 && std::memcmp(head, "\x89PNG\r\n\x1a\n", 8) == 0) {
    return "PNG";
  }
  if (n >= 2 && head[0] == 'B' && head[1] == 'M') {
    return "BMP";
  }
  return nullptr;
}

// One number of a PNM header, after white space and '#' comments; saturates above 32 bits.
// False when no digit comes within the header's bound.
bool readPnmNumber(std::istream & in, size_t & budget, uint64_t & value)
{
  bool comment = false;
  while (budget > 0) {
    const int c = in.peek();
    if (c == std::char_traits<char>::eof() || (!comment && std::isdigit(c))) {
      break;
    }
    if (c == '#') {
      comment = true;
    } else if (c == '\n' || c == '\r') {
      comment = false;
    } else if (!comment && !std::isspace(c)) {
      return false;
    }
    in.get();
    --budget;
  }
  if (!std::isdigit(in.peek())) {
    return false;
  }
  value = 0;
  while (budget > 0 && std::isdigit(in.peek())) {
    value = std::min(value * 10 + static_cast<uint64_t>(in.get() - '0'), kMaxSide + 1);
    --budget;
  }
  return true;
}

// The PNM decoder keeps only the low 32 bits of the width and height it reads, so a header
// declaring 2^32 + 12 rows would load as 12: the declared numbers are checked here.
void checkPnmHeader(std::istream & in)
{
  in.clear();
  in.seekg(2);
  size_t budget = kMaxPnmHeaderBytes;
  uint64_t width = 0;
  uint64_t height = 0;
  if (!readPnmNumber(in, budget, width) || !readPnmNumber(in, budget, height)) {
    throw RefusedImage(
        "declares no size within the first " + std::to_string(kMaxPnmHeaderBytes) + " bytes");
  }
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) {
    throw RefusedImage("declares a width or height of 0 or beyond 32 bits");
  }
}

}  // namespace

ImageSize readMapImageSize(const fs::path & file)
{
  // GraphicsMagick takes a trailing "[...]" for a frame selection and opens the name without
  // it, a file that nobody checked.
  const std::string name = file.string();
  if (!name.empty() && name.back() == ']') {
    throw RefusedImage("has a name ending in ']', which the decoder reads as a frame selection");
  }
  std::ifstream in(file, std::ios::binary);
  if (!in.is_open()) {
    throw std::runtime_error("cannot be opened");
  }
  const char * decoder = decoderOf(in);
  if (decoder == nullptr) {
    throw RefusedImage("is not a PNM, PNG or BMP image");
  }
  if (std::strcmp(decoder, "PNM") == 0) {
    checkPnmHeader(in);
  }
  in.close();

  initialiseMagick();
  // Only the header is read: decoding would allocate whatever size the file declares. With a
  // sub-range of one frame the coders stop after the first header instead of reading on. The
  // prefix makes GraphicsMagick use that decoder whatever the file holds by the time it opens it.
  Magick::Image image;
  image.subRange(1);
  image.ping(std::string(decoder) + ":" + name);
  const uint64_t width = image.columns();
  const uint64_t height = image.rows();
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) {
    throw RefusedImage("declares a width or height of 0 or beyond 32 bits");
  }
  return {static_cast<uint32_t>(width), static_cast<uint32_t>(height)};
}

}  // namespace detail
}  // namespace trasque
