// The headless panel run-time: handles, values and attributes, the event loop, the font
// dialog's scripting, picture files, and the panel's simulated window.
#include "panels/memory/memory_panels.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fixture.h"
#include "panels/panels.h"
#include "platform/sim/sim.h"

namespace {

const char kLayout[] =
    "[panel 4]\n"
    "caption = Strip\n"
    "rect = 10, 20, 300, 60\n"
    "style = popup\n"
    "background = 0x000000\n"
    "[control 8]\n"
    "kind = text\n"
    "rect = 1, 2, 100, 20\n"
    "value = Hello\n"
    "font = Arial\n"
    "size = 22\n"
    "text_colour = 0xFFFFFF\n"
    "[control 9]\n"
    "kind = picture\n"
    "rect = 5, 5, 60, 45\n"
    "[control 2]\n"
    "kind = numeric\n"
    "rect = 0, 0, 10, 10\n"
    "value = 7\n"
    "[control 4]\n"
    "kind = float\n"
    "rect = 0, 0, 10, 10\n"
    "value = 2.5\n"
    "[control 5]\n"
    "kind = button\n"
    "rect = 0, 0, 10, 10\n"
    "callback = PRESS\n"
    "[panel 3]\n"
    "caption = Dialog\n"
    "rect = 50, 50, 300, 400\n"
    "close_control = 5\n"
    "[control 5]\n"
    "kind = button\n"
    "rect = 0, 0, 10, 10\n"
    "callback = QUIT\n"
    "[control 6]\n"
    "kind = button\n"
    "rect = 0, 0, 10, 10\n"
    "callback = PRESS\n"
    "[control 7]\n"
    "kind = button\n"
    "rect = 0, 0, 10, 10\n"
    "callback = NEST\n"
    "[panel 2]\n"
    "caption = Bare\n"
    "rect = 0, 0, 100, 100\n"
    "[control 1]\n"
    "kind = text\n"
    "rect = 0, 0, 10, 10\n";

struct Call {
  int panel, control, event;
};
std::vector<Call> g_calls;
std::mutex g_calls_mutex;  // callbacks may run on two threads (ConcurrentCallersStayConsistent)

void Record(int panel, int control, int event) {
  std::lock_guard<std::mutex> lock(g_calls_mutex);
  g_calls.push_back({panel, control, event});
}
int Press(int panel, int control, int event, void*, int, int) {
  Record(panel, control, event);
  return 0;
}
int Quit(int panel, int control, int event, void*, int, int) {
  Record(panel, control, event);
  HidePanel(panel);
  QuitUserInterface(0);
  return 0;
}
int g_nested_result = 99;
int Nest(int panel, int control, int event, void*, int, int) {
  Record(panel, control, event);
  g_nested_result = RunUserInterface();
  return 0;
}
const PanelCallbackEntry kTable[] = {{"PRESS", Press}, {"QUIT", Quit}, {"NEST", Nest}};

std::string WriteTemp(const std::string& name, const std::string& bytes) {
  std::string path = testing::TempDir() + "mem_panels_" + std::to_string(::getpid()) + "_" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f != nullptr) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  return path;
}

class MemPanels : public testing::Test {
 protected:
  void SetUp() override {
    sim::Reset();
    mem::Reset();
    g_calls.clear();
    g_nested_result = 99;
    SetPanelCallbackTable(kTable, 3);
    path_ = WriteTemp("layout.uir", kLayout);
  }
  void TearDown() override {
    mem::Reset();
    std::remove(path_.c_str());
  }
  int Load(int number) { return LoadPanelEx(0, path_.c_str(), number, nullptr); }
  std::string Text(int panel, int control) {
    char buf[mem::kTextMax];
    return mem::CtrlText(panel, control, buf, sizeof buf) ? buf : "<none>";
  }
  int Attr(int panel, int control, int code) {
    int v = -12345;
    return mem::CtrlAttr(panel, control, code, &v) ? v : -12345;
  }
  std::string path_;
};

