#include "panels/picture_bounds.h"

#include <cstdio>

namespace {

// Start-of-frame markers SOF0..SOF15 carry the frame size; C4 (DHT), C8 (JPG) and CC (DAC)
// share the range but are no frame headers.
bool IsFrameMarker(unsigned char marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

PictureCheck Bounded(int w, int h, int* width, int* height) {
  if (w <= 0 || h <= 0) return PictureCheck::kNotJpeg;  // a zero height defers to a DNL: refused
  if (w > kPictureMaxSide || h > kPictureMaxSide) return PictureCheck::kTooLarge;
  *width = w;
  *height = h;
  return PictureCheck::kOk;
}

// The header is read in small pieces through `read(offset, buffer, count)`, which returns
// false when those bytes are not there. Segments are skipped by their length; the walk ends at
// the first frame header, at the start of scan (no frame header came first), or at the end.
template <typename Read>
PictureCheck WalkSegments(Read read, int* width, int* height) {
  unsigned char b[9];
  if (!read(0, b, 2) || b[0] != 0xFF || b[1] != 0xD8) return PictureCheck::kNotJpeg;
  size_t at = 2;
  for (;;) {
    if (!read(at, b, 2) || b[0] != 0xFF) return PictureCheck::kNotJpeg;
    unsigned char marker = b[1];
    // Fill bytes (FF FF ...) before a marker.
    while (marker == 0xFF) {
      ++at;
      if (!read(at + 1, b, 1)) return PictureCheck::kNotJpeg;
      marker = b[0];
    }
    at += 2;
    if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) continue;
    if (marker == 0xD9 || marker == 0xDA) return PictureCheck::kNotJpeg;  // no frame header
    if (!read(at, b, 2)) return PictureCheck::kNotJpeg;
    const size_t length = static_cast<size_t>(b[0]) << 8 | b[1];
    if (length < 2) return PictureCheck::kNotJpeg;
    if (IsFrameMarker(marker)) {
      // Length, precision, height (2), width (2).
      if (length < 7 || !read(at, b, 7)) return PictureCheck::kNotJpeg;
      return Bounded(b[5] << 8 | b[6], b[3] << 8 | b[4], width, height);
    }
    at += length;
  }
}

}  // namespace

PictureCheck JpegFrameSize(const unsigned char* data, size_t size, int* width, int* height) {
  if (data == nullptr) return PictureCheck::kNotJpeg;
  auto read = [data, size](size_t offset, unsigned char* out, size_t count) {
    if (offset > size || count > size - offset) return false;
    for (size_t i = 0; i < count; ++i) out[i] = data[offset + i];
    return true;
  };
  return WalkSegments(read, width, height);
}

PictureCheck CheckPictureFile(const char* path, int* width, int* height) {
  if (path == nullptr || *path == '\0') return PictureCheck::kNoFile;
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return PictureCheck::kNoFile;
  PictureCheck result = PictureCheck::kNoFile;
  long length = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) length = std::ftell(f);
  if (length > kPictureMaxBytes) {
    result = PictureCheck::kTooLarge;
  } else if (length >= 0) {
    const size_t size = static_cast<size_t>(length);
    auto read = [f, size](size_t offset, unsigned char* out, size_t count) {
      if (offset > size || count > size - offset) return false;
      if (std::fseek(f, static_cast<long>(offset), SEEK_SET) != 0) return false;
      return std::fread(out, 1, count, f) == count;
    };
    result = WalkSegments(read, width, height);
  }
  std::fclose(f);
  return result;
}
