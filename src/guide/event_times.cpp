// Event times: start, duration, end and progress of a present/following event (see
// event_times.h).
//
// EN 300 468 annex C gives the date as a Modified Julian Date; MJD 40587 is 1970-01-01, so the
// start is a count of seconds since then like the system clock, and the local time of any
// instant comes from the system's own conversion (SystemTimeToTzSpecificLocalTime), which knows
// the zone's summer time for that date. Nothing here allocates: the display timer calls it.
#include "guide/event_times.h"

#include <cstdio>

#include "platform/os.h"

namespace {

constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kMinutesPerDay = 1440;
constexpr uint16_t kMjdOf1970 = 40587;
constexpr int64_t kFileTimeOf1970 = 116444736000000000LL;  // 100 ns ticks since 1601
constexpr int64_t kTicksPerSecond = 10000000;

bool IsBcd(uint8_t byte) {
  return (byte >> 4) <= 9 && (byte & 0x0F) <= 9;
}

int FromBcd(uint8_t byte) {
  return (byte >> 4) * 10 + (byte & 0x0F);
}

// start_time's time of day in seconds after UTC midnight; false unless BCD and a time of day.
bool StartOfDay(const EventTimes& t, int64_t* seconds) {
  if (!IsBcd(t.hour) || !IsBcd(t.minute) || !IsBcd(t.second)) return false;
  const int h = FromBcd(t.hour);
  const int m = FromBcd(t.minute);
  const int s = FromBcd(t.second);
  if (h > 23 || m > 59 || s > 59) return false;
  *seconds = h * 3600 + m * 60 + s;
  return true;
}

// Proleptic Gregorian date of `days` after 1970-01-01 (the integer form of annex C's formulas).
void CivilFromDays(int64_t days, int* year, int* month, int* day) {
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *year = static_cast<int>(yoe + era * 400 + (*month <= 2 ? 1 : 0));
}

int64_t FloorDiv(int64_t a, int64_t b) {
  return a / b - ((a % b != 0 && (a < 0) != (b < 0)) ? 1 : 0);
}

}  // namespace

int32_t DurationSeconds(uint8_t hours, uint8_t minutes, uint8_t seconds) {
  if (hours == 0xFF && minutes == 0xFF && seconds == 0xFF) return kUnknownDuration;
  if (!IsBcd(hours) || !IsBcd(minutes) || !IsBcd(seconds)) return kUnknownDuration;
  const int m = FromBcd(minutes);
  const int s = FromBcd(seconds);
  if (m > 59 || s > 59) return kUnknownDuration;
  return FromBcd(hours) * 3600 + m * 60 + s;
}

bool StartUtc(const EventTimes& times, int64_t* utc) {
  int64_t of_day = 0;
  if (times.mjd == kUndefinedDate || !StartOfDay(times, &of_day)) return false;
  *utc = (static_cast<int64_t>(times.mjd) - kMjdOf1970) * kSecondsPerDay + of_day;
  return true;
}

int64_t UtcNow() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  const int64_t ticks =
      static_cast<int64_t>(static_cast<uint64_t>(now.dwHighDateTime) << 32 | now.dwLowDateTime);
  return FloorDiv(ticks - kFileTimeOf1970, kTicksPerSecond);
}

bool LocalHourMinute(int64_t utc, int* hours, int* minutes) {
  const int64_t days = FloorDiv(utc, kSecondsPerDay);
  const int64_t rest = utc - days * kSecondsPerDay;
  int year = 0;
  int month = 0;
  int day = 0;
  CivilFromDays(days, &year, &month, &day);
  if (year < 1601 || year > 30827) return false;  // what SYSTEMTIME can hold
  SYSTEMTIME u{};
  u.wYear = static_cast<WORD>(year);
  u.wMonth = static_cast<WORD>(month);
  u.wDay = static_cast<WORD>(day);
  u.wDayOfWeek = static_cast<WORD>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
  u.wHour = static_cast<WORD>(rest / 3600);
  u.wMinute = static_cast<WORD>(rest / 60 % 60);
  u.wSecond = static_cast<WORD>(rest % 60);
  SYSTEMTIME local{};
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &u, &local)) return false;
  *hours = local.wHour;
  *minutes = local.wMinute;
  return true;
}

bool LocalStart(const EventTimes& times, int* hours, int* minutes) {
  int64_t start = 0;
  return StartUtc(times, &start) && LocalHourMinute(start, hours, minutes);
}

void FormatStartTime(const EventTimes& times, bool local, int32_t hour_offset, char* out,
                     size_t size) {
  if (size == 0) return;
  int h = 0;
  int m = 0;
  if (local && LocalStart(times, &h, &m)) {
    std::snprintf(out, size, "%02d:%02d", h, m);
    return;
  }
  // Whole hours of the BCD hour byte (the tens digit as the reader has always taken it, of the
  // byte read as signed) plus the offset, modulo 24: an offset of 30 is 6, -30 is -6. Without a
  // usable date `local` shows the broadcast's UTC.
  const signed char hour = static_cast<signed char>(times.hour);
  const int offset = local ? 0 : static_cast<int>(hour_offset % 24);
  h = ((((hour / 16) & 3) * 10 + (hour & 0x0F)) % 24 + offset + 24) % 24;
  // The minute's two BCD digits read as hexadecimal come out as they are (0x45 gives 45).
  std::snprintf(out, size, "%02d:%02X", h, times.minute);
}

bool FormatEndTime(const EventTimes& times, bool local, int32_t hour_offset, char* out,
                   size_t size) {
  int64_t of_day = 0;
  if (times.duration == kUnknownDuration || !StartOfDay(times, &of_day) || size == 0) return false;
  int h = 0;
  int m = 0;
  int64_t start = 0;
  if (local && LocalStart(times, &h, &m)) {
    // The start was shown in local time: so is the end, by the rules of the end's own date (a
    // programme may run across the change to or from summer time).
    StartUtc(times, &start);
    if (!LocalHourMinute(start + times.duration, &h, &m)) return false;
  } else {
    // UTC plus the hour offset (none with `local` where the start could not be converted),
    // modulo a day, as the start is shown.
    const int64_t offset = local ? 0 : hour_offset % 24;
    const int64_t end = of_day + times.duration + offset * 3600;
    const int64_t minute_of_day = FloorDiv(end, 60) % kMinutesPerDay;
    const int64_t wrapped = minute_of_day < 0 ? minute_of_day + kMinutesPerDay : minute_of_day;
    h = static_cast<int>(wrapped / 60);
    m = static_cast<int>(wrapped % 60);
  }
  std::snprintf(out, size, "%02d:%02d", h, m);
  return true;
}

bool ProgrammeProgress(const EventTimes& times, int64_t now, int* percent, int* minutes_left) {
  int64_t start = 0;
  if (times.duration == kUnknownDuration || !StartUtc(times, &start)) return false;
  const int64_t duration = times.duration;
  const int64_t end = start + duration;
  if (now >= end) {
    *percent = 100;
    *minutes_left = -1;
  } else if (now < start) {
    *percent = 0;
    *minutes_left = static_cast<int>((duration + 59) / 60);
  } else {
    *percent = static_cast<int>((now - start) * 100 / duration);
    *minutes_left = static_cast<int>((end - now + 59) / 60);
  }
  return true;
}