TEST_F(MemPanels, StaleHandlesAreRejectedWithoutEffect) {
  int a = Load(4);
  ASSERT_GT(a, 0);
  ASSERT_EQ(DiscardPanel(a), 0);
  int b = Load(4);
  ASSERT_GT(b, 0);
  EXPECT_NE(a, b) << "a discarded handle is never given out again";
  EXPECT_FALSE(mem::IsLoaded(a));

  for (int stale : {a, 0, -1, b + 100}) {
    EXPECT_LT(DisplayPanel(stale), 0);
    EXPECT_LT(HidePanel(stale), 0);
    EXPECT_LT(DiscardPanel(stale), 0);
    EXPECT_LT(SetActivePanel(stale), 0);
    EXPECT_LT(SetCtrlVal(stale, 8, "x"), 0);
    EXPECT_LT(SetCtrlVal(stale, 2, 1), 0);
    EXPECT_LT(SetCtrlVal(stale, 4, 1.0), 0);
    int i = 0;
    float f = 0;
    char t[8];
    EXPECT_LT(GetCtrlVal(stale, 2, &i), 0);
    EXPECT_LT(GetCtrlVal(stale, 4, &f), 0);
    EXPECT_LT(GetCtrlVal(stale, 8, t, sizeof t), 0);
    EXPECT_LT(SetCtrlAttribute(stale, 8, ATTR_LEFT, 5), 0);
    EXPECT_LT(SetCtrlAttribute(stale, 8, ATTR_TEXT_FONT, "Arial"), 0);
    EXPECT_LT(SetPanelAttribute(stale, ATTR_BACKCOLOR, 1), 0);
    EXPECT_LT(ResetTextBox(stale, 8, ""), 0);
    EXPECT_NE(DisplayImageFile(stale, 9, path_.c_str()), 0);
    EXPECT_EQ(mem::PanelAttr(stale, ATTR_BACKCOLOR), -1);
  }
  // The live panel was not touched by any of it.
  EXPECT_EQ(Text(b, 8), "Hello");
  EXPECT_FALSE(mem::CtrlWasSet(b, 8));
  EXPECT_FALSE(mem::IsVisible(b));
  int handles[8];
  ASSERT_EQ(mem::Handles(handles, 8), 1);
  EXPECT_EQ(handles[0], b);
}

TEST_F(MemPanels, LoadFailures) {
  EXPECT_LT(LoadPanelEx(0, (path_ + ".missing").c_str(), 4, nullptr), 0);
  EXPECT_NE(std::string(mem::LastLoadError()).find("cannot open"), std::string::npos);
  EXPECT_LT(Load(9), 0);  // no such panel
  EXPECT_NE(std::string(mem::LastLoadError()).find("no panel 9"), std::string::npos);
  EXPECT_LT(LoadPanelEx(1, path_.c_str(), 4, nullptr), 0);  // only top-level panels

  const PanelCallbackEntry partial[] = {{"PRESS", Press}};
  SetPanelCallbackTable(partial, 1);
  EXPECT_LT(Load(3), 0) << "QUIT is not in the table";
  EXPECT_NE(std::string(mem::LastLoadError()).find("QUIT"), std::string::npos);
  EXPECT_GT(Load(4), 0);

  std::string bad = WriteTemp("bad.uir", "[panel 1]\ncaption = X\nrect = 1, 2\n");
  EXPECT_LT(LoadPanelEx(0, bad.c_str(), 1, nullptr), 0);
  EXPECT_NE(std::string(mem::LastLoadError()).find(":3: "), std::string::npos)
      << mem::LastLoadError();
  std::remove(bad.c_str());
  EXPECT_EQ(sim::ScreenWidth(), 1920);  // nothing else disturbed

  int handles[8];
  EXPECT_EQ(mem::Handles(handles, 8), 1) << "failed loads leave nothing behind";
}

