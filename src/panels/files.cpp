// The panel run-time's file, clock and colour services, shared by the DLL and the Linux build.
//
// Files are C stdio streams in a fixed table. Handles are positive and come from a counter, so a
// closed handle is never mistaken for a later file that took its slot. Every stream is opened in
// binary mode and line ends are handled here: ReadLine accepts LF and CR LF whatever the file's
// type, and WriteLine ends a line with CR LF in a text file (the Windows convention the settings
// file has always used) and with LF in a binary one. One mutex guards the table and each stream
// operation, so a handle closed on one thread cannot be used half-closed on another.
//
// On Linux the plug-in's Windows paths ("<dir>\pelta.ini", "C:\Pelta_EIT.dbg") go through the
// simulated platform's path mapping, and the time of day is the simulated clock, which tests fix.
#include <cstdio>
#include <cstring>
#include <mutex>

#include "panels/panels.h"
#include "panels/uir.h"

#ifdef _WIN32
#include "platform/os.h"
#else
#include "platform/sim/sim.h"
#endif

namespace {

constexpr int kMaxFiles = 8;
constexpr size_t kPathMax = 1024;

struct FileSlot {
  int handle;  // 0: slot free
  std::FILE* stream;
  bool text;      // type 1: lines end with CR LF
  bool writable;  // access 2
};

std::mutex g_files_mutex;
FileSlot g_files[kMaxFiles];
int g_next_handle = 1;

// Caller holds g_files_mutex.
FileSlot* Find(int handle) {
  if (handle <= 0) return nullptr;
  for (FileSlot& f : g_files) {
    if (f.handle == handle) return &f;
  }
  return nullptr;
}

}  // namespace

int CVI_OpenFile(const char* path, int access, int action, int type) {
  if (path == nullptr || (access != 1 && access != 2) || (action != 0 && action != 1) ||
      (type != 0 && type != 1)) {
    return -1;
  }
#ifdef _WIN32
  const char* native = path;
#else
  char native[kPathMax];
  if (!sim::MapPath(path, native, sizeof native) || native[0] == '\0') return -1;
#endif
  const char* mode = access == 1 ? "rb" : (action == 0 ? "wb" : "ab");

  std::lock_guard<std::mutex> lock(g_files_mutex);
  FileSlot* slot = nullptr;
  for (FileSlot& f : g_files) {
    if (f.handle == 0) {
      slot = &f;
      break;
    }
  }
  if (slot == nullptr) return -2;  // too many open files
  std::FILE* stream = std::fopen(native, mode);
  if (stream == nullptr) return -1;
  slot->handle = g_next_handle++;
  if (g_next_handle <= 0) g_next_handle = 1;  // after two billion opens
  slot->stream = stream;
  slot->text = type == 1;
  slot->writable = access == 2;
  return slot->handle;
}

bool uir::ReadPluginFile(const char* path, Layout* out, Error* error) {
#ifdef _WIN32
  return ReadFile(path, out, error);
#else
  char native[kPathMax];
  if (path == nullptr || !sim::MapPath(path, native, sizeof native)) {
    return ReadFile("", out, error);  // fails with "no file name"
  }
  return ReadFile(native, out, error);
#endif
}

int ReadLine(int file, char* buffer, int max_count) {
  if (buffer == nullptr || max_count < 0) return -2;
  std::lock_guard<std::mutex> lock(g_files_mutex);
  FileSlot* f = Find(file);
  if (f == nullptr || f->writable) {
    buffer[0] = '\0';
    return -2;
  }
  std::FILE* s = f->stream;
  int kept = 0;
  bool any = false;  // a character or a line end was read
  for (;;) {
    int c = std::fgetc(s);
    if (c == EOF) break;
    any = true;
    if (c == '\n') break;
    if (c == '\r') {
      // CR LF ends the line; so does a CR at the very end of the file. A CR inside a line is data.
      int next = std::fgetc(s);
      if (next == '\n' || next == EOF) break;
      std::ungetc(next, s);
    }
    if (kept < max_count) buffer[kept++] = static_cast<char>(c);
  }
  buffer[kept] = '\0';
  if (std::ferror(s)) {
    std::clearerr(s);
    return -2;
  }
  if (!any) return -1;
  return kept;
}

int WriteLine(int file, const char* buffer, int count) {
  if (count < 0 || (buffer == nullptr && count > 0)) return -2;
  std::lock_guard<std::mutex> lock(g_files_mutex);
  FileSlot* f = Find(file);
  if (f == nullptr || !f->writable) return -2;
  size_t n = static_cast<size_t>(count);
  if (n > 0 && std::fwrite(buffer, 1, n, f->stream) != n) return -1;
  const char* end = f->text ? "\r\n" : "\n";
  size_t end_len = f->text ? 2 : 1;
  if (std::fwrite(end, 1, end_len, f->stream) != end_len) return -1;
  return count;
}

int CVI_CloseFile(int file) {
  std::lock_guard<std::mutex> lock(g_files_mutex);
  FileSlot* f = Find(file);
  if (f == nullptr) return -1;
  int rc = std::fclose(f->stream);
  *f = FileSlot{};
  return rc == 0 ? 0 : -1;
}

int CVI_GetSystemTime(int* hours, int* minutes, int* seconds) {
  int h = 0, m = 0, s = 0;
#ifdef _WIN32
  SYSTEMTIME now;
  GetLocalTime(&now);
  h = now.wHour;
  m = now.wMinute;
  s = now.wSecond;
#else
  sim::GetClock(&h, &m, &s);
#endif
  if (hours != nullptr) *hours = h;
  if (minutes != nullptr) *minutes = m;
  if (seconds != nullptr) *seconds = s;
  return 0;
}

int MakeColor(int red, int green, int blue) {
  auto clamp = [](int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); };
  return (clamp(red) << 16) | (clamp(green) << 8) | clamp(blue);
}
