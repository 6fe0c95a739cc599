// libFuzzer target for the layout-file reader (uir::Parse) and the headless panel load.
//
// Every input is parsed as layout text from a buffer of exactly its size (AddressSanitizer
// catches a read one byte past it). A parse that succeeds must describe what uir.h promises:
// at most kMaxPanels panels of at most kMaxControls controls, numbers 1..32767 and unique,
// sizes and point sizes in range, every text terminated inside its field. A parse that fails
// must name a reason and a line inside the input (or line 0). The formatted message always
// ends inside its buffer.
//
// Then the input is written to a file and loaded through LoadPanelEx for the first panel it
// describes (or panel 4 when it describes none): the load succeeds exactly when the parse did,
// the panel exists and its callbacks are in the table; a loaded panel is shown, filled and
// discarded, and its handle is stale afterwards.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "panels/memory/memory_panels.h"
#include "panels/panels.h"
#include "panels/uir.h"
#include "platform/sim/sim.h"

namespace {

std::string g_path;
uir::Layout g_layout;  // large: static, as the run-time keeps its own

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "fuzz_uir: invariant broken: %s\n", what);
  std::abort();
}

bool Terminated(const char* text, size_t size) {
  return std::memchr(text, 0, size) != nullptr;
}

int Callback(int, int, int, void*, int, int) {
  return 0;
}
const PanelCallbackEntry kTable[] = {
    {"OK", &Callback}, {"FONT", &Callback}, {"SAVE", &Callback}, {"EPGOK", &Callback}};

bool KnownCallback(const char* name) {
  if (name[0] == '\0') return true;
  for (const PanelCallbackEntry& e : kTable) {
    if (std::strcmp(e.name, name) == 0) return true;
  }
  return false;
}

void RemoveFile() {
  std::remove(g_path.c_str());
}

void Setup() {
  char tmpl[] = "/tmp/pelta-fuzz-uir-XXXXXX";
  const int fd = mkstemp(tmpl);
  if (fd < 0) std::abort();
  close(fd);
  g_path = tmpl;
  std::atexit(&RemoveFile);
  sim::Reset();
  mem::Reset();
  InitCVIRTE(nullptr);
  SetPanelCallbackTable(kTable, 4);
}

void CheckLayout(const uir::Layout& layout) {
  Check(layout.panel_count >= 0 && layout.panel_count <= uir::kMaxPanels, "panel count");
  for (int i = 0; i < layout.panel_count; ++i) {
    const uir::Panel& p = layout.panels[i];
    Check(p.number >= 1 && p.number <= 32767, "panel number in range");
    for (int j = 0; j < i; ++j) Check(layout.panels[j].number != p.number, "unique panels");
    Check(Terminated(p.caption, sizeof p.caption), "caption terminated");
    Check(p.width >= 1 && p.height >= 1, "panel size positive");
    Check(p.control_count >= 0 && p.control_count <= uir::kMaxControls, "control count");
    for (int k = 0; k < p.control_count; ++k) {
      const uir::Control& c = p.controls[k];
      Check(c.number >= 1 && c.number <= 32767, "control number in range");
      for (int m = 0; m < k; ++m) Check(p.controls[m].number != c.number, "unique controls");
      Check(c.width >= 1 && c.height >= 1, "control size positive");
      Check(c.point_size >= 1 && c.point_size <= 255, "point size in range");
      Check(c.justify == 0 || c.justify == 16 || c.justify == 32, "justify code");
      Check(Terminated(c.label, sizeof c.label) && Terminated(c.value, sizeof c.value) &&
                Terminated(c.font, sizeof c.font) && Terminated(c.callback, sizeof c.callback),
            "control texts terminated");
      Check(uir::FindControl(p, c.number) != nullptr, "FindControl finds every control");
    }
    Check(uir::FindPanel(layout, p.number) != nullptr, "FindPanel finds every panel");
  }
}

int Lines(const uint8_t* data, size_t size) {
  int lines = 1;
  for (size_t i = 0; i < size; ++i) lines += data[i] == '\n';
  return lines;
}

void LoadThroughRunTime(const uint8_t* data, size_t size, bool parsed) {
  std::FILE* f = std::fopen(g_path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);

  const int number = parsed && g_layout.panel_count > 0 ? g_layout.panels[0].number : 4;
  const uir::Panel* panel = parsed ? uir::FindPanel(g_layout, number) : nullptr;
  bool callbacks_known = true;
  if (panel != nullptr) {
    for (int i = 0; i < panel->control_count; ++i) {
      callbacks_known = callbacks_known && KnownCallback(panel->controls[i].callback);
    }
  }
  const bool expected = size <= uir::kFileMax && panel != nullptr && callbacks_known;

  const int handle = LoadPanelEx(0, g_path.c_str(), number, nullptr);
  Check((handle > 0) == expected, "LoadPanelEx agrees with the parse");
  Check(Terminated(mem::LastLoadError(), 1024), "load error terminated");
  if (handle <= 0) return;

  DisplayPanel(handle);
  for (int i = 0; i < panel->control_count; ++i) {
    const int control = panel->controls[i].number;
    SetCtrlVal(handle, control, "fuzz");
    SetCtrlVal(handle, control, 42);
    SetCtrlAttribute(handle, control, ATTR_LEFT, -5);
    char text[mem::kTextMax];
    if (mem::CtrlText(handle, control, text, sizeof text)) {
      Check(Terminated(text, sizeof text), "control text terminated");
    }
  }
  HidePanel(handle);
  Check(DiscardPanel(handle) == 0, "a loaded panel discards");
  Check(!mem::IsLoaded(handle) && DisplayPanel(handle) < 0, "a discarded handle is stale");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (g_path.empty()) Setup();
  // A copy of exactly `size` bytes: nothing behind the text to lean on.
  std::vector<char> text(data, data + size);
  uir::Error error;
  std::memset(&error, 0x5A, sizeof error);
  const bool parsed = uir::Parse(text.data(), text.size(), "fuzz.uir", &g_layout, &error);
  if (parsed) {
    CheckLayout(g_layout);
  } else {
    Check(Terminated(error.reason, sizeof error.reason) && error.reason[0] != '\0',
          "a failure names its reason");
    Check(Terminated(error.file, sizeof error.file), "error file terminated");
    Check(error.line >= 0 && error.line <= Lines(data, size), "error line inside the input");
  }
  char message[128];  // shorter than a full message: FormatError must cut, not overrun
  uir::FormatError(error, message, sizeof message);
  Check(Terminated(message, sizeof message), "formatted error terminated");

  LoadThroughRunTime(data, size, parsed);
  return 0;
}