TEST_F(MemPanels, LoadsThroughAWindowsStylePath) {
  // The plug-in builds "<module dir>\pelta.uir"; on Linux the backslash becomes a slash.
  std::string dir = testing::TempDir() + "mem_panels_dir_" + std::to_string(::getpid());
  ::mkdir(dir.c_str(), 0700);
  std::string unix_path = dir + "/pelta.uir";
  std::FILE* f = std::fopen(unix_path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs(kLayout, f);
  std::fclose(f);
  int p = LoadPanelEx(0, (dir + "\\pelta.uir").c_str(), 2, nullptr);
  EXPECT_GT(p, 0) << mem::LastLoadError();
  std::remove(unix_path.c_str());
  ::rmdir(dir.c_str());
}

TEST_F(MemPanels, ValuesPerKind) {
  int p = Load(4);
  ASSERT_GT(p, 0);
  // Seeded from the layout file.
  EXPECT_EQ(Text(p, 8), "Hello");
  EXPECT_EQ(Text(p, 2), "7");
  EXPECT_EQ(Text(p, 4), "2.5");
  mem::PanelState* st = new mem::PanelState;
  ASSERT_TRUE(mem::Snapshot(p, st));
  EXPECT_TRUE(st->controls[0].has_value);
  EXPECT_FALSE(st->controls[1].has_value);  // the picture has no value yet
  EXPECT_EQ(st->controls[2].int_value, 7);
  delete st;

  int i = 0;
  float f = 0;
  ASSERT_EQ(GetCtrlVal(p, 2, &i), 0);
  EXPECT_EQ(i, 7);
  ASSERT_EQ(GetCtrlVal(p, 4, &f), 0);
  EXPECT_FLOAT_EQ(f, 2.5f);

  struct Case {
    const char* what;
    int control;
    int (*set)(int panel, int control);
    int rc;            // 0 or negative
    const char* text;  // the control's text afterwards
    int as_int;
    float as_float;
  };
  const Case cases[] = {
      {"int on numeric", 2, [](int q, int c) { return SetCtrlVal(q, c, -42); }, 0, "-42", -42, -42},
      {"double on numeric rounds", 2, [](int q, int c) { return SetCtrlVal(q, c, 2.6); }, 0, "3", 3,
       3},
      {"double on float", 4, [](int q, int c) { return SetCtrlVal(q, c, 12.5); }, 0, "12.5", 12,
       12.5f},
      {"int on float", 4, [](int q, int c) { return SetCtrlVal(q, c, 3); }, 0, "3.0", 3, 3},
      {"text on numeric is refused", 2, [](int q, int c) { return SetCtrlVal(q, c, "5"); }, -1, "3",
       3, 3},
  };
  for (const Case& c : cases) {
    int rc = c.set(p, c.control);
    if (c.rc == 0) {
      EXPECT_EQ(rc, 0) << c.what;
    } else {
      EXPECT_LT(rc, 0) << c.what;
    }
    EXPECT_EQ(Text(p, c.control), c.text) << c.what;
    ASSERT_EQ(GetCtrlVal(p, c.control, &i), 0) << c.what;
    EXPECT_EQ(i, c.as_int) << c.what;
    ASSERT_EQ(GetCtrlVal(p, c.control, &f), 0) << c.what;
    EXPECT_FLOAT_EQ(f, c.as_float) << c.what;
  }

  // Text controls: the text as given, bounded; numbers formatted; no integer read-back.
  EXPECT_EQ(SetCtrlVal(p, 8, 17), 0);
  EXPECT_EQ(Text(p, 8), "17");
  EXPECT_LT(GetCtrlVal(p, 8, &i), 0);
  std::string long_text(mem::kTextMax + 500, 'x');
  EXPECT_EQ(SetCtrlVal(p, 8, long_text.c_str()), 0);
  EXPECT_EQ(Text(p, 8), std::string(mem::kTextMax - 1, 'x'));
  char small[4];
  EXPECT_LT(GetCtrlVal(p, 8, small, sizeof small), 0) << "does not fit";
  EXPECT_STREQ(small, "xxx");
  EXPECT_EQ(ResetTextBox(p, 8, ""), 0);
  EXPECT_EQ(Text(p, 8), "");
  EXPECT_TRUE(mem::CtrlWasSet(p, 8));
  EXPECT_FALSE(mem::CtrlWasSet(p, 9));
  EXPECT_LT(SetCtrlVal(p, 77, "x"), 0) << "unknown control";
  EXPECT_LT(SetCtrlVal(p, 8, static_cast<const char*>(nullptr)), 0);

  // HidePanel keeps the values.
  DisplayPanel(p);
  HidePanel(p);
  EXPECT_EQ(Text(p, 4), "3.0");
}

TEST_F(MemPanels, AttributesAreRecordedAndEffective) {
  int p = Load(4);
  ASSERT_GT(p, 0);
  // Effective values fall back to the layout file.
  EXPECT_EQ(Attr(p, 8, ATTR_LEFT), 1);
  EXPECT_EQ(Attr(p, 8, ATTR_TOP), 2);
  EXPECT_EQ(Attr(p, 8, ATTR_TEXT_POINT_SIZE), 22);
  EXPECT_EQ(Attr(p, 8, ATTR_TEXT_COLOR), 0xFFFFFF);
  EXPECT_EQ(Attr(p, 8, ATTR_VISIBLE), 1);
  EXPECT_EQ(Attr(p, 8, 999), -12345) << "unknown and never set";
  char font[uir::kNameMax];
  ASSERT_TRUE(mem::CtrlAttrText(p, 8, ATTR_TEXT_FONT, font, sizeof font));
  EXPECT_STREQ(font, "Arial");

  EXPECT_EQ(SetCtrlAttribute(p, 8, ATTR_LEFT, 1730), 0);
  EXPECT_EQ(SetCtrlAttribute(p, 8, ATTR_TEXT_FONT, "Verdana"), 0);
  EXPECT_EQ(SetCtrlAttribute(p, 8, 999, 5), kPanelBadAttribute) << "unknown codes are refused";
  EXPECT_EQ(SetCtrlAttribute(p, 8, ATTR_INDICATOR_TEXT, "49"), 0);
  EXPECT_EQ(SetCtrlAttribute(p, 8, ATTR_LEFT, 920), 0);  // updated in place
  EXPECT_EQ(SetCtrlAttribute(p, 8, ATTR_VISIBLE, 0), 0);

  EXPECT_EQ(Attr(p, 8, ATTR_LEFT), 920);
  EXPECT_EQ(Attr(p, 8, ATTR_VISIBLE), 0);
  EXPECT_EQ(Attr(p, 8, 999), -12345);
  ASSERT_TRUE(mem::CtrlAttrText(p, 8, ATTR_TEXT_FONT, font, sizeof font));
  EXPECT_STREQ(font, "Verdana");

  mem::PanelState* st = new mem::PanelState;
  ASSERT_TRUE(mem::Snapshot(p, st));
  const mem::ControlState& c = st->controls[0];
  ASSERT_EQ(c.layout.number, 8);
  EXPECT_EQ(c.layout.left, 1) << "the layout as the file gives it";
  const int order[] = {ATTR_LEFT, ATTR_TEXT_FONT, ATTR_INDICATOR_TEXT, ATTR_VISIBLE};
  ASSERT_EQ(c.attr_count, 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(c.attrs[i].code, order[i]) << i;
  EXPECT_TRUE(c.attrs[2].is_text);
  EXPECT_STREQ(c.attrs[2].text, "49");

  // Refused without effect: value type mismatched, text too long, unknown control.
  std::string too_long(uir::kNameMax, 'f');
  EXPECT_LT(SetCtrlAttribute(p, 8, ATTR_TEXT_FONT, too_long.c_str()), 0);
  EXPECT_LT(SetCtrlAttribute(p, 8, ATTR_TEXT_FONT, 3), 0);
  EXPECT_LT(SetCtrlAttribute(p, 8, ATTR_LEFT, "3"), 0);
  EXPECT_LT(SetCtrlAttribute(p, 66, ATTR_LEFT, 3), 0);
  ASSERT_TRUE(mem::CtrlAttrText(p, 8, ATTR_TEXT_FONT, font, sizeof font));
  EXPECT_STREQ(font, "Verdana");
  EXPECT_EQ(Attr(p, 8, ATTR_LEFT), 920);

  // Unknown codes never fill the per-control record table.
  for (int code = 2000; code < 2000 + 2 * mem::kMaxAttrs; ++code) {
    EXPECT_EQ(SetCtrlAttribute(p, 9, code, code), kPanelBadAttribute);
  }
  EXPECT_EQ(SetCtrlAttribute(p, 9, ATTR_LEFT, 7), 0);
  EXPECT_EQ(Attr(p, 9, ATTR_LEFT), 7);

  EXPECT_EQ(mem::PanelAttr(p, ATTR_BACKCOLOR), 0x000000);
  EXPECT_EQ(SetPanelAttribute(p, ATTR_BACKCOLOR, 0x123456), 0);
  EXPECT_EQ(mem::PanelAttr(p, ATTR_BACKCOLOR), 0x123456);
  delete st;
}

// A panel's DPI: 96 at load, 48..960 accepted, and only drawing scales (the plug-in's values and
// the boxes it reads back stay in layout pixels). Scaled boxes that touch in the layout touch.
TEST_F(MemPanels, PanelDpiScalesOnlyWhatIsDrawn) {
  int p = Load(4);
  ASSERT_GT(p, 0);
  EXPECT_EQ(mem::PanelAttr(p, ATTR_PANEL_DPI), 96);
  const struct {
    int dpi, result, after;
  } cases[] = {{144, 0, 144}, {47, kPanelBadValue, 144}, {961, kPanelBadValue, 144}, {48, 0, 48},
               {960, 0, 960}, {-96, kPanelBadValue, 960}};
  for (const auto& c : cases) {
    EXPECT_EQ(SetPanelAttribute(p, ATTR_PANEL_DPI, c.dpi), c.result) << c.dpi;
    EXPECT_EQ(mem::PanelAttr(p, ATTR_PANEL_DPI), c.after) << c.dpi;
  }
  int top = 0, left = 0, height = 0, width = 0;
  ASSERT_EQ(GetCtrlBoundingRect(p, 8, &top, &left, &height, &width), 0);
  EXPECT_EQ(left, 1);
  EXPECT_EQ(width, 100) << "read back in layout pixels at any DPI";
  EXPECT_EQ(Attr(p, 8, ATTR_TEXT_POINT_SIZE), 22);

  const struct {
    model::Box box;
    int dpi;
    model::Box device;
  } boxes[] = {
      {{0, 0, 10, 10}, 144, {0, 0, 15, 15}},    {{10, 0, 10, 10}, 144, {15, 0, 15, 15}},
      {{1, 1, 1, 1}, 144, {2, 2, 1, 1}},        {{-3, 5, 7, 9}, 120, {-4, 6, 9, 12}},
      {{70, 2, 600, 24}, 96, {70, 2, 600, 24}}, {{70, 2, 600, 24}, 192, {140, 4, 1200, 48}}};
  for (const auto& b : boxes) {
    const model::Box d = model::DeviceBox(b.box, b.dpi);
    EXPECT_EQ(d.left, b.device.left) << b.box.left << " at " << b.dpi;
    EXPECT_EQ(d.top, b.device.top) << b.box.top << " at " << b.dpi;
    EXPECT_EQ(d.width, b.device.width) << b.box.width << " at " << b.dpi;
    EXPECT_EQ(d.height, b.device.height) << b.box.height << " at " << b.dpi;
  }
}

TEST_F(MemPanels, PanelIsVisibleExactlyWhenItsWindowIs) {
  int p = Load(4);
  ASSERT_GT(p, 0);
  HWND w = FindWindowA(nullptr, "Strip");
  ASSERT_NE(w, nullptr);
  sim::WindowInfo info;
  ASSERT_TRUE(sim::GetInfo(w, &info));
  EXPECT_FALSE(info.visible) << "loaded panels start hidden";
  EXPECT_EQ(info.rect.left, 10);
  EXPECT_EQ(info.rect.top, 20);
  EXPECT_EQ(info.rect.right, 310);
  EXPECT_EQ(info.rect.bottom, 80);

  EXPECT_EQ(DisplayPanel(p), 0);
  EXPECT_TRUE(mem::IsVisible(p));
  ASSERT_TRUE(sim::GetInfo(w, &info));
  EXPECT_TRUE(info.visible);
  EXPECT_EQ(HidePanel(p), 0);
  EXPECT_FALSE(mem::IsVisible(p));

  // The plug-in shows the strip by moving its window with SWP_SHOWWINDOW.
  SetWindowPos(w, HWND_TOPMOST, 30, 980, 1860, 60, SWP_SHOWWINDOW);
  EXPECT_TRUE(mem::IsVisible(p));
  EXPECT_EQ(mem::PanelAttr(p, ATTR_VISIBLE), 1);

  EXPECT_EQ(SetActivePanel(p), 0);
  EXPECT_EQ(mem::ActivePanel(), p);
  EXPECT_EQ(DiscardPanel(p), 0);
  EXPECT_FALSE(sim::IsWindow(w));
  EXPECT_EQ(FindWindowA(nullptr, "Strip"), nullptr);
  EXPECT_EQ(mem::ActivePanel(), 0);
  EXPECT_FALSE(mem::IsVisible(p));
}

TEST_F(MemPanels, CloseRuntimeDiscardsEverything) {
  EXPECT_GT(InitCVIRTE(nullptr), 0);
  EXPECT_GT(InitCVIRTE(nullptr), 0) << "a second call succeeds at once";
  int a = Load(4), b = Load(3), c = Load(2);
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  ASSERT_GT(c, 0);
  int handles[8];
  ASSERT_EQ(mem::Handles(handles, 8), 3);
  EXPECT_EQ(handles[0], a);
  EXPECT_EQ(handles[2], c);
  CloseCVIRTE();
  EXPECT_EQ(mem::Handles(handles, 8), 0);
  EXPECT_EQ(FindWindowA(nullptr, "Dialog"), nullptr);
  EXPECT_LT(HidePanel(b), 0);
  EXPECT_LT(DiscardPanel(b), 0) << "discarding twice at shutdown has no effect";
}

TEST_F(MemPanels, TooManyPanelsFailsCleanly) {
  int loaded = 0;
  for (int i = 0; i < 20; ++i) {
    if (Load(2) > 0) ++loaded;
  }
  EXPECT_EQ(loaded, 8);
  int handles[8];
  EXPECT_EQ(mem::Handles(handles, 8), 8);
  ASSERT_EQ(DiscardPanel(handles[3]), 0);
  EXPECT_GT(Load(2), handles[7]) << "a freed slot takes a new handle";
}

TEST_F(MemPanels, EventLoopDispatchesInOrderAndNeverHangs) {
  int strip = Load(4), dialog = Load(3);
  ASSERT_GT(strip, 0);
  ASSERT_GT(dialog, 0);

  // Out of events without a quit: returns at once.
  EXPECT_EQ(RunUserInterface(), kPanelLoopLost);
  EXPECT_FALSE(mem::LastLoopEndedByQuit());

  mem::QueueCommit(strip, 5);
  mem::QueueCommit(dialog, 6);
  mem::QueueCommit(strip, 8);   // no callback: dropped
  mem::QueueCommit(dialog, 5);  // QUIT
  mem::QueueCommit(strip, 5);   // left for the next loop
  EXPECT_EQ(mem::QueuedEvents(), 5);
  EXPECT_EQ(RunUserInterface(), 0);
  EXPECT_TRUE(mem::LastLoopEndedByQuit());
  ASSERT_EQ(g_calls.size(), 3u);
  EXPECT_EQ(g_calls[0].panel, strip);
  EXPECT_EQ(g_calls[0].control, 5);
  EXPECT_EQ(g_calls[0].event, EVENT_COMMIT);
  EXPECT_EQ(g_calls[1].panel, dialog);
  EXPECT_EQ(g_calls[1].control, 6);
  EXPECT_EQ(g_calls[2].control, 5);
  EXPECT_EQ(mem::QueuedEvents(), 1);
  EXPECT_EQ(mem::LoopDepth(), 0);

  // A quit outside any loop does nothing, and the next loop runs until its own end.
  EXPECT_EQ(QuitUserInterface(0), 0);
  g_calls.clear();
  EXPECT_EQ(RunUserInterface(), kPanelLoopLost);
  EXPECT_EQ(g_calls.size(), 1u);

  // Events for a discarded panel are dropped.
  mem::QueueCommit(strip, 5);
  DiscardPanel(strip);
  g_calls.clear();
  EXPECT_EQ(RunUserInterface(), kPanelLoopLost);
  EXPECT_TRUE(g_calls.empty());
}

TEST_F(MemPanels, CloseRequestPressesTheCloseControl) {
  int dialog = Load(3), bare = Load(2);
  ASSERT_GT(dialog, 0);
  ASSERT_GT(bare, 0);
  DisplayPanel(dialog);
  mem::QueueClose(dialog);
  EXPECT_EQ(RunUserInterface(), 0);
  ASSERT_EQ(g_calls.size(), 1u);
  EXPECT_EQ(g_calls[0].control, 5) << "the close control's callback, as if pressed";
  EXPECT_FALSE(mem::IsVisible(dialog));

  // Without a close control the window just closes, and the panel's own loop ends.
  DisplayPanel(bare);
  mem::QueueClose(bare);
  mem::QueueCommit(dialog, 6);
  g_calls.clear();
  EXPECT_EQ(RunUserInterface(bare), 0);
  EXPECT_FALSE(mem::IsVisible(bare));
  EXPECT_TRUE(g_calls.empty());
  EXPECT_EQ(mem::QueuedEvents(), 1);
}

TEST_F(MemPanels, QuitEndsOnlyTheInnermostLoop) {
  int dialog = Load(3);
  ASSERT_GT(dialog, 0);
  mem::QueueCommit(dialog, 7);  // NEST: runs an inner loop
  mem::QueueCommit(dialog, 5);  // QUIT: seen by the inner loop
  mem::QueueCommit(dialog, 6);  // PRESS: back in the outer loop
  EXPECT_EQ(RunUserInterface(), kPanelLoopLost)
      << "the outer loop ran out of events without a quit";
  EXPECT_EQ(g_nested_result, 0);
  ASSERT_EQ(g_calls.size(), 3u);
  EXPECT_EQ(g_calls[2].control, 6);
  EXPECT_EQ(mem::LoopDepth(), 0);
}

TEST_F(MemPanels, ProcessSystemEventsDispatchesOnce) {
  int dialog = Load(3);
  ASSERT_GT(dialog, 0);
  mem::QueueCommit(dialog, 5);  // QUIT outside a loop: no effect
  mem::QueueCommit(dialog, 6);
  EXPECT_EQ(ProcessSystemEvents(), 0);
  EXPECT_EQ(g_calls.size(), 2u);
  EXPECT_EQ(mem::QueuedEvents(), 0);
  mem::QueueCommit(dialog, 6);
  g_calls.clear();
  EXPECT_EQ(RunUserInterface(), kPanelLoopLost) << "the earlier quit did not carry over";
  EXPECT_EQ(g_calls.size(), 1u);
}

TEST_F(MemPanels, FontDialogIsScripted) {
  char typeface[16] = "Verdana";
  int justify = 0;
  EXPECT_EQ(FontSelectPopup("Font select", "Sample Text", 0, typeface, sizeof typeface, nullptr,
                            nullptr, nullptr, nullptr, &justify, nullptr, nullptr, 4, 64, 0, 1),
            0);
  EXPECT_STREQ(typeface, "Verdana") << "cancelled: nothing changes";
  EXPECT_EQ(justify, 0);
  ASSERT_EQ(mem::FontDialogCount(), 1);
  const mem::FontDialogCall* call = mem::LastFontDialog();
  ASSERT_NE(call, nullptr);
  EXPECT_STREQ(call->title, "Font select");
  EXPECT_STREQ(call->sample, "Sample Text");
  EXPECT_STREQ(call->typeface_in, "Verdana");
  EXPECT_EQ(call->min_size, 4);
  EXPECT_EQ(call->max_size, 64);
  EXPECT_EQ(call->show_default, 0);
  EXPECT_EQ(call->allow_system, 1);

  mem::ScriptFontDialog(true, "A Very Long Typeface Name", 32);
  justify = 16;
  EXPECT_EQ(FontSelectPopup("t", "s", 0, typeface, sizeof typeface, nullptr, nullptr, nullptr,
                            nullptr, &justify, nullptr, nullptr, 4, 64, 0, 1),
            1);
  EXPECT_STREQ(typeface, "A Very Long Typ") << "bounded by the buffer, terminated";
  EXPECT_EQ(justify, 32);
  EXPECT_EQ(mem::LastFontDialog()->justify_in, 16);
  EXPECT_EQ(mem::FontDialogCount(), 2);
  EXPECT_LT(FontSelectPopup("t", "s", 0, typeface, 0, nullptr, nullptr, nullptr, nullptr, &justify,
                            nullptr, nullptr, 4, 64, 0, 1),
            0);

  mem::Reset();
  EXPECT_EQ(mem::FontDialogCount(), 0);
  EXPECT_EQ(mem::LastFontDialog(), nullptr);
  EXPECT_EQ(FontSelectPopup("t", "s", 0, typeface, sizeof typeface, nullptr, nullptr, nullptr,
                            nullptr, &justify, nullptr, nullptr, 4, 64, 0, 1),
            0)
      << "Reset cancels the dialog again";
}

TEST_F(MemPanels, ImageFilesMustBeJpeg) {
  int p = Load(4);
  ASSERT_GT(p, 0);
  std::string jpeg = WriteTemp("logo.jpg", JpegHeader(40, 30));
  std::string png = WriteTemp("logo.png", std::string("\x89PNG\r\n\x1a\n", 8));
  std::string short_file = WriteTemp("short.jpg", std::string("\xFF\xD8", 2));

  EXPECT_EQ(DisplayImageFile(p, 9, jpeg.c_str()), 0);
  EXPECT_EQ(Text(p, 9), jpeg);
  for (const std::string& bad : {png, short_file, jpeg + ".missing",
                                 std::string(mem::kTextMax + 100, 'a'), std::string("")}) {
    EXPECT_NE(DisplayImageFile(p, 9, bad.c_str()), 0) << bad.substr(0, 40);
    EXPECT_EQ(Text(p, 9), jpeg) << "a failed load leaves the control as it was";
  }
  EXPECT_NE(DisplayImageFile(p, 8, jpeg.c_str()), 0) << "not a picture control";
  EXPECT_EQ(Text(p, 8), "Hello");
  EXPECT_NE(DisplayImageFile(p, 9, nullptr), 0);

  // Windows-style paths are mapped before opening.
  std::string windows_style = jpeg;
  windows_style.replace(windows_style.rfind('/'), 1, "\\");
  EXPECT_EQ(DisplayImageFile(p, 9, windows_style.c_str()), 0);

  // Logged: every file the driver tried to open (not the over-long path, not the text control).
  ASSERT_EQ(mem::ImageLoadCount(), 6);
  EXPECT_STREQ(mem::ImageLoadAt(0), jpeg.c_str());
  EXPECT_STREQ(mem::ImageLoadAt(1), png.c_str());
  EXPECT_STREQ(mem::ImageLoadAt(5), jpeg.c_str()) << "logged as mapped";
  EXPECT_EQ(mem::ImageLoadAt(6), nullptr);
  for (const std::string& f : {jpeg, png, short_file}) std::remove(f.c_str());
}

TEST_F(MemPanels, ScreenAndModuleFolder) {
  sim::SetScreenSize(1280, 720);
  int h = 0, w = 0;
  EXPECT_EQ(GetScreenSize(&h, &w), 0);
  EXPECT_EQ(h, 720);
  EXPECT_EQ(w, 1280);

  sim::SetModuleDir("/opt/host/plugins");
  char dir[32];
  EXPECT_EQ(GetModuleDir(nullptr, dir, sizeof dir), 0);
  EXPECT_STREQ(dir, "/opt/host/plugins");
  char tiny[17];  // one byte short of the folder and its NUL
  EXPECT_LT(GetModuleDir(nullptr, tiny, sizeof tiny), 0);
  EXPECT_STREQ(tiny, "");
  EXPECT_LT(GetModuleDir(nullptr, nullptr, 8), 0);
}

// The timer's thread fills the display while the host's thread runs a dialog: no data race,
// no deadlock (callbacks run without the lock and call back into the run-time).
TEST_F(MemPanels, ConcurrentCallersStayConsistent) {
  int strip = Load(4), dialog = Load(3);
  ASSERT_GT(strip, 0);
  ASSERT_GT(dialog, 0);
  std::atomic<bool> stop{false};
  std::thread timer([&] {
    int n = 0;
    while (!stop) {
      SetCtrlVal(strip, 8, n % 2 ? "odd" : "even");
      SetCtrlAttribute(strip, 8, ATTR_LEFT, n);
      n % 2 ? DisplayPanel(strip) : HidePanel(strip);
      ProcessSystemEvents();
      ++n;
    }
  });
  for (int i = 0; i < 200; ++i) {
    mem::QueueCommit(dialog, 6);
    RunUserInterface();
    char text[16];
    ASSERT_TRUE(mem::CtrlText(strip, 8, text, sizeof text));
    EXPECT_TRUE(std::string(text) == "odd" || std::string(text) == "even" ||
                std::string(text) == "Hello");
  }
  stop = true;
  timer.join();
  EXPECT_EQ(mem::LoopDepth(), 0);
}

}  // namespace

// What the setting controls show beside their values: a virtual key's name, a label without its
// mnemonic marker (cut to the room given, never past it).
TEST(SettingTexts, KeyNamesAndLabels) {
  struct KeyCase {
    int key;
    const char* name;
  } keys[] = {
      {0x7A, "F11"}, {0x87, "F24"},   {0x70, "F1"},
      {'A', "A"},    {'7', "7"},      {0x60, "Num 0"},
      {0x1B, "Esc"}, {0x20, "Space"}, {0x91, "Scroll Lock"},
      {0, "none"},   {0x88, "none"},  {-1, "none"},
      {255, "none"},
  };
  for (const KeyCase& k : keys) {
    char name[32];
    EXPECT_STREQ(model::KeyName(k.key, name, sizeof name), k.name) << k.key;
  }
  char small[3];
  EXPECT_STREQ(model::KeyName(0x91, small, sizeof small), "Sc") << "cut to the buffer";

  struct LabelCase {
    const char* label;
    size_t room;
    const char* shown;
    char mnemonic;
  } labels[] = {
      {"Start &key code", 64, "Start key code", 'k'},
      {"&Opacity", 64, "Opacity", 'o'},
      {"Salt && pepper", 64, "Salt & pepper", '\0'},
      {"Salt && &pepper", 64, "Salt & pepper", 'p'},
      {"Trailing &", 64, "Trailing ", '\0'},
      {"No marker", 64, "No marker", '\0'},
      {"&Long label", 5, "Long", 'l'},
      {"", 64, "", '\0'},
  };
  for (const LabelCase& l : labels) {
    char shown[64];
    model::LabelText(l.label, shown, l.room);
    EXPECT_STREQ(shown, l.shown) << l.label;
    EXPECT_EQ(model::Mnemonic(l.label), l.mnemonic) << l.label;
  }
}
