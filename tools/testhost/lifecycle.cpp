// The plug-in's life in the host: the load refused without pelta.uir, LoadLibrary with the
// seven exports and the menu resource, the calls a host makes right after loading, the start
// cycle with its start key, On_Exit and FreeLibrary.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "testhost.h"

namespace testhost {

// Loads the DLL copy of a folder without pelta.uir: the load must be refused after a message
// box that names the file looked for. The box is modal inside LoadLibrary on this thread, so a
// helper thread reads its text and presses OK. It is running before LoadLibrary takes the
// loader lock, which a starting thread would wait for.
void CheckLoadWithoutLayout(const std::string& path) {
  g_step = "load without pelta.uir";
  char full[MAX_PATH];
  GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  std::string dir = full;
  dir = dir.substr(0, dir.find_last_of('\\'));
  const std::string expected =
      "Attention :\n\n\n\n\n\n\n\n\nFile " + dir + "\\pelta.uir not found !";
  std::atomic<bool> running{false};
  std::atomic<bool> done{false};
  std::string text;
  bool seen = false;
  std::thread answer([&] {
    running = true;
    for (int i = 0; i < 1000 * g_options.slow && !done.load(); ++i) {
      HWND box = FindWindowA(nullptr, "Pelta error");
      if (box != nullptr) {
        char buffer[1024] = "";
        GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);  // the message box's text control
        text = buffer;
        seen = true;
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return;
      }
      Sleep(20);
    }
  });
  while (!running.load()) Sleep(1);
  HMODULE refused = LoadLibraryA(full);
  done = true;
  answer.join();
  Check(refused == nullptr, "without pelta.uir the plug-in refuses to load");
  if (refused != nullptr) FreeLibrary(refused);
  Check(seen && text == expected, "its message box names the layout file it looked for",
        "seen %d, \"%s\"", seen, text.c_str());
}

// LoadLibrary, the seven exports, the menu resource, and the four panel windows that load
// makes (hidden). False when the library or an export is missing: the script cannot go on.
bool LoadPlugin(Plugin* plugin) {
  const Options& o = g_options;
  g_step = "LoadLibrary";
  char dll_path[MAX_PATH];
  GetFullPathNameA(o.dll.c_str(), sizeof dll_path, dll_path, nullptr);
  plugin->dir = dll_path;
  plugin->dir = plugin->dir.substr(0, plugin->dir.find_last_of('\\'));
  HMODULE dll = LoadLibraryA(dll_path);
  plugin->dll = dll;
  Check(dll != nullptr, "plug-in DLL loads", "LoadLibrary(%s) error %lu", dll_path, GetLastError());
  if (dll == nullptr) return false;
  plugin->on_start = Entry<OnStartFn>(dll, "On_Start");
  plugin->on_exit = Entry<OnExitFn>(dll, "On_Exit");
  plugin->on_channel = Entry<OnChannelChangeFn>(dll, "On_Channel_Change");
  plugin->on_menu = Entry<OnMenuSelectFn>(dll, "On_Menu_Select");
  plugin->on_hot_key = Entry<OnHotKeyFn>(dll, "On_Hot_Key");
  plugin->on_filter_close = Entry<OnFilterCloseFn>(dll, "On_Filter_Close");
  plugin->on_name = Entry<OnSendDllIdNameFn>(dll, "On_Send_Dll_ID_Name");
  const bool all_entries = plugin->on_start && plugin->on_exit && plugin->on_channel &&
                           plugin->on_menu && plugin->on_hot_key && plugin->on_filter_close &&
                           plugin->on_name;
  Check(all_entries, "seven entry points found by name");
  if (!all_entries) return false;
  HMENU menu = LoadMenuA(dll, "EXTERN");
  Check(menu != nullptr && GetMenuItemCount(menu) == 3 && GetMenuItemID(menu, 0) == kMenuSettings &&
            GetMenuItemID(menu, 2) == kMenuGuide,
        "EXTERN menu resource: Settings, About, EPG");
  if (menu != nullptr) DestroyMenu(menu);

  bool panels_hidden = true;
  std::string missing;
  for (const char* caption : {"Pelta", "Settings", "About", "EPG"}) {
    HWND w = FindWindowA(nullptr, caption);
    if (w == nullptr) missing += std::string(" ") + caption;
    if (w != nullptr && IsWindowVisible(w)) panels_hidden = false;
  }
  Check(missing.empty() && panels_hidden, "after load the four panel windows exist and are hidden",
        "missing:%s", missing.c_str());
  HWND osd = FindWindowA(nullptr, "Pelta");
  if (osd != nullptr) {
    const LONG style = GetWindowLongA(osd, GWL_STYLE);
    const LONG ex = GetWindowLongA(osd, GWL_EXSTYLE);
    Check((style & WS_POPUP) && !(style & WS_CAPTION) && GetWindow(osd, GW_OWNER) != nullptr &&
              !(ex & WS_EX_APPWINDOW),
          "display window is an owned borderless popup, kept out of the taskbar",
          "style %08lx ex %08lx", static_cast<unsigned long>(style),
          static_cast<unsigned long>(ex));
  }
  return true;
}

