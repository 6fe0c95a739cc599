// Starting and stopping the EIT section filter.
#include "guide/filter.h"

#include <cstring>

#include "guide/eit.h"

std::atomic<int32_t> FilterPhase{kFilterClosed};

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
  if (FilterPhase.load() == kFilterOpen) return;
  if (FilterPhase.load() == kFilterClosed && eitstate.load() != 0) return;
  // Before On_Start there is no host window to ask: the first channel change after it asks.
  if (HostWnd == nullptr) return;
  // Hosts start their filter while they handle the command and may deliver from their reader
  // thread before it returns: that data is read, and proves the filter open.
  FilterPhase = kFilterAsked;
  eitstate = 1;
  SendMessageA(HostWnd, WM_USER, CMD_START_FILTER, reinterpret_cast<LPARAM>(&FilterRequest));
  std::memcpy(&runid, FilterRequest.bytes + kFilterRunIdOffset, sizeof runid);
  // Still the preset -1: either a host that never writes an id (its data will tell) or one
  // that did not take the request (asked again at the next channel change).
  if (runid == -1) return;
  int32_t asked = kFilterAsked;
  FilterPhase.compare_exchange_strong(asked, kFilterOpen);
}

void ConfirmFilterByData() {
  int32_t asked = kFilterAsked;
  FilterPhase.compare_exchange_strong(asked, kFilterOpen);
}

bool FilterAwaitsProof() {
  return FilterPhase.load() == kFilterAsked;
}

void StopFilter() {
  const int32_t phase = FilterPhase.exchange(kFilterClosed);
  if (phase == kFilterClosed && eitstate.load() <= 0) return;
  // First the reader: hosts go on delivering for a moment after the stop, and what a delivery
  // publishes is checked against eitstate under the lock.
  {
    std::lock_guard<std::mutex> lock(GuideLock);
    eitstate = 0;
  }
  if (phase == kFilterOpen) {
    SendMessageA(HostWnd, WM_USER, CMD_STOP_FILTER, static_cast<LPARAM>(runid));
  }
}

void ResetFilterState() {
  FilterPhase = kFilterClosed;
}
