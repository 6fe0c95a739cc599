// The simulated machine's time zone: POSIX TZ rules (IEEE 1003.1, 8.3), the form in which
// every zone file of the tz database ends, so a test or pelta-tool can set "Europe/Berlin"
// or a rule of its own. Only the month/week/day form of the summer-time rules ("Mm.w.d") is
// read; it is what the zones in use today have.
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/sim/sim.h"
#include "platform/sim/win32.h"

namespace {

struct Transition {
  int month;    // 1..12
  int week;     // 1..5, 5 the last
  int weekday;  // 0 Sunday .. 6
  long time;    // seconds after local midnight
};

struct Zone {
  long std_offset = 0;  // seconds east of UTC (local = UTC + offset)
  bool has_dst = false;
  long dst_offset = 0;
  Transition start{3, 2, 0, 7200};
  Transition end{11, 1, 0, 7200};
};

std::mutex g_zone_mu;
Zone g_zone;

// Days since 1970-01-01 of a proleptic Gregorian date, and back (civil calendar algorithms).
long DaysFromCivil(long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;
}

void CivilFromDays(long z, long* y, unsigned* m, unsigned* d) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<long>(yoe) + era * 400 + (*m <= 2);
}

unsigned DaysInMonth(long y, unsigned m) {
  static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

// Reads a zone name: letters, or anything in angle brackets.
bool Name(const char** p) {
  const char* s = *p;
  if (*s == '<') {
    const char* close = std::strchr(s, '>');
    if (close == nullptr || close == s + 1) return false;
    *p = close + 1;
    return true;
  }
  const char* start = s;
  while ((*s >= 'A' && *s <= 'Z') || (*s >= 'a' && *s <= 'z')) ++s;
  if (s - start < 3) return false;
  *p = s;
  return true;
}

// [+|-]hh[:mm[:ss]] into seconds.
bool Time(const char** p, long* seconds) {
  const char* s = *p;
  long sign = 1;
  if (*s == '+' || *s == '-') sign = *s++ == '-' ? -1 : 1;
  long parts[3] = {0, 0, 0};
  for (int i = 0; i < 3; ++i) {
    if (*s < '0' || *s > '9') return false;
    long v = 0;
    int digits = 0;
    while (*s >= '0' && *s <= '9' && digits < 3) v = v * 10 + (*s++ - '0'), ++digits;
    parts[i] = v;
    if (*s != ':' || i == 2) break;
    ++s;
  }
  if (parts[0] > 167 || parts[1] > 59 || parts[2] > 59) return false;
  *seconds = sign * (parts[0] * 3600 + parts[1] * 60 + parts[2]);
  *p = s;
  return true;
}

// ,Mm.w.d[/time]
bool Rule(const char** p, Transition* t) {
  const char* s = *p;
  int month = 0, week = 0, weekday = 0, used = 0;
  if (std::sscanf(s, ",M%d.%d.%d%n", &month, &week, &weekday, &used) != 3) return false;
  if (month < 1 || month > 12 || week < 1 || week > 5 || weekday < 0 || weekday > 6) return false;
  s += used;
  long time = 7200;
  if (*s == '/') {
    ++s;
    if (!Time(&s, &time)) return false;
  }
  *t = Transition{month, week, weekday, time};
  *p = s;
  return true;
}

bool Parse(const char* rule, Zone* zone) {
  const char* s = rule;
  Zone z;
  long posix = 0;  // POSIX offsets are west of UTC
  if (!Name(&s) || !Time(&s, &posix)) return false;
  z.std_offset = -posix;
  if (*s != '\0') {
    if (!Name(&s)) return false;
    z.has_dst = true;
    z.dst_offset = z.std_offset + 3600;
    if (*s != ',' && *s != '\0') {
      if (!Time(&s, &posix)) return false;
      z.dst_offset = -posix;
    }
    if (*s == ',') {
      if (!Rule(&s, &z.start) || !Rule(&s, &z.end)) return false;
    } else {
      z.start = Transition{3, 5, 0, 7200};  // without rules: the European ones
      z.end = Transition{10, 5, 0, 10800};
    }
  }
  if (*s != '\0') return false;
  *zone = z;
  return true;
}

// The rule in the last line of a tz database file (TZif version 2 and later).
bool RuleFromFile(const char* name, char* rule, size_t size) {
  if (std::strstr(name, "..") != nullptr) return false;
  char path[512];
  std::snprintf(path, sizeof path, "/usr/share/zoneinfo/%s", name);
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return false;
  char buf[256];
  std::fseek(f, 0, SEEK_END);
  const long length = std::ftell(f);
  const long take = length < static_cast<long>(sizeof buf) - 1 ? length : sizeof buf - 1;
  std::fseek(f, length - take, SEEK_SET);
  const size_t n = std::fread(buf, 1, static_cast<size_t>(take), f);
  std::fclose(f);
  if (n < 3 || buf[n - 1] != '\n') return false;
  buf[n - 1] = '\0';
  // The data before the footer is binary: look for its newline from the end.
  size_t start = n - 1;
  while (start > 0 && buf[start - 1] != '\n') --start;
  if (start == 0) return false;
  std::snprintf(rule, size, "%s", buf + start);
  return rule[0] != '\0';
}

// Seconds since 1970 (UTC) at which a transition happens in `year`, given the offset in force
// before it.
long long TransitionUtc(const Transition& t, long year, long offset_before) {
  const long first = DaysFromCivil(year, static_cast<unsigned>(t.month), 1);
  const int first_weekday = static_cast<int>(((first % 7) + 11) % 7);  // 1970-01-01: Thursday
  long day = 1 + (t.weekday - first_weekday + 7) % 7 + (t.week - 1) * 7;
  while (day > static_cast<long>(DaysInMonth(year, static_cast<unsigned>(t.month)))) day -= 7;
  const long days = first + day - 1;
  return static_cast<long long>(days) * 86400 + t.time - offset_before;
}

}  // namespace

