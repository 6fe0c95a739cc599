// Helpers of the EIT reader's tests: streams built with the mkts helpers (tools/pelta-tool/ts.h)
// delivered to the reader as the host delivers PID 0x12 payloads, and text compared byte for
// byte.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "fixture.h"
#include "guide/eit.h"
#include "shared/channel.h"
#include "ts.h"

namespace eit_helpers {

using ts::Bytes;

inline std::string Hex(const std::string& s) {
  return ts::HexDump(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

// Byte-exact text comparison with both sides hex-dumped on a mismatch.
inline void ExpectText(const std::string& actual, const std::string& expected, const char* what) {
  EXPECT_EQ(actual, expected) << what << "\nactual:\n"
                              << Hex(actual) << "\nexpected:\n"
                              << Hex(expected);
}

inline Bytes PayloadsOf(const std::string& schedule) {
  Bytes stream;
  std::string error;
  EXPECT_TRUE(ts::BuildStream(schedule, &stream, &error)) << error;
  return ts::ExtractPayloads(stream, ts::kEitPid);
}

inline void Deliver(const Bytes& block, int filter = 1) {
  OnDataArrival(filter, static_cast<int>(block.size()), block.data());
}

inline void SetChannel(uint16_t sid) {
  StoreCurrentChannel(MakeChannel("Test", 11778000, 1, sid, 0));
}

// Two services, a null packet between them, a long section, a repeated present and a late
// replacement that never shows.
inline constexpr const char kSchedule[] =
    "# two services, a null packet and a long section between them\n"
    "0x0101 present   06:00 short \"Breakfast\" \"Coffee\"\n"
    "null\n"
    "0x1234 following 21:00 short \"\\x10\\x00\\x05Film\" \"\\x10\\x00\\x05A *long* film\"\n"
    "0x1234 present   20:15 short \"News\" \"Weather\\x8Atonight\" repeat=2\n"
    "0x0101 following 07:00 extended \"Item\" \"Morning show\"\n"
    "0x1234 present   20:15 short \"Replay\" \"never shown\"\n";

}  // namespace eit_helpers
