// The progress bar of the programme on air, as a host sees it (see programme_times_checks.h).
//
// The plug-in works the bar from the system clock in UTC against the present event's
// start_time and duration; this host knows both from the stream it feeds (--present-times) and
// reads the clock itself, so the expected value and text are worked out here, in the same
// terms a user reads them: the elapsed share in percent, rounded down, and "+N min" to the end,
// rounded up (0 and the whole duration before the start, 100 and no text after the end).
#include "programme_times_checks.h"

#include <windows.h>
// After <windows.h>: the progress bar's messages (constants only; nothing is linked).
#include <commctrl.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct PresentTimes {
  int service_id;
  long long start;  // seconds since 1970-01-01 UTC
  long long duration;
};
std::vector<PresentTimes> g_times;

constexpr int kProgressControl = 16;
// Seconds back from now whose value the bar may still show: it is worked once a second of the
// clock on the ticks of a display cycle, and a slow (emulated) machine lags behind.
constexpr long long kLagSeconds = 20;

long long UtcNow() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER ticks;
  ticks.LowPart = now.dwLowDateTime;
  ticks.HighPart = now.dwHighDateTime;
  return static_cast<long long>(ticks.QuadPart / 10000000ULL) - 11644473600LL;
}

// What the bar shows at `now` for a programme of `start` and `duration`.
void Expected(const PresentTimes& t, long long now, int* percent, std::wstring* text) {
  const long long end = t.start + t.duration;
  long long minutes = -1;
  if (now >= end) {
    *percent = 100;
  } else if (now < t.start) {
    *percent = 0;
    minutes = (t.duration + 59) / 60;
  } else {
    *percent = static_cast<int>((now - t.start) * 100 / t.duration);
    minutes = (end - now + 59) / 60;
  }
  wchar_t buffer[32] = L"";
  if (minutes >= 0) std::swprintf(buffer, 32, L"+%d min", static_cast<int>(minutes));
  *text = buffer;
}

// The control's rectangle in screen coordinates, when it is a visible child of the strip.
bool VisibleRect(HWND strip, int control, RECT* out) {
  HWND child = GetDlgItem(strip, control);
  return child != nullptr && IsWindowVisible(child) && GetWindowRect(child, out);
}

std::string Utf8(const std::wstring& text) {
  char buffer[256] = "";
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, buffer, sizeof buffer, nullptr, nullptr);
  return n > 0 ? buffer : "";
}

}  // namespace

bool ProgrammeTimesOption(const std::string& key, const char* value) {
  if (key != "--present-times") return false;
  PresentTimes t{};
  if (std::sscanf(value, "%i,%lld,%lld", &t.service_id, &t.start, &t.duration) == 3 &&
      t.duration > 0) {
    g_times.push_back(t);
  }
  return true;
}

void CheckProgressBar(ProgrammeTimesCheckFn check, int service_id, const char* when) {
  const PresentTimes* times = nullptr;
  for (const PresentTimes& t : g_times) {
    if (t.service_id == service_id) times = &t;
  }
  if (times == nullptr) return;  // no --present-times for this service: nothing to compare
  HWND strip = FindWindowA(nullptr, "Pelta");
  HWND bar = strip != nullptr ? GetDlgItem(strip, kProgressControl) : nullptr;
  char name[160];

  std::snprintf(name, sizeof name, "%s: control 16, the progress bar, is on show", when);
  check(bar != nullptr && IsWindowVisible(bar), name, "window %p", static_cast<void*>(bar));
  if (bar == nullptr) return;

  const int value = static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0));
  wchar_t buffer[64] = L"";
  GetWindowTextW(bar, buffer, 64);
  const std::wstring text = buffer;
  const long long now = UtcNow();
  bool value_ok = false;
  bool text_ok = false;
  int want = -1;
  std::wstring want_text;
  for (long long at = now; at >= now - kLagSeconds; --at) {
    int percent = 0;
    std::wstring minutes;
    Expected(*times, at, &percent, &minutes);
    if (at == now) {
      want = percent;
      want_text = minutes;
    }
    value_ok = value_ok || percent == value;
    text_ok = text_ok || minutes == text;
  }
  std::snprintf(name, sizeof name, "%s: PBM_GETPOS gives the elapsed share by the clock", when);
  check(value_ok, name, "%d, want %d", value, want);
  std::snprintf(name, sizeof name, "%s: its text is the minutes left", when);
  check(text_ok, name, "\"%s\", want \"%s\"", Utf8(text).c_str(), Utf8(want_text).c_str());
  PBRANGE range{-1, -1};
  SendMessageW(bar, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  std::snprintf(name, sizeof name, "%s: PBM_GETRANGE gives 0 to 100", when);
  check(range.iLow == 0 && range.iHigh == 100, name, "%d..%d", range.iLow, range.iHigh);

  // Inside the strip, clear of the texts and of the right-hand group, the name left of it.
  RECT box{};
  RECT panel{};
  GetWindowRect(bar, &box);
  GetWindowRect(strip, &panel);
  RECT inside{};
  bool clear = IntersectRect(&inside, &box, &panel) && EqualRect(&inside, &box);
  std::string overlaps;
  for (int control : {8, 10, 11, 12, 15, 14, 13, 4, 5, 6, 7}) {
    RECT other{};
    RECT common{};
    if (VisibleRect(strip, control, &other) && IntersectRect(&common, &other, &box)) {
      overlaps += " " + std::to_string(control);
      clear = false;
    }
  }
  RECT name_box{};
  const bool name_clear = !VisibleRect(strip, 8, &name_box) || name_box.right <= box.left - 8;
  std::snprintf(name, sizeof name,
                "%s: the bar lies inside the strip, clear of the texts and indicators", when);
  check(clear && name_clear, name, "bar %ld,%ld-%ld,%ld, overlaps:%s, name ends at %ld", box.left,
        box.top, box.right, box.bottom, overlaps.c_str(), name_box.right);
}
