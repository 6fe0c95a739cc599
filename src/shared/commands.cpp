// The host command records, and the signal-quality query.
#include "shared/commands.h"

#include <cstring>

TFilterRequest FilterRequest;
TSignalRecord SignalRecord;
int32_t runid = 0;
HWND HostWnd = nullptr;
int32_t HostDllId = 0;

int32_t QuerySignal() {
  SendMessageA(HostWnd, WM_USER, CMD_SIGNAL_QUERY, reinterpret_cast<LPARAM>(&SignalRecord));
  return SignalRecord.values[kSignalQualityOffset / sizeof(int32_t)];
}

void ResetCommandState() {
  std::memset(FilterRequest.bytes, 0, sizeof FilterRequest.bytes);
  std::memset(&SignalRecord, 0, sizeof SignalRecord);
  runid = 0;
  HostWnd = nullptr;
  HostDllId = 0;
}
