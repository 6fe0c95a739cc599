// The reception indicators: frequency, polarisation, CA label and the three colour bars.
#include "display/indicators.h"

#include <gtest/gtest.h>

#include <string>

#include "display/discovery.h"
#include "fixture.h"
#include "panels/panels.h"
#include "settings/settings.h"
#include "shared/commands.h"

namespace {

class IndicatorsTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    ASSERT_TRUE(Load());
    Start();
  }
  static int Attr(int control, int attribute) {
    int value = -12345;
    EXPECT_TRUE(mem::CtrlAttr(pnlDisplay, control, attribute, &value)) << control;
    return value;
  }
  static std::string AttrText(int control, int attribute) {
    char text[64] = "";
    EXPECT_TRUE(mem::CtrlAttrText(pnlDisplay, control, attribute, text, sizeof text));
    return text;
  }
  static std::string Text(int control) {
    char text[256] = "";
    EXPECT_TRUE(mem::CtrlText(pnlDisplay, control, text, sizeof text));
    return text;
  }
  void Show(int32_t kind, const TProgram82& chan) {
    HostKind = kind;
    OtherData(chan);
  }
};

// Red through yellow to green in whole steps of 5.1: below 50 the green rises, from 50 on the
// red falls. Integer arithmetic gives the exact expected colour for every value.
int ExpectedRamp(int v) {
  if (v < 50) return 0xFF0000 | ((51 * v) / 10) << 8;
  return ((5100 - 51 * v) / 10) << 16 | 0x00FF00;
}

TEST_F(IndicatorsTest, QualityRampMatchesTheTelltaleRowsAndEveryValue) {
  const struct {
    int quality;
    int colour;
  } rows[] = {{0, 0xFF0000},  {1, 0xFF0500},  {10, 0xFF3300}, {25, 0xFF7F00},
              {49, 0xFFF900}, {50, 0xFFFF00}, {51, 0xF9FF00}, {60, 0xCCFF00},
              {75, 0x7FFF00}, {90, 0x33FF00}, {99, 0x05FF00}, {100, 0x00FF00}};
  const TProgram82 chan = MakeChannel("A", 11778000, 1, 1, 0);
  for (const auto& row : rows) {
    host_quality = row.quality;
    Show(kHostProgDvb, chan);
    EXPECT_EQ(Attr(14, ATTR_FILL_COLOR), row.colour) << row.quality;
    EXPECT_EQ(AttrText(14, ATTR_INDICATOR_TEXT), std::to_string(row.quality));
  }
  for (int v = 0; v <= 100; ++v) {
    host_quality = v;
    Show(kHostProgDvb, chan);
    ASSERT_EQ(Attr(14, ATTR_FILL_COLOR), ExpectedRamp(v)) << v;
    EXPECT_EQ(SignalQuality, v);
    EXPECT_EQ(SignalLevel, 100);
    EXPECT_EQ(Attr(15, ATTR_FILL_COLOR), 0x00FF00) << "the level always shows full";
    EXPECT_EQ(AttrText(15, ATTR_INDICATOR_TEXT), "100");
  }
}

TEST_F(IndicatorsTest, QualityOutsideTheScaleIsClampedForTheColourOnly) {
  const struct {
    int quality;
    int colour;
    const char* text;
  } rows[] = {{-1, 0xFF0000, "-1"},
              {-2147483647, 0xFF0000, "-2147483647"},
              {101, 0x00FF00, "101"},
              {2147483647, 0x00FF00, "2147483647"}};
  for (const auto& row : rows) {
    host_quality = row.quality;
    Show(kHostAltDvb, MakeChannel("A", 0, 0, 0, 0));
    EXPECT_EQ(Attr(14, ATTR_FILL_COLOR), row.colour) << row.quality;
    EXPECT_EQ(AttrText(14, ATTR_INDICATOR_TEXT), row.text);
  }
}

TEST_F(IndicatorsTest, ConditionalAccessLabelAndState) {
  const struct {
    uint8_t code;
    const char* label;
    int32_t state;
    int colour;
  } rows[] = {{0, "FTA", 0, 0xC0C0C0},   {1, "SEC", 2, 0x00FF00},   {5, "VIA", 2, 0x00FF00},
              {6, "IRD", 2, 0x00FF00},   {9, "VDG", 2, 0x00FF00},   {11, "CON", 2, 0x00FF00},
              {13, "CRY", 2, 0x00FF00},  {14, "PVU", 2, 0x00FF00},  {24, "NAG", 2, 0x00FF00},
              {38, "BIS", 2, 0x00FF00},  {74, "SCR", 2, 0x00FF00},  {2, "OTH", 1, 0xFF0000},
              {255, "OTH", 1, 0xFF0000}, {0x17, "OTH", 1, 0xFF0000}};
  for (const auto& row : rows) {
    Show(kHostProgDvb, MakeChannel("A", 0, 0, 0, row.code));
    EXPECT_EQ(Text(7), row.label) << int(row.code);
    EXPECT_EQ(CaState, row.state) << int(row.code);
    EXPECT_EQ(Attr(13, ATTR_FILL_COLOR), row.colour) << int(row.code);
  }
}

