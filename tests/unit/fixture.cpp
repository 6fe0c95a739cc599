#include "fixture.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "display/timer.h"
#include "shared/commands.h"

int32_t& PluginTest::host_runid = harness::runid_to_write;
int32_t& PluginTest::host_quality = harness::quality_to_write;
int& PluginTest::command_count = harness::command_count;
HostCommand (&PluginTest::commands)[harness::kMaxCommands] = harness::commands;

namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

void PluginTest::SetUp() {
  sim::Reset();
  mem::Reset();
  harness::ResetHost(4242, 0);
  dir_ = MakeTempDir("pelta-test");
  ASSERT_FALSE(dir_.empty());
  ASSERT_EQ(mkdir((dir_ + "/pelta_icon").c_str(), 0755), 0);
  WriteFile("pelta.uir", Slurp(std::string(PELTA_SOURCE_DIR) + "/assets/pelta.uir"));
  std::string logo = Slurp(std::string(PELTA_SOURCE_DIR) + "/assets/pelta_icon/0.jpg");
  WriteFile("pelta_icon/0.jpg", logo.empty() ? JpegHeader(16, 16) : logo);
  WriteIni(DefaultIni());
  sim::SetModuleDir(dir_.c_str());
  host_ = harness::CreateHostWindow("ProgDVB 7", RECT{0, 0, 1920, 1080});
}

void PluginTest::TearDown() {
  Unload();
  if (!dir_.empty() && !RemoveTempDir(dir_)) ADD_FAILURE() << "cannot remove " << dir_;
}

std::vector<std::string> PluginTest::DefaultIni() {
  return {" 3.0", "0", "0", "16777215", "1", "1", "1",     "0", "0",
          "0",    "0", "0", "180",      "0", "1", "Arial", "0", ""};
}

void PluginTest::WriteIni(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  WriteFile("pelta.ini", text);
}

void PluginTest::WriteFile(const std::string& relative, const std::string& bytes) {
  std::ofstream out(Path(relative), std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string PluginTest::ReadFile(const std::string& relative) const {
  return Slurp(Path(relative));
}

bool PluginTest::Load() {
  loaded_ = DllMain(reinterpret_cast<HINSTANCE>(0x10000), DLL_PROCESS_ATTACH, nullptr) != 0;
  return loaded_;
}

void PluginTest::Unload() {
  if (!loaded_) return;
  DllMain(reinterpret_cast<HINSTANCE>(0x10000), DLL_PROCESS_DETACH, nullptr);
  loaded_ = false;
}

void PluginTest::Start() {
  char hot_key[16] = "";
  char version[16] = "";
  int res = 0;
  On_Start(nullptr, host_, FALSE, 7, hot_key, version, &res);
}

void PluginTest::LoadStartAndPassGate() {
  ASSERT_TRUE(Load());
  Start();
  On_Channel_Change(MakeChannel("Gate", 11778000, 1, 1, 0));
  sim::FireTimer(5);
  ASSERT_EQ(StartKeySent.load(), 1);
}

std::string MakeTempDir(const char* prefix) {
  std::string pattern = ::testing::TempDir() + prefix + "-XXXXXX";
  return mkdtemp(&pattern[0]) != nullptr ? pattern : std::string();
}

bool RemoveTempDir(const std::string& dir) {
  const std::string cmd = "rm -rf '" + dir + "'";
  return std::system(cmd.c_str()) == 0;
}

std::string RunCommand(const std::string& command, int* exit_status) {
  std::string out;
  if (exit_status != nullptr) *exit_status = -1;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int status = pclose(pipe);
  if (exit_status != nullptr) *exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

std::string JpegHeader(int width, int height) {
  const char bytes[] = {'\xFF',
                        '\xD8',
                        '\xFF',
                        '\xC0',
                        0,
                        11,
                        8,
                        static_cast<char>(height >> 8),
                        static_cast<char>(height & 0xFF),
                        static_cast<char>(width >> 8),
                        static_cast<char>(width & 0xFF),
                        1,
                        1,
                        0x11,
                        0,
                        '\xFF',
                        '\xD9'};
  return std::string(bytes, sizeof bytes);
}

TProgram82 MakeChannel(const char* name, uint32_t frequency, uint8_t polarisation,
                       uint16_t service_id, uint8_t ca_system) {
  TProgram82 chan;
  std::memset(chan.bytes, 0, sizeof chan.bytes);
  std::strncpy(reinterpret_cast<char*>(chan.bytes), name, kChannelNameField - 1);
  for (int i = 0; i < 4; ++i) chan.bytes[92 + i] = static_cast<unsigned char>(frequency >> (8 * i));
  chan.bytes[97] = polarisation;
  chan.bytes[122] = static_cast<unsigned char>(service_id & 0xFF);
  chan.bytes[123] = static_cast<unsigned char>(service_id >> 8);
  chan.bytes[128] = ca_system;
  return chan;
}
