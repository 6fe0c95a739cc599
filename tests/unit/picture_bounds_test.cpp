// Logo pictures are bounded by their file length and the frame size their header claims,
// before anything decodes them.
#include "panels/picture_bounds.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "fixture.h"

namespace {

std::string WithMarker(std::string jpeg, char marker) {
  jpeg[3] = marker;
  return jpeg;
}

TEST(PictureBounds, FrameSizeComesFromTheFirstFrameHeader) {
  const std::string app0("\xFF\xE0\x00\x06JFIF", 8);
  const std::string dht("\xFF\xC4\x00\x03\x00", 5);
  const std::string ok = JpegHeader(1024, 768);
  struct Case {
    const char* what;
    std::string data;
    PictureCheck result;
    int width, height;
  } cases[] = {
      {"largest allowed", JpegHeader(1024, 1024), PictureCheck::kOk, 1024, 1024},
      {"wide and low", ok, PictureCheck::kOk, 1024, 768},
      {"one pixel too wide", JpegHeader(1025, 10), PictureCheck::kTooLarge, 0, 0},
      {"one pixel too high", JpegHeader(10, 1025), PictureCheck::kTooLarge, 0, 0},
      {"a small file claiming 20000 x 20000", JpegHeader(20000, 20000), PictureCheck::kTooLarge, 0,
       0},
      {"progressive, 20000 x 20000", WithMarker(JpegHeader(20000, 20000), '\xC2'),
       PictureCheck::kTooLarge, 0, 0},
      {"segments before the frame are skipped", ok.substr(0, 2) + app0 + dht + ok.substr(2),
       PictureCheck::kOk, 1024, 768},
      {"fill bytes before a marker", ok.substr(0, 2) + "\xFF\xFF" + ok.substr(2), PictureCheck::kOk,
       1024, 768},
      {"a DHT segment is no frame header", WithMarker(ok, '\xC4'), PictureCheck::kNotJpeg, 0, 0},
      {"cut inside the frame header", ok.substr(0, 9), PictureCheck::kNotJpeg, 0, 0},
      {"scan before any frame", ok.substr(0, 2) + "\xFF\xDA\x00\x02" + ok.substr(2),
       PictureCheck::kNotJpeg, 0, 0},
      {"segment length past the end", ok.substr(0, 2) + "\xFF\xE1\xFF\xFF", PictureCheck::kNotJpeg,
       0, 0},
      {"segment length below 2", ok.substr(0, 2) + std::string("\xFF\xE1\x00\x01", 4),
       PictureCheck::kNotJpeg, 0, 0},
      {"height 0 (defined later by a DNL)", JpegHeader(100, 0), PictureCheck::kNotJpeg, 0, 0},
      {"empty", "", PictureCheck::kNotJpeg, 0, 0},
      {"start of image only", "\xFF\xD8", PictureCheck::kNotJpeg, 0, 0},
      {"PNG", "\x89PNG\r\n\x1a\n", PictureCheck::kNotJpeg, 0, 0},
  };
  for (const Case& c : cases) {
    int width = 0;
    int height = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(c.data.data());
    EXPECT_EQ(JpegFrameSize(bytes, c.data.size(), &width, &height), c.result) << c.what;
    EXPECT_EQ(width, c.width) << c.what;
    EXPECT_EQ(height, c.height) << c.what;
    // The same answer from a file holding the same bytes.
    char path[] = "/tmp/pelta-picture-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    std::FILE* f = fdopen(fd, "wb");
    std::fwrite(c.data.data(), 1, c.data.size(), f);
    std::fclose(f);
    width = height = 0;
    EXPECT_EQ(CheckPictureFile(path, &width, &height), c.result) << c.what << " (file)";
    EXPECT_EQ(width, c.width) << c.what << " (file)";
    std::remove(path);
  }
}

TEST(PictureBounds, FilesOverOneMebibyteAreRefusedUnread) {
  struct Case {
    size_t padding;  // bytes of an APP1 segment chain after the frame header
    PictureCheck result;
  } cases[] = {{0, PictureCheck::kOk},
               {1024 * 1024 - JpegHeader(8, 8).size(), PictureCheck::kOk},
               {1024 * 1024 - JpegHeader(8, 8).size() + 1, PictureCheck::kTooLarge}};
  for (const Case& c : cases) {
    char path[] = "/tmp/pelta-picture-large-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    std::FILE* f = fdopen(fd, "wb");
    ASSERT_NE(f, nullptr);
    const std::string header = JpegHeader(8, 8);
    std::fwrite(header.data(), 1, header.size(), f);
    const std::string zeros(c.padding, '\0');
    std::fwrite(zeros.data(), 1, zeros.size(), f);
    std::fclose(f);
    int width = 0;
    int height = 0;
    EXPECT_EQ(CheckPictureFile(path, &width, &height), c.result) << c.padding;
    std::remove(path);
  }
  int width = 0;
  int height = 0;
  EXPECT_EQ(CheckPictureFile("/nonexistent/logo.jpg", &width, &height), PictureCheck::kNoFile);
}

}  // namespace
