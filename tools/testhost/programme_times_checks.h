// The test host's checks of the progress bar (display control 16) through Win32 calls: its
// value (PBM_GETPOS, PBM_GETRANGE), its text (GetWindowTextW: the minutes left) against the
// present event's start and duration and this machine's clock, and its place on the strip.
#pragma once

#include <string>

// The test host's check line: PASS/FAIL with a name and, on failure, a printf detail.
using ProgrammeTimesCheckFn = void (*)(bool ok, const char* name, const char* detail_format, ...);

// --present-times SID,START,DURATION: the present event of service SID starts at START (seconds
// since 1970-01-01 UTC) and lasts DURATION seconds. True when `key` is that option (taken).
bool ProgrammeTimesOption(const std::string& key, const char* value);

// The bar on the strip now up for service `service_id`: shown, its value and text those of
// the clock now (or of the last seconds, which the plug-in's once-a-second update may still
// show), its range 0..100, and its box inside the strip, clear of every text and indicator.
// `when` names the moment in the check lines.
void CheckProgressBar(ProgrammeTimesCheckFn check, int service_id, const char* when);
