#include "harness.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "shared/commands.h"

namespace harness {

Command commands[kMaxCommands];
int command_count = 0;
int32_t runid_to_write = 1;
int32_t quality_to_write = 87;
void (*data_callback)(int, int, const unsigned char*) = nullptr;

namespace {
char g_dir[256];

bool CopyFolder(const std::string& from, const std::string& to) {
  std::string cmd = "cp -R '" + from + "/.' '" + to + "/' 2>/dev/null";
  if (std::system(cmd.c_str()) != 0) {
    std::fprintf(stderr, "pelta-tool: cannot copy logos from %s\n", from.c_str());
    return false;
  }
  return true;
}

}  // namespace

void ResetHost(int32_t runid, int32_t quality) {
  command_count = 0;
  runid_to_write = runid;
  quality_to_write = quality;
  data_callback = nullptr;
}

LRESULT CALLBACK HostProc(HWND, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg != WM_USER) return 0;
  const UINT code = static_cast<UINT>(wparam);
  unsigned char* record = reinterpret_cast<unsigned char*>(lparam);
  if (command_count < kMaxCommands) {
    Command& c = commands[command_count++];
    c.code = code;
    c.param = lparam;
    std::memset(c.record, 0, sizeof c.record);
    static_assert(kFilterRequestSize <= sizeof c.record, "the start record fits");
    if (code == CMD_START_FILTER && record != nullptr)
      std::memcpy(c.record, record, kFilterRequestSize);
  }
  if (record == nullptr) return 1;
  if (code == CMD_START_FILTER) {
    std::memcpy(record + kFilterRunIdOffset, &runid_to_write, sizeof runid_to_write);
    std::memcpy(&data_callback, record + kFilterCallbackOffset, sizeof data_callback);
  } else if (code == CMD_SIGNAL_QUERY) {
    std::memcpy(record + kSignalQualityOffset, &quality_to_write, sizeof quality_to_write);
  }
  return 1;
}

int CommandsWithCode(UINT code) {
  int n = 0;
  for (int i = 0; i < command_count && i < kMaxCommands; ++i) n += commands[i].code == code;
  return n;
}

bool CopyFile(const std::string& from, const std::string& to) {
  FILE* in = std::fopen(from.c_str(), "rb");
  if (in == nullptr) return false;
  FILE* out = std::fopen(to.c_str(), "wb");
  if (out == nullptr) {
    std::fclose(in);
    return false;
  }
  char buffer[8192];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) std::fwrite(buffer, 1, n, out);
  std::fclose(in);
  return std::fclose(out) == 0;
}

namespace {
bool CopyOrSay(const std::string& from, const std::string& to) {
  if (CopyFile(from, to)) return true;
  std::fprintf(stderr, "pelta-tool: cannot copy %s to %s\n", from.c_str(), to.c_str());
  return false;
}
}  // namespace

bool PrepareModuleDir(const Options& options) {
  std::snprintf(g_dir, sizeof g_dir, "/tmp/pelta-tool-XXXXXX");
  if (mkdtemp(g_dir) == nullptr) {
    std::fprintf(stderr, "pelta-tool: cannot make a temporary folder\n");
    return false;
  }
  const std::string src = PELTA_SOURCE_DIR;
  const std::string dir = g_dir;
  if (mkdir((dir + "/pelta_icon").c_str(), 0755) != 0) return false;
  if (!CopyOrSay(options.ini ? options.ini : src + "/assets/pelta.ini", dir + "/pelta.ini"))
    return false;
  if (!CopyOrSay(options.uir ? options.uir : src + "/assets/pelta.uir", dir + "/pelta.uir"))
    return false;
  if (!CopyFolder(options.icons ? options.icons : src + "/assets/pelta_icon", dir + "/pelta_icon"))
    return false;
  sim::SetModuleDir(g_dir);
  return true;
}

const char* ModuleDir() {
  return g_dir;
}

void Cleanup() {
  if (g_dir[0] == '\0') return;
  std::string cmd = std::string("rm -rf '") + g_dir + "'";
  if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "pelta-tool: cannot remove %s\n", g_dir);
  g_dir[0] = '\0';
}

HWND CreateHostWindow(const char* title, RECT rect) {
  return sim::CreateWindow(title, rect, nullptr, &HostProc);
}

}  // namespace harness
