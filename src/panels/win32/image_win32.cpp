// Picture files for the logo control: JPEG into a GDI bitmap, within the bounds of
// picture_bounds.h (checked before GDI+ sees the file).
//
// GDI+ ships with every Windows since XP. It is loaded and started on the first picture, never
// in DllMain (GdiplusStartup must not run under the loader lock), through four functions of its
// flat API looked up by name, so the library has no load-time dependency on it. The decoded
// image is copied into a bitmap of our own and the GDI+ image released at once, so the file is
// not held open while the logo is shown.
#include <mutex>

#include "panels/picture_bounds.h"
#include "panels/win32/panels_win32.h"

namespace {

// GdiplusStartupInput, version 1, as the flat API takes it.
struct StartupInput {
  UINT32 version;
  void* debug_event_callback;
  BOOL suppress_background_thread;
  BOOL suppress_external_codecs;
};

typedef int(WINAPI* StartupFn)(ULONG_PTR* token, const StartupInput* input, void* output);
typedef int(WINAPI* CreateBitmapFromFileFn)(const WCHAR* file, void** bitmap);
typedef int(WINAPI* CreateHbitmapFn)(void* bitmap, HBITMAP* out, DWORD background);
typedef int(WINAPI* DisposeImageFn)(void* image);

constexpr int kOk = 0;  // GpStatus Ok

struct Gdiplus {
  bool tried;
  bool ready;
  ULONG_PTR token;
  CreateBitmapFromFileFn create_bitmap_from_file;
  CreateHbitmapFn create_hbitmap;
  DisposeImageFn dispose_image;
};

std::mutex g_gdiplus_mutex;
Gdiplus g_gdiplus;

template <typename Fn>
bool Lookup(HMODULE module, const char* name, Fn* out) {
  FARPROC proc = GetProcAddress(module, name);
  *out = reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
  return proc != nullptr;
}

// Caller holds g_gdiplus_mutex. One attempt per process: a system without GDI+ shows no logos.
bool StartGdiplus() {
  if (g_gdiplus.tried) return g_gdiplus.ready;
  g_gdiplus.tried = true;
  HMODULE module = LoadLibraryA("gdiplus.dll");
  if (module == nullptr) return false;
  StartupFn startup = nullptr;
  if (!Lookup(module, "GdiplusStartup", &startup) ||
      !Lookup(module, "GdipCreateBitmapFromFile", &g_gdiplus.create_bitmap_from_file) ||
      !Lookup(module, "GdipCreateHBITMAPFromBitmap", &g_gdiplus.create_hbitmap) ||
      !Lookup(module, "GdipDisposeImage", &g_gdiplus.dispose_image)) {
    return false;
  }
  StartupInput input = {1, nullptr, FALSE, FALSE};
  if (startup(&g_gdiplus.token, &input, nullptr) != kOk) return false;
  g_gdiplus.ready = true;
  return true;
}

}  // namespace

namespace win32panels {

bool DecodeImageFile(const char* path, HBITMAP* out, int* width, int* height) {
  *out = nullptr;
  if (path == nullptr || *path == '\0') return false;
  WCHAR wide[MAX_PATH * 2];
  // Paths are 8-bit in the plug-in; the system's ANSI code page is how Windows reads them.
  if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH * 2) == 0) return false;
  // Fail fast (and without GDI+) for the common case, a channel without a logo file.
  if (GetFileAttributesW(wide) == INVALID_FILE_ATTRIBUTES) return false;
  // The file's length and the frame size its header claims, before GDI+ decodes anything.
  int header_width = 0;
  int header_height = 0;
  if (CheckPictureFile(path, &header_width, &header_height) != PictureCheck::kOk) return false;
  std::lock_guard<std::mutex> lock(g_gdiplus_mutex);
  if (!StartGdiplus()) return false;
  void* bitmap = nullptr;
  if (g_gdiplus.create_bitmap_from_file(wide, &bitmap) != kOk || bitmap == nullptr) return false;
  HBITMAP decoded = nullptr;
  int status = g_gdiplus.create_hbitmap(bitmap, &decoded, 0xFF000000);
  g_gdiplus.dispose_image(bitmap);
  if (status != kOk || decoded == nullptr) return false;
  BITMAP info = {};
  if (GetObjectA(decoded, sizeof info, &info) == 0 || info.bmWidth <= 0 || info.bmHeight == 0) {
    DeleteObject(decoded);
    return false;
  }
  *out = decoded;
  *width = info.bmWidth;
  *height = info.bmHeight < 0 ? -info.bmHeight : info.bmHeight;
  return true;
}

}  // namespace win32panels
