// The panel contract table (tests/contract) against the memory driver: what the simulated
// windows show is read from the model, the user is the driver's scripted event queue.
#include "contract/panels_contract.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <string>

#include "fixture.h"
#include "panels/memory/memory_panels.h"
#include "panels/model.h"
#include "panels/panels.h"
#include "platform/sim/sim.h"

namespace {

bool ShownText(int panel, const char*, int control, char* out, size_t size) {
  // An indicator shows its number; every other control its value.
  return mem::CtrlAttrText(panel, control, ATTR_INDICATOR_TEXT, out, size) ||
         mem::CtrlText(panel, control, out, size);
}

bool ShownBox(int panel, const char*, int control, int* left, int* top, int* width) {
  static mem::PanelState state;
  if (!mem::Snapshot(panel, &state)) return false;
  for (int i = 0; i < state.control_count; ++i) {
    if (state.controls[i].layout.number != control) continue;
    const model::Box box = model::ControlBox(state.controls[i]);
    *left = box.left;
    *top = box.top;
    *width = box.width;
    return true;
  }
  return false;
}

bool ControlShown(int panel, const char*, int control) {
  int visible = 0;
  return mem::IsVisible(panel) && mem::CtrlAttr(panel, control, ATTR_VISIBLE, &visible) &&
         visible != 0;
}

bool PanelShown(int panel, const char*) {
  return mem::IsVisible(panel);
}
void PostPress(int panel, const char*, int control) {
  mem::QueueCommit(panel, control);
}
void PostClose(int panel, const char*) {
  mem::QueueClose(panel);
}
void Type(int panel, const char*, int control, const char* text) {
  mem::QueueTyping(panel, control, text);
  ProcessSystemEvents();
}

void Choose(int panel, const char*, int control, int value) {
  if (!mem::ChooseEntry(panel, control, value)) mem::ChooseValue(panel, control, value);
}

// The simulated windows hold no state of their own: the model's, as a native control shows it.
bool NativeValue(int panel, const char*, int control, int* value) {
  std::lock_guard<std::mutex> lock(model::Mutex());
  const model::ControlState* c = model::FindControlLocked(panel, control);
  if (c == nullptr) return false;
  switch (c->layout.kind) {
    case uir::Kind::Checkbox:
      *value = model::Checked(*c) ? 1 : 0;
      return true;
    case uir::Kind::Dropdown:
      *value = model::ListIndex(*c);
      return true;
    default:
      *value = c->int_value;
      return true;
  }
}

void Report(bool ok, const char* name, const char* detail, void*) {
  EXPECT_TRUE(ok) << name << ": " << detail;
}

std::string WriteTemp(const std::string& name, const std::string& bytes) {
  std::string path = testing::TempDir() + "contract_" + std::to_string(::getpid()) + "_" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f != nullptr) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  return path;
}

TEST(PanelContract, MemoryDriver) {
  sim::Reset();
  mem::Reset();
  const std::string uir = WriteTemp("contract.uir", PanelContractLayout());
  const std::string jpeg = WriteTemp("logo.jpg", JpegHeader(16, 16));
  const ContractDriver driver{nullptr,    &ShownText, &ShownBox, &ControlShown, &PanelShown,
                              &PostPress, &PostClose, &Type,     &Choose,       &NativeValue};
  EXPECT_EQ(RunPanelContract(driver, uir.c_str(), jpeg.c_str(), uir.c_str(), &Report, nullptr), 0);
  EXPECT_EQ(mem::QueuedEvents(), 0) << "every scripted event was dispatched";
  mem::Reset();
  std::remove(uir.c_str());
  std::remove(jpeg.c_str());
}

}  // namespace
