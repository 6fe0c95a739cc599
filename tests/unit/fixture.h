// A whole plug-in in one process: a temporary module folder (pelta.uir from assets, a
// pelta.ini the test writes, pelta_icon/0.jpg), a recording host main window on the simulated
// desktop, and load/unload through DllMain. Every test starts from a reset desktop and a
// reset panel run-time.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "harness.h"
#include "host/entry.h"
#include "panels/memory/memory_panels.h"
#include "platform/sim/sim.h"

// What the recording host (pelta-tool's harness) received: one entry per WM_USER command.
using HostCommand = harness::Command;

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The sixteen lines of a typical pelta.ini: 3 s, size 0, black on white text, guide on,
  // indicators on, whole screen, opacity 180, format 1, font "Arial".
  static std::vector<std::string> DefaultIni();
  void WriteIni(const std::vector<std::string>& lines);  // CR LF line ends
  void WriteFile(const std::string& relative, const std::string& bytes);
  std::string ReadFile(const std::string& relative) const;
  std::string Path(const std::string& relative) const { return dir_ + "/" + relative; }

  bool Load();    // DllMain(process attach)
  void Unload();  // DllMain(process detach), once
  // On_Start with the host window and DLL_ID 7.
  void Start();
  // Loads, starts, and runs the first (gated) channel change and the five ticks that end the
  // start cycle, so the next channel change is displayed.
  void LoadStartAndPassGate();

  // The host: main window titled "ProgDVB 7" covering the screen, harness::HostProc.
  HWND host_ = nullptr;

 public:                         // the recording host's state, under the names the tests use
  static int32_t& host_runid;    // written into the start record's running id (4242)
  static int32_t& host_quality;  // written into the signal record's quality (0)
  static int& command_count;
  static HostCommand (&commands)[harness::kMaxCommands];

 protected:
  int CommandsWithCode(UINT code) const { return harness::CommandsWithCode(code); }

  std::string dir_;
  bool loaded_ = false;
};

// Runs a shell command and returns what it printed on stdout; `exit_status` (optional) gets its
// exit status, -1 when it did not exit normally.
std::string RunCommand(const std::string& command, int* exit_status = nullptr);

// A new, empty folder of this run alone (mkdtemp: `prefix`-XXXXXX in the test temp folder), so
// test runs that go at once (ctest -j, two checkouts on one machine) never share a file; "" when
// none can be made.
std::string MakeTempDir(const char* prefix);
// Removes a folder MakeTempDir made, with all it holds; false when it cannot.
bool RemoveTempDir(const std::string& dir);

// MakeTempDir for one test, removed when the test ends however it ends. `path` ends in '/'.
struct ScopedTempDir {
  explicit ScopedTempDir(const char* prefix) : dir(MakeTempDir(prefix)), path(dir + "/") {}
  ~ScopedTempDir() {
    if (!dir.empty()) RemoveTempDir(dir);
  }
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;
  const std::string dir;
  const std::string path;
};

// The smallest file that passes for a JPEG of `width` x `height` before decoding: start of image,
// a baseline frame header with one component, end of image.
std::string JpegHeader(int width, int height);

// A channel record with the fields the plug-in reads.
TProgram82 MakeChannel(const char* name, uint32_t frequency, uint8_t polarisation,
                       uint16_t service_id, uint8_t ca_system);
