// Host commands: the start record byte by byte, one start and one stop per filter, the
// running id, commands before On_Start, and the signal query. The whole plug-in is loaded with
// a recording host (fixture.h); the filter is started through GetEIT as the channel-change
// display does, and EIT data reaches the reader through the callback the host was given.
#include "shared/commands.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fixture.h"
#include "guide/eit.h"
#include "guide/filter.h"
#include "settings/settings.h"
#include "ts.h"

namespace {

class CommandsTest : public PluginTest {
 protected:
  void LoadAndStart(int dll_id = 7) {
    ASSERT_TRUE(Load());
    char hot_key[16] = "";
    char version[16] = "";
    int res = 0;
    On_Start(nullptr, host_, FALSE, dll_id, hot_key, version, &res);
  }
  // The EIT payloads of service 0x1234's present event "News" and, with `following`, its
  // following event "Film", in one block.
  static ts::Bytes NewsBlock(bool following) {
    ts::Bytes stream;
    std::string error;
    const std::string present = "0x1234 present 20:15 short \"News\" \"Weather\"\n";
    const std::string next = "0x1234 following 21:00 short \"Film\" \"Drama\"\n";
    EXPECT_TRUE(ts::BuildStream(following ? present + next : present, &stream, &error)) << error;
    return ts::ExtractPayloads(stream, ts::kEitPid);
  }
  const HostCommand* First(UINT code) const {
    for (int i = 0; i < command_count; ++i) {
      if (commands[i].code == code) return &commands[i];
    }
    return nullptr;
  }
};

TEST(CommandsLayout, CodesAndRecordOffsets) {
  EXPECT_EQ(WM_USER, 1024u);
  EXPECT_EQ(CMD_START_FILTER, 16908320u);
  EXPECT_EQ(CMD_STOP_FILTER, 16908321u);
  EXPECT_EQ(CMD_SIGNAL_QUERY, 16916481u);
  EXPECT_EQ(kFilterCallbackOffset, 40u);
  // i686: a 4-byte callback, running id at 44, 48 bytes; x86_64: 8 bytes, 48, 56.
  EXPECT_EQ(kFilterRunIdOffset, 40u + sizeof(void*));
  EXPECT_EQ(sizeof(FilterRequest), sizeof(void*) == 4 ? 48u : 56u);
  EXPECT_EQ(sizeof(SignalRecord), 12u);
}

TEST_F(CommandsTest, StartRecordBytes) {
  struct Case {
    int dll_id;
    uint8_t id_low, id_high;
  } cases[] = {{7, 0x07, 0x00}, {0x12345, 0x45, 0x23}};  // above 65535: the low 16 bits
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "DLL_ID " << c.dll_id);
    Unload();
    command_count = 0;
    LoadAndStart(c.dll_id);
    GetEIT();
    ASSERT_EQ(command_count, 1);
    const HostCommand& start = commands[0];
    EXPECT_EQ(start.code, CMD_START_FILTER);
    EXPECT_EQ(start.param, reinterpret_cast<LPARAM>(&FilterRequest));
    unsigned char expected[40] = {c.id_low, c.id_high, 0x01, 0x00, 0x12, 0x00};
    std::memcpy(expected + 6, "Pelta EIT filter", 17);
    EXPECT_EQ(std::memcmp(start.record, expected, sizeof expected), 0)
        << "record:\n"
        << ts::HexDump(start.record, sizeof expected) << "\nexpected:\n"
        << ts::HexDump(expected, sizeof expected);
    void (*callback)(int, int, const unsigned char*) = nullptr;
    std::memcpy(&callback, start.record + kFilterCallbackOffset, sizeof callback);
    EXPECT_EQ(callback, &OnDataArrival);
    int32_t preset = 0;
    std::memcpy(&preset, start.record + kFilterRunIdOffset, 4);
    EXPECT_EQ(preset, -1) << "the running id is preset before the host writes it";
    EXPECT_EQ(runid, 4242);
    EXPECT_EQ(eitstate.load(), 1);
  }
}