void CheckOnStart(const Plugin& plugin, int dll_id, const char* name) {
  char hot_key[64] = "hotkey";
  char api[64] = "api";
  int res = 55;
  plugin.on_start(GetModuleHandleA(nullptr), g_main, FALSE, dll_id, hot_key, api, &res);
  Check(res == 55 && std::strcmp(hot_key, "hotkey") == 0 && std::strcmp(api, "api") == 0, name);
}

// The calls a host makes right after loading: its name query, On_Start and two no-ops.
void CheckStartSequence(const Plugin& plugin) {
  g_step = "start";
  char name[32];
  std::memset(name, 'x', sizeof name);
  plugin.on_name(name);
  Check(std::memcmp(name, "Pelta", 6) == 0 && name[6] == 'x',
        "On_Send_Dll_ID_Name writes \"Pelta\" and its NUL, nothing more");
  CheckOnStart(plugin, kDllId, "On_Start leaves the host's buffers alone");
  plugin.on_hot_key();
  plugin.on_filter_close(0);
}

// The first channel change after load only starts the start cycle; the start key goes at its
// end.
void CheckStartCycle(const Plugin& plugin) {
  const Options& o = g_options;
  g_step = "first channel change";
  g_keys.clear();
  g_ticks = 0;
  plugin.on_channel(MakeChannel(o.channel));
  Pump(100);
  Check(!Visible("Pelta"), "first channel change after load shows nothing");
  // The start key goes at the fifth tick; three more let the keyboard hook see it.
  WaitFor([] { return g_ticks >= 8; }, static_cast<DWORD>(o.display_ms / 50 * 8 + 400));
  Check(!Visible("Pelta"), "display stays hidden through the start cycle");
  if (o.start_key > 32) {
    int downs = 0;
    for (const KeySeen& k : g_keys) {
      if (k.vk == static_cast<DWORD>(o.start_key & 0xFF) && k.down) ++downs;
    }
    Check(downs == 1, "start key sent once after the start cycle", "vk %d seen %d times",
          o.start_key & 0xFF, downs);
    // A press is a down and an up: the key must not be left held in the key state.
    int ups = 0;
    for (const KeySeen& k : g_keys) {
      if (k.vk == static_cast<DWORD>(o.start_key & 0xFF) && !k.down) ++ups;
    }
    const SHORT async_state = GetAsyncKeyState(o.start_key & 0xFF);
    const SHORT thread_state = GetKeyState(o.start_key & 0xFF);
    Check(ups == 1 && (async_state & 0x8000) == 0 && (thread_state & 0x8000) == 0,
          "start key released after its press", "ups %d, async state %04x, key state %04x", ups,
          static_cast<unsigned>(async_state & 0xFFFF),
          static_cast<unsigned>(thread_state & 0xFFFF));
  }
}

// On_Exit stops the filter and discards the display; FreeLibrary then removes the rest.
void CheckExit(const Plugin& plugin) {
  g_step = "On_Exit";
  plugin.on_exit(GetModuleHandleA(nullptr), g_main, FALSE);
  const int stops = CountCommands(kCmdStopFilter);
  LPARAM stop_param = 0;
  for (const Command& c : g_commands) {
    if (c.code == kCmdStopFilter) stop_param = c.param;
  }
  // The host wrote the id behind the callback pointer: offset 44 in a 32-bit record, 48 in a
  // 64-bit one. Only a plug-in that reads it from there sends it back.
  char stop_name[96];
  std::snprintf(stop_name, sizeof stop_name,
                "On_Exit stops the EIT filter with the running id the host wrote at offset %u",
                static_cast<unsigned>(kFilterRunIdOffset));
  Check(stops == 1 && stop_param == kRunningId, stop_name, "%d stops, id %ld", stops,
        static_cast<long>(stop_param));
  HWND left = FindWindowA(nullptr, "Pelta");
  char left_class[64] = "";
  if (left != nullptr) GetClassNameA(left, left_class, sizeof left_class);
  Check(left == nullptr, "On_Exit discards the display window", "window of class %s remains",
        left_class);
  const int calls = g_feed_calls.load();
  Pump(300);
  Check(g_feed_calls.load() == calls, "no data callback after the filter stopped");
#if defined(__i386__)
  Check(calls > 0 && g_callback_stack_faults.load() == 0,
        "data callback takes cdecl arguments: the stack is as the host left it",
        "%d of %d calls moved the stack pointer", g_callback_stack_faults.load(), calls);
#endif
}

void CheckUnload(const Plugin& plugin) {
  g_step = "FreeLibrary";
  Check(FreeLibrary(plugin.dll) != 0, "plug-in DLL unloads");
  Check(CountCommands(kCmdStopFilter) == 1, "unload after On_Exit sends no second stop");
  bool any_left = false;
  for (const char* caption : {"Pelta", "Settings", "About", "EPG"}) {
    any_left = any_left || FindWindowA(nullptr, caption) != nullptr;
  }
  Check(!any_left, "unload removes every panel window");
  Pump(500);  // a tick or a paint after unload would crash here
  Check(true, "host keeps running after the unload");
}
}  // namespace testhost
