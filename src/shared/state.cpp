// The shared values and the one window helper the dialogs and the guide use.
#include "shared/state.h"

#include "panels/panels.h"
#include "shared/commands.h"
#include "shared/monitors.h"

char ModuleDir[kPathMax];
char IniPath[kPathMax];
char IconDir[kPathMax];
char UirPath[kPathMax];
std::atomic<int> pnlDisplay{0};
std::atomic<int> pnlSettings{0};
std::atomic<int> pnlAbout{0};
std::atomic<int> pnlGuide{0};
HWND OsdWnd = nullptr;
std::mutex GuideLock;
const char kVersionLabel[] = "Pelta 2_0";

void PlacePanelWindow(int panel, int x, int y, int width, int height) {
  HWND window = PanelWindow(panel);
  const MonitorArea monitor = MonitorOfWindow(HostWnd);
  const int dpi = monitor.dpi;
  SetPanelAttribute(panel, ATTR_PANEL_DPI, dpi);
  if (window == nullptr) return;
  SetWindowPos(window, HWND_TOPMOST, monitor.rect.left + ScaleToDpi(x, dpi),
               monitor.rect.top + ScaleToDpi(y, dpi), ScaleToDpi(width, dpi),
               ScaleToDpi(height, dpi), SWP_SHOWWINDOW);
}
