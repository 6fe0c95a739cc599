// The simulated world pelta-tool runs the plug-in in: a module folder holding the plug-in's
// files, a host main window that answers the host commands, and a record of those commands.
// The unit tests, the fuzz targets and the benchmarks use the same recording host.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/sim/sim.h"

namespace harness {

struct Options {
  const char* ini = nullptr;    // default: assets/pelta.ini
  const char* uir = nullptr;    // default: assets/pelta.uir
  const char* icons = nullptr;  // folder of logos; default: assets/pelta_icon
};

// One WM_USER command the host received. Fixed storage: the host's window procedure runs
// inside the plug-in's hot paths, which tests prove allocation-free.
struct Command {
  UINT code;
  LPARAM param;              // as sent: the stop command's running id, else the record's address
  unsigned char record[64];  // the start-filter record as the host received it; else zero
};

constexpr int kMaxCommands = 256;  // later commands are answered but not recorded
extern Command commands[kMaxCommands];
extern int command_count;
extern int32_t runid_to_write;    // what the host writes into the start record
extern int32_t quality_to_write;  // what the host writes into the signal record
// The data callback the plug-in gave in its last start record (null before).
extern void (*data_callback)(int, int, const unsigned char*);

// The host's answers back to `runid` and `quality`, no command recorded, no callback.
void ResetHost(int32_t runid, int32_t quality);
// The recording host's window procedure: records each WM_USER command; writes runid_to_write
// into the start record (and keeps its callback) and quality_to_write into the signal record.
LRESULT CALLBACK HostProc(HWND window, UINT msg, WPARAM wparam, LPARAM lparam);
// How many recorded commands carry `code`.
int CommandsWithCode(UINT code);

// Copies a file byte for byte; false (quietly) when either side cannot be opened.
bool CopyFile(const std::string& from, const std::string& to);

// Makes a fresh temporary module folder with pelta.ini, pelta.uir and pelta_icon/ copied from
// the options, and points the simulated platform at it. Returns false with a message on stderr.
bool PrepareModuleDir(const Options& options);
const char* ModuleDir();
// Removes the temporary folder.
void Cleanup();
// A host main window titled `title` covering `rect`, with HostProc as its window procedure.
HWND CreateHostWindow(const char* title, RECT rect);

}  // namespace harness
