// The host's plug-in menu: About, the guide window and the Settings dialog, each running its
// loop inside the menu call until the dialog ends, and the Settings dialog worked with keys as a
// user works it.
#include <windows.h>
// After <windows.h>: the trackbar's messages (constants only; nothing is linked).
#include <commctrl.h>

#include <cstdio>
#include <cstring>

#include "testhost.h"

namespace testhost {

// The host menu: each item runs its dialog inside the menu call until the dialog ends.
void CheckAboutMenu(const Plugin& plugin) {
  g_step = "menu About";
  bool about_seen = false;
  std::string about_text;
  After(600, [&] {
    about_seen = Visible("About");
    about_text = ControlText("About", 3);
    ClickButton("About", "OK");
  });
  DWORD menu_at = GetTickCount();
  plugin.on_menu(kMenuAbout);
  DWORD menu_ms = GetTickCount() - menu_at;
  Check(about_seen && menu_ms >= 500, "About menu item runs its dialog until OK",
        "shown %d, returned after %lu ms", about_seen, static_cast<unsigned long>(menu_ms));
  Check(about_text == "Pelta 2_0", "About box shows the version", "\"%s\"", about_text.c_str());
  Check(!Visible("About"), "About box hidden after OK");
}

void CheckGuideMenu(const Plugin& plugin) {
  const Options& o = g_options;
  g_step = "menu EPG";
  bool guide_seen = false;
  std::string guide_channel;
  After(400, [&] {
    guide_seen = Visible("EPG");
    guide_channel = ControlText("EPG", 4);
    PostMessageA(FindWindowA(nullptr, "EPG"), WM_CLOSE, 0, 0);  // the close box
  });
  const DWORD menu_at = GetTickCount();
  plugin.on_menu(kMenuGuide);
  const DWORD menu_ms = GetTickCount() - menu_at;
  Check(guide_seen && guide_channel == o.channel && menu_ms >= 300,
        "EPG menu item shows the guide until its window is closed", "shown %d, \"%s\"", guide_seen,
        guide_channel.c_str());
  Check(!Visible("EPG"), "guide hidden after the close box");
}

void CheckSettingsMenu(const Plugin& plugin) {
  const Options& o = g_options;
  g_step = "menu Settings";
  bool settings_seen = false;
  bool font_dialog_seen = false;
  bool alignment_seen = false;
  bool settings_after_font = false;
  std::string opacity_field;
  // The font dialog (a common dialog) and then the alignment menu open inside the Font
  // button's callback; each is answered from a timer that runs inside its modal loop.
  std::function<void()> answer_font;
  std::function<void()> answer_alignment;
  int font_tries = 0;
  int alignment_tries = 0;
  answer_font = [&] {
    HWND dialog = FindWindowA("#32770", nullptr);
    if (dialog == nullptr || !IsWindowVisible(dialog)) {
      if (++font_tries < 50) After(100, answer_font);
      return;
    }
    font_dialog_seen = true;
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    After(100, answer_alignment);
  };
  answer_alignment = [&] {
    HWND popup = FindWindowA("#32768", nullptr);
    if (popup == nullptr || !IsWindowVisible(popup)) {
      if (++alignment_tries < 50) After(100, answer_alignment);
      return;
    }
    alignment_seen = true;
    EndMenu();  // dismissed: the alignment stays as it was
  };
  After(400, [&] {
    settings_seen = Visible("Settings");
    HWND slider = GetDlgItem(FindWindowA(nullptr, "Settings"), 19);
    opacity_field = std::to_string(SendMessageA(slider, TBM_GETPOS, 0, 0));
    After(300, answer_font);
    ClickButton("Settings", "Font...");  // returns once the font dialog is done
    settings_after_font = Visible("Settings");
    ClickButton("Settings", "Save");
  });
  plugin.on_menu(kMenuSettings);
  char opacity_text[16];
  std::snprintf(opacity_text, sizeof opacity_text, "%d", o.alpha);
  Check(settings_seen && opacity_field == opacity_text,
        "Settings dialog shows the settings file's values", "opacity slider at \"%s\"",
        opacity_field.c_str());
  Check(font_dialog_seen && alignment_seen && settings_after_font,
        "Font button runs the font dialog and the alignment choice, the dialog stays open",
        "font dialog %d, alignment menu %d", font_dialog_seen, alignment_seen);
  const std::vector<std::string> ini = ReadLines(plugin.dir + "\\pelta.ini");
  Check(!Visible("Settings") && ini.size() == 18 && ini[12] == opacity_text && ini[13] == "0" &&
            !ini[15].empty() && ini[16] == "1" && ini[17] == "cze,zho",
        "Save hides the dialog and writes eighteen lines to pelta.ini (font, alignment, times, "
        "EPG languages)",
        "%d lines", static_cast<int>(ini.size()));
}

// The close box closes without saving: an edit in the dialog, then the close box.
void CheckSettingsCloseBox(const Plugin& plugin) {
  g_step = "Settings close box";
  const std::vector<std::string> saved = ReadLines(plugin.dir + "\\pelta.ini");
  bool edited = false;
  After(400, [&] {
    HWND settings = FindWindowA(nullptr, "Settings");
    edited = settings != nullptr && GetDlgItem(settings, 19) != nullptr;
    SendMessageA(GetDlgItem(settings, 19), TBM_SETPOS, TRUE, 77);
    PostMessageA(settings, WM_CLOSE, 0, 0);
  });
  plugin.on_menu(kMenuSettings);
  Check(edited && !Visible("Settings") && ReadLines(plugin.dir + "\\pelta.ini") == saved,
        "Settings close box closes the dialog and leaves pelta.ini untouched", "edited %d", edited);
}

namespace {

// Keys posted one after another to whatever has the focus, each taken by the plug-in's loop
// before the next; `shift` holds Shift down meanwhile (in this thread's key state, which the
// dialog reads). `then` runs after the last one.
void PressKeys(std::vector<WPARAM> keys, bool shift, std::vector<int>* focus_ids,
               std::function<void()> then) {
  if (keys.empty()) {
    then();
    return;
  }
  BYTE state[256];
  GetKeyboardState(state);
  state[VK_SHIFT] = shift ? 0x80 : 0;
  SetKeyboardState(state);
  const WPARAM key = keys.front();
  keys.erase(keys.begin());
  PostMessageA(GetFocus(), WM_KEYDOWN, key, 1);
  After(60, [keys, shift, focus_ids, then] {
    if (focus_ids != nullptr) focus_ids->push_back(GetDlgCtrlID(GetFocus()));
    PressKeys(keys, shift, focus_ids, then);
  });
}

std::string Ids(const std::vector<int>& ids) {
  std::string out;
  for (int id : ids) out += (out.empty() ? "" : " ") + std::to_string(id);
  return out;
}

}  // namespace

// The Settings dialog's controls as a user works them: Tab and Shift+Tab in reading order, the
// controls set with their own messages (which notify nobody), Enter saves what they show; Esc
// closes without saving; the start key's name stands beside its number.
void CheckSettingsControls(const Plugin& plugin) {
  g_step = "Settings controls";
  const std::string ini_path = plugin.dir + "\\pelta.ini";
  // Reading order, from the field the dialog opens on; then round to the first again.
  const std::vector<int> forward = {8,  6,  10, 9,  19, 3,  22, 2,  15, 24,
                                    14, 23, 13, 12, 7,  11, 20, 21, 4};
  const std::vector<int> backward = {21, 20, 11};
  std::vector<int> tabbed, shift_tabbed;
  int first = 0;
  int mnemonic_focus = 0;
  std::string spun;
  std::string key_name;
  std::wstring size_label, size_entry;
  After(400, [&] {
    HWND settings = FindWindowA(nullptr, "Settings");
    first = GetDlgCtrlID(GetFocus());
    // The size list's label (the STATIC made just before it) and its last entry, as a Unicode
    // program reads them.
    size_label = WideText(GetWindow(GetDlgItem(settings, 8), GW_HWNDPREV));
    wchar_t entry[64] = L"";
    if (SendMessageW(GetDlgItem(settings, 8), CB_GETLBTEXTLEN, 3, 0) < 64) {
      SendMessageW(GetDlgItem(settings, 8), CB_GETLBTEXT, 3, reinterpret_cast<LPARAM>(entry));
    }
    size_entry = entry;
    // The STATIC beside the start key's field.
    for (HWND w = GetWindow(GetDlgItem(settings, 15), GW_HWNDNEXT);
         w != nullptr && key_name.empty(); w = GetWindow(w, GW_HWNDNEXT)) {
      if (Text(w).rfind("= ", 0) == 0) key_name = Text(w);
    }
    std::vector<WPARAM> tabs(forward.size(), VK_TAB);
    PressKeys(tabs, false, &tabbed, [&] {
      PressKeys({VK_TAB, VK_TAB, VK_TAB}, true, &shift_tabbed, [&] {
        HWND dialog = FindWindowA(nullptr, "Settings");
        auto item = [dialog](int id) { return GetDlgItem(dialog, id); };
        SendMessageA(item(14), BM_SETCHECK, BST_UNCHECKED, 0);
        SendMessageA(item(7), BM_SETCHECK, BST_CHECKED, 0);
        SendMessageA(item(8), CB_SETCURSEL, 2, 0);  // Large, 120 pixels
        SendMessageA(item(6), CB_SETCURSEL, 2, 0);  // Title, then description
        SendMessageA(item(2), CB_SETCURSEL, 1, 0);  // Write EIT data: -1
        SendMessageA(item(19), TBM_SETPOS, TRUE, 99);
        // The colour chooser's answer for the background swatch.
        SendMessageA(dialog, WM_APP + 0x43, 10, 0x102030);
        // Alt+K (the start key's label) goes to its field; Up in the display time's field
        // adds a tenth.
        PostMessageA(GetFocus(), WM_SYSCHAR, 'k', 1 | (1 << 29));
        After(60, [&, item] {
          mnemonic_focus = GetDlgCtrlID(GetFocus());
          SetFocus(item(4));
          PressKeys({VK_UP, VK_UP, VK_DOWN}, false, nullptr, [&, item] {
            spun = Text(item(4));
            SetFocus(item(19));  // Enter on a control that is no button presses Save
            PressKeys({VK_RETURN}, false, nullptr, [] {});
          });
        });
      });
    });
  });
  // Should a key go astray, the dialog is closed so that the menu call returns.
  After(6000, [] {
    HWND d = FindWindowA(nullptr, "Settings");
    if (d != nullptr && IsWindowVisible(d)) PostMessageA(d, WM_CLOSE, 0, 0);
  });
  plugin.on_menu(kMenuSettings);
  Check(first == 4 && tabbed == forward, "Tab moves through the Settings controls in reading order",
        "from %d: %s", first, Ids(tabbed).c_str());
  Check(shift_tabbed == backward, "Shift+Tab moves back", "%s", Ids(shift_tabbed).c_str());
  Check(size_label == L"S&ize" && size_entry == L"Medium with large programme lines",
        "the size list's label and entries read back through the wide API", "\"%s\", \"%s\"",
        Utf8(size_label).c_str(), Utf8(size_entry).c_str());
  char want_key[32];
  std::snprintf(want_key, sizeof want_key, "= F%d", g_options.start_key - 0x6F);
  Check(key_name == want_key, "the start key's name beside its number", "\"%s\" (want \"%s\")",
        key_name.c_str(), want_key);
  Check(mnemonic_focus == 15, "Alt+K goes to the start key's field", "focus on %d", mnemonic_focus);
  char want_time[16];
  std::snprintf(want_time, sizeof want_time, "%.1f", g_options.display_ms / 1000.0 + 0.1);
  std::vector<std::string> ini = ReadLines(ini_path);
  Check(spun == want_time && !ini.empty() && ini[0].find(want_time) != std::string::npos,
        "Up and Down in the display time's field move it a tenth, and Save writes it",
        "field \"%s\", line 1 \"%s\" (want %s)", spun.c_str(), ini.empty() ? "" : ini[0].c_str(),
        want_time);
  Check(!Visible("Settings") && ini.size() == 18 && ini[1] == "2" && ini[2] == "1056816" &&
            ini[4] == "0" && ini[7] == "1" && ini[10] == "-1" && ini[12] == "99" && ini[14] == "2",
        "Enter saves what the check boxes, lists, swatch and slider show",
        "%d lines: size %s, back %s, guide %s, follow %s, debug %s, opacity %s, format %s",
        static_cast<int>(ini.size()), ini.size() > 1 ? ini[1].c_str() : "",
        ini.size() > 2 ? ini[2].c_str() : "", ini.size() > 4 ? ini[4].c_str() : "",
        ini.size() > 7 ? ini[7].c_str() : "", ini.size() > 10 ? ini[10].c_str() : "",
        ini.size() > 12 ? ini[12].c_str() : "", ini.size() > 14 ? ini[14].c_str() : "");

  // Esc: a change, then the key; the dialog closes and the file stays as it is.
  const std::vector<std::string> saved = ReadLines(ini_path);
  bool changed = false;
  After(400, [&] {
    HWND dialog = FindWindowA(nullptr, "Settings");
    changed = dialog != nullptr;
    SendMessageA(GetDlgItem(dialog, 13), BM_SETCHECK, BST_UNCHECKED, 0);
    PressKeys({VK_ESCAPE}, false, nullptr, [] {});
  });
  After(3000, [] {
    HWND d = FindWindowA(nullptr, "Settings");
    if (d != nullptr && IsWindowVisible(d)) PostMessageA(d, WM_CLOSE, 0, 0);
  });
  plugin.on_menu(kMenuSettings);
  Check(changed && !Visible("Settings") && ReadLines(ini_path) == saved,
        "Esc closes the Settings dialog without saving");
}
}  // namespace testhost
