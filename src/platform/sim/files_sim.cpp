// The simulated desktop's module folder, clock and files: what GetModuleDir, CVI_GetSystemTime,
// GetSystemTimeAsFileTime and the plug-in's Windows file paths reach on Linux (sim.h, "module
// folder, clock, files"). State of its own under its own mutex, reset by sim::Reset.
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
  bool now_fixed;
  long long now_utc;  // seconds since 1970-01-01 UTC
  char module_dir[kPathMax];
  char dump_path[kPathMax];
};

std::mutex g_files_mu;
Files g_files = {false, 0, 0, 0, false, 0, ".", ""};

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

void GetSystemTimeAsFileTime(FILETIME* out) {
  if (out == nullptr) return;
  long long seconds = 0;
  bool fixed = false;
  {
    Lock lock(g_files_mu);
    fixed = g_files.now_fixed;
    seconds = g_files.now_utc;
  }
  long long ticks = 0;                                     // 100 ns since 1601-01-01
  constexpr long long kEpochTicks = 116444736000000000LL;  // 1970-01-01 in those units
  if (fixed) {
    ticks = kEpochTicks + seconds * 10000000LL;
  } else {
    timespec real{};
    clock_gettime(CLOCK_REALTIME, &real);
    ticks = kEpochTicks + static_cast<long long>(real.tv_sec) * 10000000LL + real.tv_nsec / 100;
  }
  const unsigned long long u = static_cast<unsigned long long>(ticks);
  out->dwLowDateTime = static_cast<DWORD>(u & 0xFFFFFFFFu);
  out->dwHighDateTime = static_cast<DWORD>(u >> 32);
}

namespace simparts {

void ResetFiles() {
  Lock lock(g_files_mu);
  g_files = Files{false, 0, 0, 0, false, 0, ".", ""};
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

void SetNow(long long utc_seconds) {
  Lock lock(g_files_mu);
  g_files.now_fixed = true;
  g_files.now_utc = utc_seconds;
}

void GetClock(int* hours, int* minutes, int* seconds) {
  int h, m, s;
  bool from_now = false;
  long long now = 0;
  {
    Lock lock(g_files_mu);
    h = g_files.clock_h;
    m = g_files.clock_m;
    s = g_files.clock_s;
    from_now = !g_files.clock_fixed && g_files.now_fixed;
    now = g_files.now_utc;
    if (!g_files.clock_fixed && !g_files.now_fixed) {
      std::time_t real = std::time(nullptr);
      std::tm local{};
      localtime_r(&real, &local);
      h = local.tm_hour;
      m = local.tm_min;
      s = local.tm_sec;
    }
  }
  if (from_now) {
    // The fixed instant in the simulated zone, as Windows' GetLocalTime gives it.
    long long days = now / 86400;
    long long rest = now % 86400;
    if (rest < 0) rest += 86400, --days;
    const std::time_t midnight = static_cast<std::time_t>(days * 86400);
    std::tm date{};
    gmtime_r(&midnight, &date);
    SYSTEMTIME utc{};
    utc.wYear = static_cast<WORD>(date.tm_year + 1900);
    utc.wMonth = static_cast<WORD>(date.tm_mon + 1);
    utc.wDay = static_cast<WORD>(date.tm_mday);
    utc.wHour = static_cast<WORD>(rest / 3600);
    utc.wMinute = static_cast<WORD>(rest / 60 % 60);
    utc.wSecond = static_cast<WORD>(rest % 60);
    SYSTEMTIME local{};
    if (SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
      h = local.wHour;
      m = local.wMinute;
      s = local.wSecond;
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