TEST_F(IndicatorsTest, ConditionalAccessFromTheRecordAsEachKindOfHostFillsIt) {
  // Hosts that fill the CA list write an index into it at 128 and the count at 390; the others
  // leave the count 0 and write the CA_system_id's high byte at 128. Each entry: {slot, id}.
  struct Entry {
    int slot = -1;  // -1: no entry
    uint16_t system = 0;
  };
  const struct {
    const char* what;
    uint8_t ca_id;
    uint16_t count;
    Entry entries[3];
    const char* label;
    int32_t state;
  } rows[] = {
      {"seed: Nagravision's high byte at 128", 0x18, 0, {}, "NAG", 2},
      {"seed: free to air", 0, 0, {}, "FTA", 0},
      {"count 0: list bytes are not read", 0x26, 0, {{0, 0x1801}}, "BIS", 2},
      {"one entry, index 0", 0, 1, {{0, 0x1801}}, "NAG", 2},
      {"one entry of id 0: free to air", 0, 1, {{0, 0}}, "FTA", 0},
      {"two entries, index 1", 1, 2, {{0, 0x0100}, {1, 0x0500}}, "VIA", 2},
      {"two entries, index 0", 0, 2, {{0, 0x0100}, {1, 0x0500}}, "SEC", 2},
      {"32 entries, the last", 31, 32, {{31, 0x0B00}}, "CON", 2},
      {"32 entries, the index names an empty one", 3, 32, {{7, 0x0604}, {9, 0x0500}}, "IRD", 2},
      {"index past the count: the first listed", 5, 2, {{0, 0}, {1, 0x0D22}}, "CRY", 2},
      {"index past a count of 1", 1, 1, {{0, 0x0E00}, {1, 0x0500}}, "PVU", 2},
      {"a system without a label", 0, 1, {{0, 0x4B00}}, "OTH", 1},
      {"33 entries is no list: 128 as the high byte", 0x4A, 33, {{0, 0x1801}}, "SCR", 2},
      {"count 0xFFFF is no list", 0, 0xFFFF, {{0, 0x1801}}, "FTA", 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    TProgram82 chan = MakeChannel("A", 11778000, 0, 0, row.ca_id);
    chan.bytes[kCaCountOffset] = static_cast<unsigned char>(row.count & 0xFF);
    chan.bytes[kCaCountOffset + 1] = static_cast<unsigned char>(row.count >> 8);
    for (const Entry& e : row.entries) {
      if (e.slot < 0) continue;
      unsigned char* at = chan.bytes + kCaListOffset + e.slot * kCaEntrySize;
      at[0] = static_cast<unsigned char>(e.system & 0xFF);
      at[1] = static_cast<unsigned char>(e.system >> 8);
      at[2] = 0x34;  // ECM and EMM PIDs, provider id: not read
      at[4] = 0x56;
      at[8] = 0x78;
    }
    // Past the hosts' 804 bytes lies whatever followed the record on the host's stack.
    for (size_t i = kHostRecordSize; i < kProgramSize; ++i) chan.bytes[i] = 0x18;
    Show(kHostProgDvb, chan);
    EXPECT_EQ(Text(7), row.label);
    EXPECT_EQ(CaState, row.state);
    EXPECT_EQ(Attr(13, ATTR_FILL_COLOR),
              row.state == 0 ? 0xC0C0C0 : (row.state == 2 ? 0x00FF00 : 0xFF0000));
  }
}

TEST_F(IndicatorsTest, FrequencyTextByHostKindAndPolarisationLetter) {
  const struct {
    int32_t kind;
    uint32_t frequency;
    uint8_t pol;
    const char* text;
    const char* letter;
  } rows[] = {
      {kHostAltDvb, 11778000, 1, "11778", "V"},
      {kHostSkyView, 11778, 13, "11778", "V"},
      {kHostProgDvb, 11778999, 0, "11778", "H"},
      {kHostSkyView, 11778000, 2, "11778000", "H"},
      {kHostNone, 11778000, 86, "11778", "H"},
      {kHostNone, 100000, 1, "100", "V"},
      {kHostNone, 99999, 1, "99999", "V"},
      {kHostNone, 11778, 14, "11778", "H"},
      {kHostProgDvb, 4294967295u, 12, "4294967", "H"},
  };
  for (const auto& row : rows) {
    Show(row.kind, MakeChannel("A", row.frequency, row.pol, 0, 0));
    EXPECT_EQ(Text(5), row.text) << row.kind << " " << row.frequency;
    EXPECT_EQ(Text(6), row.letter) << int(row.pol);
  }
}

TEST_F(IndicatorsTest, VisibilityFollowsShowLevelAndShowTuning) {
  const struct { int level, tuning; } rows[] = {{1, 1}, {0, 1}, {1, 0}, {0, 0}};
  for (const auto& row : rows) {
    ShowLevel = row.level;
    ShowTuning = row.tuning;
    Show(kHostProgDvb, MakeChannel("A", 0, 0, 0, 0));
    EXPECT_EQ(Attr(15, ATTR_VISIBLE), row.level);
    for (int control : {5, 6, 7}) EXPECT_EQ(Attr(control, ATTR_VISIBLE), row.tuning) << control;
  }
}

TEST_F(IndicatorsTest, WithoutAHostNoQueryAndTheBarsKeepTheirLastValues) {
  host_quality = 60;
  Show(kHostProgDvb, MakeChannel("A", 11778000, 1, 0, 5));
  ASSERT_EQ(CommandsWithCode(CMD_SIGNAL_QUERY), 1);
  ASSERT_EQ(Attr(14, ATTR_FILL_COLOR), 0xCCFF00);

  host_quality = 10;
  Show(kHostNone, MakeChannel("B", 12000000, 0, 0, 0));
  EXPECT_EQ(CommandsWithCode(CMD_SIGNAL_QUERY), 1) << "no query without a host";
  EXPECT_EQ(Attr(14, ATTR_FILL_COLOR), 0xCCFF00);
  EXPECT_EQ(AttrText(14, ATTR_INDICATOR_TEXT), "60");
  EXPECT_EQ(Attr(13, ATTR_FILL_COLOR), 0x00FF00) << "the CA colour is drawn only with a host";
  EXPECT_EQ(Text(7), "FTA");
  EXPECT_EQ(CaState, 0);
  EXPECT_EQ(SignalQuality, 60);
}

}  // namespace
