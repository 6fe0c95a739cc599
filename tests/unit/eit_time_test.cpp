// Event start times as the strip shows them: the BCD hours and minutes of the EIT with the
// user's hour offset, or in the machine's local time by the zone rules of the event's date; and
// the simulated platform's time zones those tests run in.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "guide/eit.h"
#include "platform/sim/sim.h"
#include "settings/settings.h"

namespace {

TEST(BcdT, HourOffsetsWrapIntoTheDay) {
  struct Case {
    int hour, minute, offset;
    const char* text;
  } cases[] = {
      {0x23, 0x00, 2, "01:00"},
      {0x00, 0x30, -1, "23:30"},
      {0x12, 0x07, 0, "12:07"},
      {0x20, 0x15, 1, "21:15"},
      {0x09, 0x45, 0, "09:45"},
      {0x23, 0x59, 0, "23:59"},
      {0x00, 0x00, 24, "00:00"},
      {0x19, 0x00, 5, "00:00"},
      // Any offset counts modulo 24: 30 is +6, -30 is -6, 200 is +8, -200 is -8.
      {0x19, 0x15, 30, "01:15"},
      {0x19, 0x15, -30, "13:15"},
      {0x19, 0x15, 200, "03:15"},
      {0x19, 0x15, -200, "11:15"},
      {0x00, 0x00, INT_MAX, "07:00"},
      {0x05, 0x00, INT_MIN, "21:00"},
      {0x2F, 0x00, 23, "10:00"},
  };
  for (const Case& c : cases) {
    HourOffset = c.offset;
    BcdT(static_cast<signed char>(c.hour), static_cast<signed char>(c.minute));
    EXPECT_STREQ(evtime, c.text) << std::hex << c.hour << ":" << c.minute << std::dec << " + "
                                 << c.offset;
  }
  HourOffset = 0;
}

// MJD of a date, as EN 300 468 annex C defines it (1970-01-01 is 40587).
uint16_t Mjd(int y, int m, int d) {
  const int a = (14 - m) / 12, yy = y + 4800 - a, mm = m + 12 * a - 3;
  const int jdn = d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
  return static_cast<uint16_t>(jdn - 2400001);
}

TEST(BcdT, LocalTimeUsesTheZoneRulesOfTheDate) {
  const char* kBerlin = "CET-1CEST,M3.5.0,M10.5.0/3";
  const struct {
    const char* what;
    const char* zone;
    uint16_t mjd;
    int hour, minute;
    const char* text;
  } rows[] = {
      {"Berlin in summer", kBerlin, Mjd(2026, 7, 1), 0x19, 0x15, "21:15"},
      {"Berlin in winter", kBerlin, Mjd(2026, 1, 15), 0x19, 0x15, "20:15"},
      {"a minute before the change to summer time", kBerlin, Mjd(2026, 3, 29), 0x00, 0x59, "01:59"},
      {"summer time from 01:00 UTC on the last Sunday of March", kBerlin, Mjd(2026, 3, 29), 0x01,
       0x00, "03:00"},
      {"back to winter time at 01:00 UTC on the last Sunday of October", kBerlin, Mjd(2026, 10, 25),
       0x01, 0x00, "02:00"},
      {"a half-hour zone", "IST-5:30", Mjd(2026, 7, 1), 0x19, 0x15, "00:45"},
      {"past midnight: the next day's rules", kBerlin, Mjd(2026, 3, 28), 0x23, 0x30, "00:30"},
      {"west of UTC, the day before", "EST5EDT,M3.2.0,M11.1.0", Mjd(2026, 1, 1), 0x02, 0x00,
       "21:00"},
      {"an undefined date shows UTC", kBerlin, 0xFFFF, 0x19, 0x15, "19:15"},
      {"digits that are not BCD show as the reader always took them", kBerlin, Mjd(2026, 7, 1),
       0x2F, 0x7A, "11:7A"},
  };
  LocalTime = 1;
  HourOffset = 5;  // not used with local time
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    ASSERT_TRUE(sim::SetTimeZone(row.zone));
    BcdT(static_cast<signed char>(row.hour), static_cast<signed char>(row.minute), row.mjd);
    EXPECT_STREQ(evtime, row.text);
  }
  LocalTime = 0;
  HourOffset = 0;
  sim::ResetTimeZone();
}

TEST(SimTimeZone, RulesAndNamesItReads) {
  const struct {
    const char* zone;
    bool ok;
  } rows[] = {
      {"UTC0", true},
      {"<+0545>-5:45", true},
      {"CET-1CEST,M3.5.0,M10.5.0/3", true},
      {"", true},
      {"CET-", false},
      {"CET-1CEST,M13.5.0,M10.5.0", false},
      {"../../etc/passwd", false},
      {"Nowhere/Atlantis", false},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(sim::SetTimeZone(row.zone), row.ok) << row.zone;
  }
  // A zone name reads the rule at the end of its tz database file, where the machine has one.
  if (sim::SetTimeZone("Europe/Berlin")) {
    LocalTime = 1;
    BcdT(0x19, 0x15, Mjd(2026, 7, 1));
    EXPECT_STREQ(evtime, "21:15");
    LocalTime = 0;
  }
  sim::ResetTimeZone();
}

}  // namespace
