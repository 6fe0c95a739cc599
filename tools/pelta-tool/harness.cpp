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

LRESULT CALLBACK HostProc(HWND, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg != WM_USER) return 0;
  const UINT code = static_cast<UINT>(wparam);
  if (command_count < kMaxCommands) {
    commands[command_count++] = Command{code, code == CMD_STOP_FILTER ? lparam : 0};
  }
  if (code == CMD_START_FILTER) {
    unsigned char* record = reinterpret_cast<unsigned char*>(lparam);
    std::memcpy(record + kFilterRunIdOffset, &runid_to_write, 4);
    std::memcpy(&data_callback, record + kFilterCallbackOffset, sizeof data_callback);
  } else if (code == CMD_SIGNAL_QUERY) {
    std::memcpy(reinterpret_cast<unsigned char*>(lparam) + 4, &quality_to_write, 4);
  }
  return 1;
}
}  // namespace

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
