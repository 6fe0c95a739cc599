// When a present or following event starts and how long it lasts, as the EIT carries it
// (EN 300 468, 5.2.4: start_time as a 16-bit Modified Julian Date and six BCD digits of UTC,
// duration as six BCD digits hh mm ss), and what the display makes of it: the end time in the
// time base of the start, and how far a programme on air has run by the clock.
//
// EventTimes is kept exactly as broadcast (the BCD bytes, the date) plus the duration in
// seconds, so an event record can hold it as it is.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint16_t kUndefinedDate = 0xFFFF;  // start_time date all ones: not defined
constexpr int32_t kUnknownDuration = -1;

struct EventTimes {
  uint16_t mjd;  // start_time date (Modified Julian Date), kUndefinedDate when not defined
  uint8_t hour;  // start_time in UTC: the three BCD bytes as broadcast
  uint8_t minute;
  uint8_t second;
  int32_t duration;  // seconds, or kUnknownDuration
};

// The duration of its three BCD bytes in seconds: kUnknownDuration when a digit is not a
// decimal digit, the minutes or seconds pass 59, or all 24 bits are ones.
int32_t DurationSeconds(uint8_t hours, uint8_t minutes, uint8_t seconds);

// The start in seconds since 1970-01-01 00:00 UTC; false for an undefined date or a start_time
// whose digits are not BCD (or past 23:59:59).
bool StartUtc(const EventTimes& times, int64_t* utc);

// The machine's clock in UTC, seconds since 1970-01-01 00:00 UTC.
int64_t UtcNow();

// Hours and minutes of the UTC instant `utc` in the computer's local time, with its zone's
// summer-time rules for that date. False when the system refuses the conversion.
bool LocalHourMinute(int64_t utc, int* hours, int* minutes);

// The event's start in the computer's local time (line 10 of pelta.ini saying `local`). False
// for an undefined date, digits that are not BCD, or a conversion the system refuses.
bool LocalStart(const EventTimes& times, int* hours, int* minutes);

// "HH:MM", the start as the programme lines show it: with `local` the local time (UTC where the
// date is undefined or the conversion fails), otherwise the BCD hour plus `hour_offset` modulo
// 24, the minute's two BCD digits as they are.
void FormatStartTime(const EventTimes& times, bool local, int32_t hour_offset, char* out,
                     size_t size);

// "HH:MM", the end (start plus duration) in the time base the start is shown in: with `local`
// the local time (or UTC where the start could not be converted), otherwise UTC plus
// `hour_offset` modulo 24. False, and nothing written, when the duration is unknown or the
// start's digits are not BCD.
bool FormatEndTime(const EventTimes& times, bool local, int32_t hour_offset, char* out,
                   size_t size);

// How far a programme on air has run at `now` (UTC seconds): `percent` the elapsed share
// (0..100, rounded down: 100 only once it has ended) and `minutes_left` the minutes to its end,
// rounded up, or -1 once it has ended. A programme that has not begun yet is at 0 with its
// whole duration left. False when the start or the duration is not known.
bool ProgrammeProgress(const EventTimes& times, int64_t now, int* percent, int* minutes_left);