TEST_F(CommandsTest, OneStartAcrossChannelChangesAndOneStopCarryingTheRunningId) {
  host_runid = 77;
  LoadAndStart();
  EpgEnabled = 1;
  for (int i = 0; i < 3; ++i) {
    if (eitstate.load() == 0) GetEIT();
    ResetLinesForChannel();
    GetEIT();  // a stray call while the filter runs sends nothing either
  }
  EXPECT_EQ(CommandsWithCode(CMD_START_FILTER), 1);
  EXPECT_EQ(runid, 77);
  On_Exit(nullptr, host_, FALSE);
  Unload();
  EXPECT_EQ(CommandsWithCode(CMD_STOP_FILTER), 1);
  const HostCommand* stop = First(CMD_STOP_FILTER);
  ASSERT_NE(stop, nullptr);
  EXPECT_EQ(stop->param, 77);
  EXPECT_EQ(eitstate.load(), 0);
  EXPECT_EQ(runid, 77) << "runid keeps its value after the stop";
}

TEST_F(CommandsTest, UnloadAloneStopsAStartedFilter) {
  LoadAndStart();
  GetEIT();
  Unload();
  EXPECT_EQ(CommandsWithCode(CMD_STOP_FILTER), 1);
}

TEST_F(CommandsTest, NothingIsSentWithoutAFilter) {
  LoadAndStart();
  On_Exit(nullptr, host_, FALSE);
  Unload();
  EXPECT_EQ(command_count, 0);
}

TEST_F(CommandsTest, FilterStatesAsHostsAnswerTheStart) {
  // Three displayed channel changes; the host answers each start with the running id of its row
  // (-1: it writes none, as some hosts never do) and may deliver EIT for a filter number after
  // one of them. A start counts once the host wrote an id or its data came for filter 1; until
  // then every channel change asks again, and only an open filter is stopped, with the id the
  // host wrote or -1.
  const ts::Bytes block = NewsBlock(true);
  const struct {
    const char* what;
    int dll_id;
    int32_t answers[3];
    int data_after;   // the change after which the host delivers; -1 never
    int data_filter;  // the filter number of that delivery
    int starts;
    int stops;
    int32_t stopped;
    bool before_on_start = false;  // GetEIT once before On_Start, with no host window yet
  } rows[] = {
      {"an id written: one start, stopped with it", 7, {55, 55, 55}, -1, 1, 1, 1, 55},
      {"a start before On_Start is not sent", 7, {57, 57, 57}, -1, 1, 1, 1, 57, true},
      {"DLL_ID 0 and slot id 0 are identifiers like any other", 0, {0, 0, 0}, -1, 1, 1, 1, 0},
      {"no id, but data: taken at the delivery, stopped with -1", 0, {-1, -1, -1}, 0, 1, 1, 1, -1},
      {"no id, data from the second start", 0, {-1, -1, -1}, 1, 1, 2, 1, -1},
      {"no id, data for another filter number proves nothing", 0, {-1, -1, -1}, 0, 2, 3, 0, 0},
      {"neither: asked at every change, nothing stopped", 7, {-1, -1, -1}, -1, 1, 3, 0, 0},
      {"ignored twice, then an id", 7, {-1, -1, 56}, -1, 1, 3, 1, 56},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Unload();
    command_count = 0;
    ASSERT_TRUE(Load());
    if (row.before_on_start) {
      GetEIT();
      EXPECT_EQ(command_count, 0);
      EXPECT_EQ(eitstate.load(), 0) << "nothing was started";
    }
    char hot_key[16] = "";
    char version[16] = "";
    int res = 0;
    On_Start(nullptr, host_, FALSE, row.dll_id, hot_key, version, &res);
    On_Channel_Change(MakeChannel("Gate", 11778000, 1, 1, 0));
    sim::FireTimer(5);
    command_count = 0;
    for (int change = 0; change < 3; ++change) {
      host_runid = row.answers[change];
      On_Channel_Change(MakeChannel("News 24", 11778000, 1, 0x1234, 0));
      if (change != row.data_after) continue;
      ASSERT_NE(harness::data_callback, nullptr);
      harness::data_callback(row.data_filter, static_cast<int>(block.size()), block.data());
      EXPECT_EQ(eitstate.load(), row.data_filter == 1 ? 7 : 1)
          << "the delivery that proved the filter is read";
    }
    EXPECT_EQ(CommandsWithCode(CMD_START_FILTER), row.starts);
    const HostCommand* start = First(CMD_START_FILTER);
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(start->record[0], row.dll_id & 0xFF);
    On_Exit(nullptr, host_, FALSE);
    Unload();
    EXPECT_EQ(CommandsWithCode(CMD_STOP_FILTER), row.stops) << "once, at On_Exit only";
    const HostCommand* stop = First(CMD_STOP_FILTER);
    if (row.stops > 0 && stop != nullptr) {
      EXPECT_EQ(stop->param, row.stopped);
    }
    EXPECT_EQ(eitstate.load(), 0);
  }
}