namespace sim {

bool SetTimeZone(const char* zone) {
  Zone z;
  if (zone != nullptr && zone[0] != '\0') {
    char rule[256];
    const bool named = std::strchr(zone, '/') != nullptr || std::strchr(zone, ',') == nullptr;
    if (!Parse(zone, &z)) {
      if (!named || !RuleFromFile(zone, rule, sizeof rule) || !Parse(rule, &z)) return false;
    }
  }
  std::lock_guard<std::mutex> lock(g_zone_mu);
  g_zone = z;
  return true;
}

void ResetTimeZone() {
  std::lock_guard<std::mutex> lock(g_zone_mu);
  g_zone = Zone{};
}

}  // namespace sim

BOOL SystemTimeToTzSpecificLocalTime(const TIME_ZONE_INFORMATION* zone, const SYSTEMTIME* utc,
                                     SYSTEMTIME* local) {
  if (zone != nullptr || utc == nullptr || local == nullptr) return 0;
  if (utc->wYear < 1601 || utc->wYear > 30827 || utc->wMonth < 1 || utc->wMonth > 12 ||
      utc->wDay < 1 || utc->wDay > DaysInMonth(utc->wYear, utc->wMonth) || utc->wHour > 23 ||
      utc->wMinute > 59 || utc->wSecond > 59 || utc->wMilliseconds > 999) {
    return 0;
  }
  Zone z;
  {
    std::lock_guard<std::mutex> lock(g_zone_mu);
    z = g_zone;
  }
  const long long t =
      static_cast<long long>(DaysFromCivil(utc->wYear, utc->wMonth, utc->wDay)) * 86400 +
      utc->wHour * 3600 + utc->wMinute * 60 + utc->wSecond;
  long offset = z.std_offset;
  if (z.has_dst) {
    const long year = utc->wYear;
    const long long start = TransitionUtc(z.start, year, z.std_offset);
    const long long end = TransitionUtc(z.end, year, z.dst_offset);
    const bool summer = start < end ? (t >= start && t < end) : !(t >= end && t < start);
    if (summer) offset = z.dst_offset;
  }
  const long long l = t + offset;
  long long days = l / 86400;
  long long rest = l % 86400;
  if (rest < 0) rest += 86400, --days;
  long y = 0;
  unsigned m = 0, d = 0;
  CivilFromDays(static_cast<long>(days), &y, &m, &d);
  local->wYear = static_cast<WORD>(y);
  local->wMonth = static_cast<WORD>(m);
  local->wDay = static_cast<WORD>(d);
  local->wDayOfWeek = static_cast<WORD>(((days % 7) + 11) % 7);
  local->wHour = static_cast<WORD>(rest / 3600);
  local->wMinute = static_cast<WORD>(rest / 60 % 60);
  local->wSecond = static_cast<WORD>(rest % 60);
  local->wMilliseconds = utc->wMilliseconds;
  return 1;
}
