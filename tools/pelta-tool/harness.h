// The simulated world pelta-tool runs the plug-in in: a module folder holding the plug-in's
// files, a host main window that answers the host commands, and a record of those commands.
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

struct Command {
  UINT code;
  intptr_t param;  // the stop command's running id; record commands: 0
};

constexpr int kMaxCommands = 256;
extern Command commands[kMaxCommands];
extern int command_count;
extern int32_t runid_to_write;    // what the host writes into the start record
extern int32_t quality_to_write;  // what the host writes into the signal record
// The data callback the plug-in gave in its last start record (null before).
extern void (*data_callback)(int, int, const unsigned char*);

// Copies a file byte for byte; false (quietly) when either side cannot be opened.
bool CopyFile(const std::string& from, const std::string& to);

// Makes a fresh temporary module folder with pelta.ini, pelta.uir and pelta_icon/ copied from
// the options, and points the simulated platform at it. Returns false with a message on stderr.
bool PrepareModuleDir(const Options& options);
const char* ModuleDir();
// Removes the temporary folder.
void Cleanup();
// A host main window titled `title` covering `rect`, answering WM_USER commands.
HWND CreateHostWindow(const char* title, RECT rect);

}  // namespace harness