TEST_F(CommandsTest, DeliveriesAfterTheStopChangeNothing) {
  // A host that writes no running id goes on delivering for a moment after the stop, and a
  // host may deliver between On_Exit and the unload: nothing is read, dumped or sent.
  const std::string dump = Path("eit.dbg");
  sim::SetDumpPath(dump.c_str());
  ASSERT_TRUE(Load());
  Start();
  DebugMode = -1;
  host_runid = -1;
  StoreCurrentChannel(MakeChannel("News 24", 11778000, 1, 0x1234, 0));
  GetEIT();
  const ts::Bytes block = NewsBlock(false);
  OnDataArrival(1, static_cast<int>(block.size()), block.data());
  ASSERT_EQ(eitstate.load(), 3);
  ASSERT_EQ(FilterPhase.load(), kFilterOpen);
  On_Exit(nullptr, host_, FALSE);
  ASSERT_EQ(CommandsWithCode(CMD_STOP_FILTER), 1);
  const std::string dumped = ReadFile("eit.dbg");
  std::strcpy(nowtxt, "kept");
  const int sent = command_count;
  for (int i = 0; i < 3; ++i) OnDataArrival(1, static_cast<int>(block.size()), block.data());
  EXPECT_EQ(eitstate.load(), 0);
  EXPECT_EQ(FilterPhase.load(), kFilterClosed) << "late data proves no filter";
  EXPECT_STREQ(nowtxt, "kept");
  EXPECT_EQ(ReadFile("eit.dbg"), dumped) << "not dumped either";
  EXPECT_EQ(command_count, sent);
  Unload();
  EXPECT_EQ(CommandsWithCode(CMD_STOP_FILTER), 1) << "unload sends no second stop";
}

TEST_F(CommandsTest, HostDeliversThroughTheCallbackItWasGiven) {
  LoadAndStart();
  GuideFormat = 1;
  StoreCurrentChannel(MakeChannel("News 24", 11778000, 1, 0x1234, 0));
  GetEIT();
  ASSERT_EQ(command_count, 1);
  void (*callback)(int, int, const unsigned char*) = nullptr;
  std::memcpy(&callback, commands[0].record + kFilterCallbackOffset, sizeof callback);
  ASSERT_NE(callback, nullptr);
  const ts::Bytes block = NewsBlock(true);
  callback(1, static_cast<int>(block.size()), block.data());
  EXPECT_EQ(eitstate.load(), 7);
  EXPECT_STREQ(nowtxt, "(20:15) News > Weather ");
  EXPECT_STREQ(nxttxt, "(21:00) Film > Drama ");
}

TEST_F(CommandsTest, SignalQueryReadsOffsetFour) {
  LoadAndStart();
  host_quality = 37;
  SignalRecord.values[0] = 11;
  SignalRecord.values[2] = 99;
  EXPECT_EQ(QuerySignal(), 37);
  ASSERT_EQ(command_count, 1);
  EXPECT_EQ(commands[0].code, CMD_SIGNAL_QUERY);
  EXPECT_EQ(commands[0].param, reinterpret_cast<LPARAM>(&SignalRecord));
  EXPECT_EQ(SignalRecord.values[0], 11);
  EXPECT_EQ(SignalRecord.values[2], 99);
}

TEST_F(CommandsTest, SignalQueryNobodyAnswersLeavesTheRecord) {
  ASSERT_TRUE(Load());  // no On_Start: HostWnd is null
  EXPECT_EQ(QuerySignal(), 0);
  EXPECT_EQ(command_count, 0);
}

}  // namespace
