// The run-time's file, clock and colour services: line reading across line-end conventions,
// line writing per file type, the handle table, and the mapping of the plug-in's Windows paths.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "panels/memory/memory_panels.h"
#include "panels/panels.h"
#include "platform/sim/sim.h"

namespace {

class Files : public testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    mem::Reset();
    path_ = testing::TempDir() + "files_test_" + std::to_string(::getpid()) + "_" +
            testing::UnitTest::GetInstance()->current_test_info()->name();
  }
  void TearDown() override { std::remove(path_.c_str()); }

  void WriteRaw(const std::string& bytes) {
    std::FILE* f = std::fopen(path_.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  std::string ReadRaw() {
    std::string bytes;
    std::FILE* f = std::fopen(path_.c_str(), "rb");
    if (f == nullptr) return "<missing>";
    int c;
    while ((c = std::fgetc(f)) != EOF) bytes += static_cast<char>(c);
    std::fclose(f);
    return bytes;
  }
  std::string path_;
};

struct LineCase {
  const char* what;
  std::string bytes;
  int max_count;
  std::vector<std::pair<int, std::string>> reads;  // result and text of each ReadLine
};

TEST_F(Files, ReadLineAcrossLineEnds) {
  const LineCase cases[] = {
      {"LF", "one\ntwo\n", 10, {{3, "one"}, {3, "two"}, {-1, ""}}},
      {"CR LF", "one\r\ntwo\r\n", 10, {{3, "one"}, {3, "two"}, {-1, ""}}},
      {"mixed", "a\r\nb\nc\r\n", 10, {{1, "a"}, {1, "b"}, {1, "c"}, {-1, ""}}},
      {"last line without line end", "one\ntwo", 10, {{3, "one"}, {3, "two"}, {-1, ""}}},
      {"empty lines are lines", "\n\r\n\n", 10, {{0, ""}, {0, ""}, {0, ""}, {-1, ""}}},
      {"empty file", "", 10, {{-1, ""}, {-1, ""}}},
      {"long line: kept part, rest skipped",
       "   16777215 is a colour\r\nnext\n",
       10,
       {{10, "   1677721"}, {4, "next"}, {-1, ""}}},
      {"CR LF split by the limit", "abc\r\nd\n", 3, {{3, "abc"}, {1, "d"}}},
      {"limit zero", "abc\nd\n", 0, {{0, ""}, {0, ""}, {-1, ""}}},
      {"CR inside a line is data", "a\rb\n", 10, {{3, "a\rb"}, {-1, ""}}},
      {"CR at end of file", "a\r", 10, {{1, "a"}, {-1, ""}}},
      {"bytes above 0x7F", "\xE9t\xE9\n", 10, {{3, "\xE9t\xE9"}}},
  };
  for (const LineCase& c : cases) {
    WriteRaw(c.bytes);
    int f = CVI_OpenFile(path_.c_str(), 1, 0, 1);
    ASSERT_GT(f, 0) << c.what;
    for (size_t i = 0; i < c.reads.size(); ++i) {
      char buf[64];
      std::memset(buf, '#', sizeof buf);
      int rc = ReadLine(f, buf, c.max_count);
      EXPECT_EQ(rc, c.reads[i].first) << c.what << ", read " << i;
      EXPECT_EQ(std::string(buf), c.reads[i].second) << c.what << ", read " << i;
    }
    EXPECT_EQ(CVI_CloseFile(f), 0);
  }
}

TEST_F(Files, ReadLineRejectsBadArguments) {
  WriteRaw("line\n");
  int f = CVI_OpenFile(path_.c_str(), 1, 0, 1);
  ASSERT_GT(f, 0);
  char buf[8];
  EXPECT_EQ(ReadLine(f, buf, -1), -2);
  EXPECT_EQ(ReadLine(f, nullptr, 4), -2);
  EXPECT_EQ(ReadLine(f, buf, 7), 4) << "the bad calls consumed nothing";
  CVI_CloseFile(f);
}

TEST_F(Files, WriteLineEndsLinesByFileType) {
  int f = CVI_OpenFile(path_.c_str(), 2, 0, 1);  // text
  ASSERT_GT(f, 0);
  EXPECT_EQ(WriteLine(f, " 3.0", 4), 4);
  EXPECT_EQ(WriteLine(f, "", 0), 0);
  EXPECT_EQ(WriteLine(f, "a\0b", 3), 3) << "count bytes, NUL included";
  EXPECT_EQ(CVI_CloseFile(f), 0);
  EXPECT_EQ(ReadRaw(), std::string(" 3.0\r\n\r\na\0b\r\n", 13));

  f = CVI_OpenFile(path_.c_str(), 2, 1, 0);  // binary, append
  ASSERT_GT(f, 0);
  EXPECT_EQ(WriteLine(f, "xy", 2), 2);
  CVI_CloseFile(f);
  EXPECT_EQ(ReadRaw(), std::string(" 3.0\r\n\r\na\0b\r\nxy\n", 16));

  f = CVI_OpenFile(path_.c_str(), 2, 0, 0);  // binary, truncate
  ASSERT_GT(f, 0);
  EXPECT_LT(WriteLine(f, "x", -1), 0);
  EXPECT_LT(WriteLine(f, nullptr, 2), 0);
  char buf[4];
  EXPECT_EQ(ReadLine(f, buf, 3), -2) << "not open for reading";
  CVI_CloseFile(f);
  EXPECT_EQ(ReadRaw(), "");

  // What the settings writer writes, the settings reader reads back.
  f = CVI_OpenFile(path_.c_str(), 2, 0, 1);
  for (const char* line : {"12.5", "0", "16777215", "Verdana"}) {
    WriteLine(f, line, static_cast<int>(std::strlen(line)));
  }
  CVI_CloseFile(f);
  f = CVI_OpenFile(path_.c_str(), 1, 0, 1);
  EXPECT_LT(WriteLine(f, "x", 1), 0) << "not open for writing";
  for (const char* line : {"12.5", "0", "16777215", "Verdana"}) {
    char text[129];
    EXPECT_EQ(ReadLine(f, text, 128), static_cast<int>(std::strlen(line)));
    EXPECT_STREQ(text, line);
  }
  CVI_CloseFile(f);
}

TEST_F(Files, HandlesAreCheckedAndNeverReused) {
  EXPECT_LT(CVI_OpenFile((path_ + ".missing").c_str(), 1, 0, 1), 0);
  EXPECT_LT(CVI_OpenFile(nullptr, 1, 0, 1), 0);
  EXPECT_LT(CVI_OpenFile(path_.c_str(), 3, 0, 1), 0);
  EXPECT_LT(CVI_OpenFile(path_.c_str(), 2, 2, 1), 0);

  WriteRaw("x\n");
  int first = CVI_OpenFile(path_.c_str(), 1, 0, 1);
  ASSERT_GT(first, 0);
  EXPECT_EQ(CVI_CloseFile(first), 0);
  int second = CVI_OpenFile(path_.c_str(), 1, 0, 1);
  ASSERT_GT(second, 0);
  EXPECT_NE(second, first);

  char buf[8];
  for (int stale : {first, 0, -1, second + 1000}) {
    EXPECT_EQ(ReadLine(stale, buf, 4), -2);
    EXPECT_LT(WriteLine(stale, "x", 1), 0);
    EXPECT_LT(CVI_CloseFile(stale), 0);
  }
  EXPECT_EQ(ReadLine(second, buf, 4), 1) << "the live file is untouched";
  EXPECT_EQ(CVI_CloseFile(second), 0);
  EXPECT_LT(CVI_CloseFile(second), 0) << "closing twice";

  // The table is fixed: eight files at once; a closed one frees its place.
  std::vector<int> open;
  for (int i = 0; i < 12; ++i) {
    int f = CVI_OpenFile(path_.c_str(), 1, 0, 1);
    if (f > 0) open.push_back(f);
  }
  EXPECT_EQ(open.size(), 8u);
  CVI_CloseFile(open.back());
  open.pop_back();
  int again = CVI_OpenFile(path_.c_str(), 1, 0, 1);
  EXPECT_GT(again, 0);
  open.push_back(again);
  for (int f : open) EXPECT_EQ(CVI_CloseFile(f), 0);
}

TEST_F(Files, PluginPathsAreMapped) {
  // The fixed dump path goes where the simulated platform says; nowhere by default.
  EXPECT_LT(CVI_OpenFile("C:\\Pelta_EIT.dbg", 2, 1, 0), 0);
  sim::SetDumpPath(path_.c_str());
  int f = CVI_OpenFile("C:\\Pelta_EIT.dbg", 2, 1, 0);
  ASSERT_GT(f, 0);
  EXPECT_EQ(WriteLine(f, "47 40 12", 8), 8);
  CVI_CloseFile(f);
  EXPECT_EQ(ReadRaw(), "47 40 12\n");

  // "<module dir>\pelta.ini": backslashes become slashes.
  std::string windows_style = path_;
  windows_style.replace(windows_style.rfind('/'), 1, "\\");
  f = CVI_OpenFile(windows_style.c_str(), 1, 0, 1);
  ASSERT_GT(f, 0);
  char buf[16];
  EXPECT_EQ(ReadLine(f, buf, 15), 8);
  CVI_CloseFile(f);

  EXPECT_LT(CVI_OpenFile(std::string(2000, 'a').c_str(), 1, 0, 1), 0) << "path too long";
}

TEST_F(Files, ClockComesFromThePlatform) {
  sim::SetClock(20, 15, 42);
  int h = -1, m = -1, s = -1;
  EXPECT_EQ(CVI_GetSystemTime(&h, &m, &s), 0);
  EXPECT_EQ(h, 20);
  EXPECT_EQ(m, 15);
  EXPECT_EQ(s, 42);
  EXPECT_EQ(CVI_GetSystemTime(&h, nullptr, nullptr), 0);
}

TEST(FilesColour, MakeColorClampsEachComponent) {
  struct Case {
    int r, g, b, colour;
  } const cases[] = {
      {0, 0, 0, 0x000000},    {255, 255, 255, 0xFFFFFF}, {255, 255, 0, 0xFFFF00},
      {18, 52, 86, 0x123456}, {300, -5, 128, 0xFF0080},  {-1, 256, 1000000, 0x00FFFF},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MakeColor(c.r, c.g, c.b), c.colour) << c.r << "," << c.g << "," << c.b;
  }
}

}  // namespace
