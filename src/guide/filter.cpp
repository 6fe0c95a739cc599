// Starting and stopping the EIT section filter.
#include "guide/filter.h"

#include <cstring>

#include "guide/eit.h"

namespace {
constexpr uint16_t kFilterNumber = 1;
constexpr uint16_t kEitPid = 18;  // EN 300 468: the EIT is carried on PID 0x0012
constexpr char kFilterName[] = "Pelta EIT filter";

void PutLe16(size_t offset, uint16_t v) {
  FilterRequest.bytes[offset] = static_cast<unsigned char>(v & 0xFF);
  FilterRequest.bytes[offset + 1] = static_cast<unsigned char>(v >> 8);
}
}  // namespace

void FillFilterRequest() {
  // Offsets 0..44 are written afresh; the host keeps nothing else in the record.
  PutLe16(kFilterIdOffset, static_cast<uint16_t>(HostDllId & 0xFFFF));
  PutLe16(kFilterNumberOffset, kFilterNumber);
  PutLe16(kFilterPidOffset, kEitPid);
  std::memset(FilterRequest.bytes + kFilterNameOffset, 0, kFilterNameSize);
  std::memcpy(FilterRequest.bytes + kFilterNameOffset, kFilterName, sizeof kFilterName);
  // The callback is a code address; its bytes go in as the platform stores a pointer.
  void (*callback)(int, int, const unsigned char*) = &OnDataArrival;
  static_assert(sizeof callback == sizeof(void*), "code and data pointers have one size");
  std::memcpy(FilterRequest.bytes + kFilterCallbackOffset, &callback, sizeof callback);
  const int32_t preset = -1;
  std::memcpy(FilterRequest.bytes + kFilterRunIdOffset, &preset, sizeof preset);
}

void SendStartFilter() {
  if (eitstate.load() != 0) return;
  // Before On_Start there is no host window to ask: the first channel change after it asks.
  if (HostWnd == nullptr) return;
  SendMessageA(HostWnd, WM_USER, CMD_START_FILTER, reinterpret_cast<LPARAM>(&FilterRequest));
  std::memcpy(&runid, FilterRequest.bytes + kFilterRunIdOffset, sizeof runid);
  // A host that did not take the request leaves the preset -1: no filter runs, nothing is to
  // be stopped, and eitstate stays 0 so that the next channel change asks again.
  if (runid == -1) return;
  eitstate = 1;
}

void StopFilter() {
  if (eitstate.load() <= 0) return;
  SendMessageA(HostWnd, WM_USER, CMD_STOP_FILTER, static_cast<LPARAM>(runid));
  eitstate = 0;
}
