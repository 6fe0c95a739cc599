// How large a logo picture may be, checked before anything decodes it.
//
// A JPEG's header states its frame size in a few bytes; a 300-byte file can claim 20000 x 20000
// pixels, and decoding it takes seconds and gigabytes on the host's UI thread during a channel
// change. So the file's length and the frame size in its header are checked first, by reading
// the marker segments up to the first start-of-frame (ITU T.81, B.2), and a picture beyond the
// bounds is never handed to a decoder.
#pragma once

#include <cstddef>

constexpr long kPictureMaxBytes = 1024L * 1024;  // 1 MiB of file
constexpr int kPictureMaxSide = 1024;            // pixels, each way

enum class PictureCheck {
  kOk,        // a JPEG within the bounds; width and height set
  kNoFile,    // cannot be opened or read
  kTooLarge,  // over kPictureMaxBytes, or a frame over kPictureMaxSide either way
  kNotJpeg,   // no JPEG start, or no frame header before the data ends
};

// The frame size from the first start-of-frame header of JPEG data. Reads only inside `size`.
PictureCheck JpegFrameSize(const unsigned char* data, size_t size, int* width, int* height);
// The file `path` (a native path) checked against the bounds; reads at most its header.
PictureCheck CheckPictureFile(const char* path, int* width, int* height);
