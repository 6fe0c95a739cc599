// Commands the plug-in sends to the host, and the records that travel with them.
//
// Every command is one synchronous WM_USER message to the host's main window: wParam the
// command code, lParam the record's address (or, for the stop command, the running id).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/os.h"

constexpr UINT CMD_START_FILTER = 0x01020020;
constexpr UINT CMD_STOP_FILTER = 0x01020021;
constexpr UINT CMD_SIGNAL_QUERY = 0x01022001;

// The start-filter record, laid out byte by byte (little-endian). The callback field is a code
// address: 4 bytes at 40 in the i686 DLL, so the running id is at 44 and the record 48 bytes;
// in the x86_64 build (end-to-end runs only) it is 8 bytes and the running id moves to 48.
constexpr size_t kFilterIdOffset = 0;
constexpr size_t kFilterNumberOffset = 2;
constexpr size_t kFilterPidOffset = 4;
constexpr size_t kFilterNameOffset = 6;
constexpr size_t kFilterNameSize = 34;
constexpr size_t kFilterCallbackOffset = 40;
constexpr size_t kFilterRunIdOffset = kFilterCallbackOffset + sizeof(void*);
constexpr size_t kFilterRequestSize = kFilterRunIdOffset + 4 + (sizeof(void*) == 8 ? 4 : 0);

struct TFilterRequest {
  alignas(8) unsigned char bytes[kFilterRequestSize];
};
static_assert(sizeof(TFilterRequest) == kFilterRequestSize, "the record is its bytes, no padding");
struct TSignalRecord {
  int32_t values[3];  // [1] is the quality, 0..100; the others are the host's
};
static_assert(sizeof(TSignalRecord) == 12, "the signal record is three 32-bit integers");

extern TFilterRequest FilterRequest;
extern TSignalRecord SignalRecord;
extern int32_t runid;
extern HWND HostWnd;
extern int32_t HostDllId;

// Fills FilterRequest afresh (identifier, filter 1, PID 18, name, callback, running id -1).
void FillFilterRequest();
// If eitstate is 0 and the host window is known: send CMD_START_FILTER, copy the running id
// into runid and set eitstate 1 when the host wrote one (still -1: not started).
void SendStartFilter();
// If eitstate is above 0: send CMD_STOP_FILTER with runid, set eitstate 0.
void StopFilter();
// CMD_SIGNAL_QUERY with SignalRecord (the caller checks HostKind); returns SignalRecord[1].
int32_t QuerySignal();
void ResetCommandState();

static_assert(sizeof(void*) != 4 || kFilterRequestSize == 48,
              "i686: the start-filter record is 48 bytes, running id at 44");
static_assert(sizeof(void*) != 4 || kFilterRunIdOffset == 44, "i686: running id at offset 44");
static_assert(sizeof(void*) != 8 || kFilterRunIdOffset == 48, "x86_64: running id at offset 48");
