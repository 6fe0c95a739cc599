// The simulated desktop: the Win32 behaviour the plug-in's window discovery, display timer,
// hot keys and load step rely on.
#include "platform/sim/sim.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/os.h"

namespace {

RECT R(LONG l, LONG t, LONG r, LONG b) {
  return RECT{l, t, r, b};
}

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override { sim::Reset(); }
  void TearDown() override { sim::Reset(); }
};

using SimWindows = SimTest;

TEST_F(SimWindows, PointLookupFollowsZOrderVisibilityAndEdges) {
  HWND back = sim::CreateWindow("back", R(0, 0, 1000, 1000));
  HWND front = sim::CreateWindow("front", R(100, 100, 500, 500));
  HWND child = sim::CreateWindow("child", R(100, 100, 200, 200), front);
  HWND grandchild = sim::CreateWindow("grandchild", R(150, 150, 200, 200), child);
  HWND hidden_child = sim::CreateWindow("hidden", R(300, 300, 400, 400), front);
  sim::ShowWindow(hidden_child, false);
  HWND pinned = sim::CreateWindow("pinned", R(600, 600, 700, 700));
  ASSERT_TRUE(SetWindowPos(pinned, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
  sim::CreateWindow("later", R(600, 600, 700, 700));  // newer, but not topmost

  struct Case {
    POINT p;
    HWND want;
  } cases[] = {
      {{120, 120}, child},       // child beats its parent
      {{160, 160}, grandchild},  // the deepest child wins
      {{199, 199}, grandchild},  // right/bottom edges exclusive...
      {{200, 120}, front},       // ...so x = right falls to the parent
      {{100, 100}, child},       // left/top inclusive
      {{350, 350}, front},       // hidden child skipped
      {{50, 50}, back},          // only the window behind covers it
      {{650, 650}, pinned},      // topmost above a newer plain window
      {{1000, 10}, nullptr},     // nothing
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WindowFromPoint(c.p), c.want) << c.p.x << "," << c.p.y;
  }
  EXPECT_EQ(sim::PointLookupCount(), static_cast<int>(sizeof cases / sizeof cases[0]));

  sim::ShowWindow(front, false);  // a hidden parent hides its children from the lookup
  EXPECT_EQ(WindowFromPoint(POINT{160, 160}), back);
  sim::ShowWindow(front, true);
  sim::BringToTop(back);
  EXPECT_EQ(WindowFromPoint(POINT{160, 160}), back);
}

std::vector<HWND> g_seen;
int g_stop_after = 0;
BOOL CALLBACK Collect(HWND h, LPARAM) {
  g_seen.push_back(h);
  return static_cast<int>(g_seen.size()) < g_stop_after;
}

TEST_F(SimWindows, EnumWindowsVisitsTopLevelTopFirstUntilFalse) {
  HWND a = sim::CreateWindow("a", R(0, 0, 10, 10));
  HWND b = sim::CreateWindow("b", R(0, 0, 10, 10));
  sim::CreateWindow("child of b", R(0, 0, 5, 5), b);
  HWND c = sim::CreateWindow("c", R(0, 0, 10, 10));
  sim::ShowWindow(c, false);  // hidden windows are enumerated too
  SetWindowPos(a, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);

  g_seen.clear();
  g_stop_after = 100;
  EXPECT_TRUE(EnumWindows(Collect, 0));
  EXPECT_EQ(g_seen, (std::vector<HWND>{a, c, b}));

  g_seen.clear();
  g_stop_after = 2;
  EXPECT_FALSE(EnumWindows(Collect, 0));
  EXPECT_EQ(g_seen, (std::vector<HWND>{a, c}));
}

TEST_F(SimWindows, FindWindowMatchesWholeTitleExactly) {
  HWND old = sim::CreateWindow("Pelta", R(0, 0, 10, 10));
  HWND parent = sim::CreateWindow("Host", R(0, 0, 10, 10));
  sim::CreateWindow("EPG", R(0, 0, 10, 10), parent);  // children are not searched
  HWND fresh = sim::CreateWindow("Pelta", R(0, 0, 10, 10));
  sim::ShowWindow(fresh, false);

  EXPECT_EQ(FindWindowA(nullptr, "Pelta"), fresh);  // first in z-order, hidden or not
  sim::BringToTop(old);
  EXPECT_EQ(FindWindowA("AnyClass", "Pelta"), old);
  for (const char* miss : {"pelta", "Pelt", "Pelta ", "EPG", ""}) {
    EXPECT_EQ(FindWindowA(nullptr, miss), nullptr) << miss;
  }
  EXPECT_EQ(FindWindowA(nullptr, nullptr), nullptr);
}

TEST_F(SimWindows, DestroyedHandlesStayStale) {
  HWND parent = sim::CreateWindow("ProgDVB", R(0, 0, 100, 100));
  HWND child = sim::CreateWindow("video", R(0, 0, 50, 50), parent);
  sim::DestroyWindow(parent);
  HWND reborn = sim::CreateWindow("ProgDVB", R(0, 0, 100, 100));  // may reuse the slot
  EXPECT_NE(reborn, parent);
  EXPECT_NE(reborn, HWND_TOPMOST);
  sim::Reset();
  HWND after_reset = sim::CreateWindow("x", R(0, 0, 1, 1));

  for (HWND stale : {parent, child, reborn, static_cast<HWND>(nullptr), HWND_TOPMOST}) {
    EXPECT_FALSE(sim::IsWindow(stale));
    EXPECT_NE(stale, after_reset);
    char buf[8] = "junk";
    EXPECT_EQ(GetWindowTextA(stale, buf, sizeof buf), 0);
    EXPECT_EQ(buf[0], '\0');
    RECT r{};
    EXPECT_FALSE(GetWindowRect(stale, &r));
    EXPECT_FALSE(SetWindowPos(stale, HWND_TOPMOST, 1, 2, 3, 4, 0));
    EXPECT_EQ(SetWindowLongA(stale, GWL_EXSTYLE, WS_EX_LAYERED), 0);
    EXPECT_EQ(SendMessageA(stale, WM_USER, 0, 0), 0);
    EXPECT_FALSE(SetForegroundWindow(stale));
  }
  EXPECT_EQ(sim::SetWindowPosCount(), 5);  // refused calls are still logged
  EXPECT_EQ(sim::ForegroundWindow(), nullptr);
}

TEST_F(SimWindows, GetWindowTextTruncatesToTheBuffer) {
  HWND h = sim::CreateWindow("ProgDVB 6.0 Professional", R(0, 0, 1, 1));
  struct Case {
    int max;
    const char* want;
  } cases[] = {{8, "ProgDVB"}, {16, "ProgDVB 6.0 Pro"}, {1, ""}, {256, "ProgDVB 6.0 Professional"}};
  for (const Case& c : cases) {
    char buf[256];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(GetWindowTextA(h, buf, c.max), static_cast<int>(std::strlen(c.want)));
    EXPECT_STREQ(buf, c.want);
  }
  char untouched[4] = "abc";
  EXPECT_EQ(GetWindowTextA(h, untouched, 0), 0);
  EXPECT_STREQ(untouched, "abc");
}

TEST_F(SimWindows, SetWindowPosMovesSizesShowsAndPins) {
  HWND h = sim::CreateWindow("EPG", R(10, 10, 20, 20));
  sim::ShowWindow(h, false);
  ASSERT_TRUE(SetWindowPos(h, HWND_TOPMOST, 50, 50, 420, 420, SWP_SHOWWINDOW));
  sim::WindowInfo info;
  ASSERT_TRUE(sim::GetInfo(h, &info));
  EXPECT_TRUE(info.visible);
  EXPECT_TRUE(info.topmost);
  EXPECT_TRUE(info.exstyle & WS_EX_TOPMOST);
  EXPECT_EQ(info.rect.left, 50);
  EXPECT_EQ(info.rect.bottom, 470);

  SetWindowPos(h, nullptr, 0, 0, 5, 6, SWP_NOMOVE | SWP_NOZORDER | SWP_HIDEWINDOW);
  ASSERT_TRUE(sim::GetInfo(h, &info));
  EXPECT_FALSE(info.visible);
  EXPECT_EQ(info.rect.left, 50);
  EXPECT_EQ(info.rect.right, 55);
  EXPECT_EQ(info.rect.bottom, 56);
}

using SimKeys = SimTest;

TEST_F(SimKeys, AsyncKeyStateReportsPressOnceAndHeldAsNegative) {
  sim::PressKey('P');
  EXPECT_EQ(GetAsyncKeyState('P'), 1);  // counts as a hot key (> 0)
  EXPECT_EQ(GetAsyncKeyState('P'), 0);  // only once
  EXPECT_EQ(GetAsyncKeyState('O'), 0);

  sim::HoldKey('O', true);
  EXPECT_LT(GetAsyncKeyState('O'), 0);  // held: never counts, even right after the press
  EXPECT_LT(GetAsyncKeyState('O'), 0);
  sim::HoldKey('O', false);
  EXPECT_EQ(GetAsyncKeyState('O'), 0);

  for (int vk : {-1, 256, 100000}) {
    sim::PressKey(vk);
    EXPECT_EQ(GetAsyncKeyState(vk), 0);
  }
}

using SimTimer = SimTest;

int g_ticks = 0;
UINT g_kill_at = 0;
void CALLBACK Tick(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
  ++g_ticks;
  EXPECT_EQ(user, 42u);
  if (static_cast<UINT>(g_ticks) == g_kill_at) {
    EXPECT_EQ(timeKillEvent(id), static_cast<MMRESULT>(TIMERR_NOERROR));
  }
}

TEST_F(SimTimer, RefusesZeroPeriodAndStopsWhenKilledFromTheCallback) {
  EXPECT_EQ(timeSetEvent(0, 100, Tick, 42, TIME_PERIODIC), 0u);
  EXPECT_EQ(sim::TimerRefusedCount(), 1);
  EXPECT_FALSE(sim::TimerRunning());

  UINT id = timeSetEvent(60, 100, Tick, 42, TIME_PERIODIC);
  ASSERT_NE(id, 0u);
  EXPECT_EQ(sim::TimerPeriod(), 60u);
  g_ticks = 0;
  g_kill_at = 3;
  sim::FireTimer(10);
  EXPECT_EQ(g_ticks, 3);
  EXPECT_FALSE(sim::TimerRunning());
  EXPECT_EQ(timeKillEvent(id), 97u);  // already gone
}

using SimLookup = SimTest;

TEST_F(SimLookup, LayeredAttributesNeedTheLookupAndTheLayeredStyle) {
  HWND osd = sim::CreateWindow("Pelta", R(0, 0, 100, 60));
  HMODULE user32 = GetModuleHandleA("user32.dll");
  ASSERT_NE(user32, nullptr);
  EXPECT_EQ(GetModuleHandleA("kernel32.dll"), nullptr);
  EXPECT_EQ(GetProcAddress(user32, "SetLayeredWindowAttributesX"), nullptr);
  FARPROC proc = GetProcAddress(user32, "SetLayeredWindowAttributes");
  ASSERT_NE(proc, nullptr);
  auto set_layered =
      reinterpret_cast<BOOL (*)(HWND, COLORREF, BYTE, DWORD)>(reinterpret_cast<void (*)()>(proc));

  EXPECT_FALSE(set_layered(osd, 0, 180, LWA_ALPHA));  // not layered yet
  sim::WindowInfo info;
  ASSERT_TRUE(sim::GetInfo(osd, &info));
  EXPECT_FALSE(info.layered_attrs_set);

  EXPECT_EQ(SetWindowLongA(osd, GWL_EXSTYLE, GetWindowLongA(osd, GWL_EXSTYLE) | WS_EX_LAYERED), 0);
  EXPECT_TRUE(set_layered(osd, 0, 180, LWA_ALPHA));
  ASSERT_TRUE(sim::GetInfo(osd, &info));
  EXPECT_TRUE(info.layered_attrs_set);
  EXPECT_EQ(info.alpha, 180);
  EXPECT_EQ(info.layered_flags, static_cast<DWORD>(LWA_ALPHA));

  sim::FailLayeredLookup(true);
  EXPECT_EQ(GetProcAddress(user32, "SetLayeredWindowAttributes"), nullptr);
}

TEST_F(SimLookup, MapPath) {
  sim::SetDumpPath("/tmp/dump.dbg");
  struct Case {
    const char* in;
    size_t size;
    bool ok;
    const char* want;
  } cases[] = {
      {"C:\\Pelta_EIT.dbg", 64, true, "/tmp/dump.dbg"},
      {"c:\\pelta_eit.DBG", 64, true, "/tmp/dump.dbg"},
      {"C:\\Pelta_EIT.dbg", 13, false, ""},  // the dump path itself does not fit
      {"dir\\sub\\pelta.ini", 64, true, "dir/sub/pelta.ini"},
      {"dir\\sub\\pelta.ini", 17, false, ""},  // one byte short for the NUL
      {"dir\\sub\\pelta.ini", 18, true, "dir/sub/pelta.ini"},
  };
  for (const Case& c : cases) {
    char out[65];  // one past the largest size given
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(sim::MapPath(c.in, out, c.size), c.ok) << c.in << " " << c.size;
    EXPECT_STREQ(out, c.want) << c.in << " " << c.size;
  }
  sim::SetDumpPath("");
  char out[64];
  EXPECT_FALSE(sim::MapPath("C:\\Pelta_EIT.dbg", out, sizeof out));

  std::string long_dir(600, 'd');
  sim::SetModuleDir(long_dir.c_str());
  EXPECT_STREQ(sim::ModuleDir(), "");
}

using SimLog = SimTest;

LRESULT CALLBACK HostProc(HWND, UINT msg, WPARAM wparam, LPARAM lparam) {
  return msg == WM_USER ? static_cast<LRESULT>(wparam) + lparam : -1;
}

TEST_F(SimLog, SendMessageReachesTheWindowProcedureAndRecordsOrder) {
  HWND host = sim::CreateWindow("ProgDVB", R(0, 0, 800, 600), nullptr, HostProc);
  HWND plain = sim::CreateWindow("no proc", R(0, 0, 1, 1));
  EXPECT_EQ(SendMessageA(host, WM_USER, 0x1020, 5), 0x1025);
  EXPECT_EQ(SendMessageA(plain, WM_USER, 1, 1), 0);
  keybd_event(44, 0, 0x101, 0);
  EXPECT_EQ(SetFocus(host), nullptr);
  EXPECT_TRUE(SetForegroundWindow(host));
  SetCursorPos(960, 1080);
  EXPECT_EQ(MessageBoxA(nullptr, std::string(1000, 'm').c_str(), "Pelta error", MB_OK), 1);

  ASSERT_EQ(sim::MessageCount(), 2);
  EXPECT_EQ(sim::MessageAt(0)->hwnd, host);
  EXPECT_EQ(sim::MessageAt(0)->wparam, 0x1020u);
  EXPECT_EQ(sim::MessageAt(2), nullptr);
  ASSERT_EQ(sim::KeyEventCount(), 1);
  EXPECT_EQ(sim::KeyEventAt(0)->flags, 0x101u);
  EXPECT_EQ(sim::FocusWindow(), host);
  EXPECT_EQ(sim::CursorPos().y, 1080);
  EXPECT_EQ(std::strlen(sim::MessageBoxAt(0)->text), sizeof(sim::MessageBoxEntry::text) - 1);

  const sim::Call order[] = {sim::Call::SendMessage, sim::Call::SendMessage,   sim::Call::KeyEvent,
                             sim::Call::SetFocus,    sim::Call::SetForeground, sim::Call::SetCursor,
                             sim::Call::MessageBox};
  ASSERT_EQ(sim::CallCount(), 7);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(sim::CallAt(i)->call, order[i]) << i;

  for (int i = 0; i < sim::kMaxLog + 3; ++i) SetCursorPos(i, i);
  EXPECT_EQ(sim::CallCount(), sim::kMaxLog);
  EXPECT_EQ(sim::DroppedLogEntries(), 10);
  sim::ClearLogs();
  EXPECT_EQ(sim::CallCount(), 0);
  EXPECT_EQ(sim::DroppedLogEntries(), 0);
}

}  // namespace

