// The simulated desktop's module folder, clock and files: what GetModuleDir, CVI_GetSystemTime
// and the plug-in's Windows file paths reach on Linux (sim.h, "module folder, clock, files").
// State of its own under its own mutex, reset by sim::Reset.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

#include "platform/sim/sim.h"
#include "platform/sim/sim_parts.h"

namespace {

constexpr size_t kPathMax = 512;

struct Files {
  bool clock_fixed;
  int clock_h, clock_m, clock_s;
  char module_dir[kPathMax];
  char dump_path[kPathMax];
};

std::mutex g_files_mu;
Files g_files = {false, 0, 0, 0, ".", ""};

using Lock = std::lock_guard<std::mutex>;

// Copies `src` into dst[size] only if it fits whole; otherwise stores the empty string.
void CopyWholeOrEmpty(char* dst, size_t size, const char* src) {
  size_t n = src ? std::strlen(src) : 0;
  if (n >= size) n = 0;
  if (n > 0) std::memcpy(dst, src, n);
  dst[n] = '\0';
}

}  // namespace

BOOL MoveFileExA(LPCSTR existing, LPCSTR replacement, DWORD flags) {
  char from[512];
  char to[512];
  if (!sim::MapPath(existing, from, sizeof from) || !sim::MapPath(replacement, to, sizeof to)) {
    return FALSE;
  }
  struct stat info;
  // rename() replaces silently; Windows refuses without the flag.
  if ((flags & MOVEFILE_REPLACE_EXISTING) == 0 && stat(to, &info) == 0) return FALSE;
  // The target must be a file, as MoveFileEx wants (rename would also replace an empty folder).
  if (stat(to, &info) == 0 && !S_ISREG(info.st_mode)) return FALSE;
  return std::rename(from, to) == 0 ? TRUE : FALSE;
}

BOOL DeleteFileA(LPCSTR path) {
  char native[512];
  if (!sim::MapPath(path, native, sizeof native)) return FALSE;
  return unlink(native) == 0 ? TRUE : FALSE;
}

namespace simparts {

void ResetFiles() {
  Lock lock(g_files_mu);
  g_files = Files{false, 0, 0, 0, ".", ""};
}

}  // namespace simparts

namespace sim {

void SetModuleDir(const char* dir) {
  Lock lock(g_files_mu);
  CopyWholeOrEmpty(g_files.module_dir, sizeof g_files.module_dir, dir);
}

const char* ModuleDir() {
  Lock lock(g_files_mu);
  return g_files.module_dir;
}

void SetClock(int hours, int minutes, int seconds) {
  Lock lock(g_files_mu);
  g_files.clock_fixed = true;
  g_files.clock_h = hours;
  g_files.clock_m = minutes;
  g_files.clock_s = seconds;
}

void GetClock(int* hours, int* minutes, int* seconds) {
  int h, m, s;
  {
    Lock lock(g_files_mu);
    h = g_files.clock_h;
    m = g_files.clock_m;
    s = g_files.clock_s;
    if (!g_files.clock_fixed) {
      std::time_t now = std::time(nullptr);
      std::tm local{};
      localtime_r(&now, &local);
      h = local.tm_hour;
      m = local.tm_min;
      s = local.tm_sec;
    }
  }
  if (hours) *hours = h;
  if (minutes) *minutes = m;
  if (seconds) *seconds = s;
}

void SetDumpPath(const char* path) {
  Lock lock(g_files_mu);
  CopyWholeOrEmpty(g_files.dump_path, sizeof g_files.dump_path, path);
}

bool MapPath(const char* windows_path, char* out, size_t out_size) {
  if (!out || out_size == 0) return false;
  out[0] = '\0';
  if (!windows_path) return false;
  Lock lock(g_files_mu);
  const char* src = windows_path;
  bool dump = simparts::EqualNoCase(windows_path, "C:\\Pelta_EIT.dbg");
  if (dump) {
    if (g_files.dump_path[0] == '\0') return false;
    src = g_files.dump_path;
  }
  size_t n = std::strlen(src);
  if (n >= out_size) return false;
  for (size_t i = 0; i < n; ++i) out[i] = (!dump && src[i] == '\\') ? '/' : src[i];
  out[n] = '\0';
  return true;
}

}  // namespace sim