namespace {

// ANSI text to UTF-8: the result is cut at a character boundary, never inside a sequence.
TEST_F(SimTest, AnsiToUtf8CutsAtACharacterBoundary) {
  const struct {
    int code_page;
    const char* in;
    size_t size;
    const char* want;
  } rows[] = {
      {1252, "T\xE9l\xE9", 64, "T\xC3\xA9l\xC3\xA9"},
      {1252, "T\xE9l\xE9", 3, "T"},  // 'T' and half of é do not make a text
      {1252, "T\xE9l\xE9", 4, "T\xC3\xA9"},
      {1252, "\x80", 3, ""},  // the euro sign needs 3 bytes and the NUL
      {1252, "\x80", 4, "\xE2\x82\xAC"},
      {1252, "abc", 1, ""},
      {1252, "", 8, ""},
      {65001, "\xE4\xB8\xAD\xE6\x96\x87", 6, "\xE4\xB8\xAD"},
      {65001, "\xE4\xB8", 8, "\xEF\xBF\xBD\xEF\xBF\xBD"},                   // a cut sequence
      {65001, "\xED\xA0\x80", 16, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // a surrogate
      {437, "\xE9", 8, "\xC3\xA9"},  // a code page the desktop lacks reads as 1252
  };
  for (const auto& r : rows) {
    sim::SetAnsiCodePage(r.code_page);
    char out[65];  // one past the largest size given
    std::memset(out, 'x', sizeof out);
    const size_t n = AnsiToUtf8(r.in, out, r.size);
    EXPECT_STREQ(out, r.want) << r.code_page << " " << r.in << " in " << r.size;
    EXPECT_EQ(n, std::strlen(r.want));
    EXPECT_EQ(out[r.size], 'x') << "nothing written past the buffer, row " << r.in;
  }
  EXPECT_EQ(AnsiToUtf8("abc", nullptr, 4), 0u);
}

}  // namespace
