// The event reader (guide/event_reader.h), the EPG languages, the genre and rating names, and the
// guide window that shows them: on the real captures against the independent decoder, on made
// sections for every rule, and in the whole plug-in while the window is open.
#include "guide/event_reader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "en300468_decoder.h"
#include "fixture.h"
#include "guide/eit.h"
#include "guide/genres.h"
#include "guide/guide_window.h"
#include "settings/settings.h"
#include "shared/channel.h"
#include "shared/controls.h"
#include "shared/languages.h"
#include "shared/state.h"
#include "ts.h"

namespace {

using ts::Bytes;

Bytes ReadAll(const std::string& path) {
  Bytes out;
  ts::ReadFile(path.c_str(), &out);
  return out;
}

// A JSON string as pelta-tool writes one: UTF-8 as it is, \n, \" and \\, other controls \u00XX.
std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c < 0x20 || c == 0x7F) {
      char e[8];
      std::snprintf(e, sizeof e, "\\u%04x", c);
      out += e;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// The event as `eit --json` prints it, from the independent decoding.
std::string Json(const en300468::FullEvent* e) {
  if (e == nullptr) return "null";
  std::string out = "{\"event_id\": " + std::to_string(e->event_id) +
                    ", \"start\": " + (e->start.empty() ? "null" : "\"" + e->start + "\"") +
                    ", \"duration\": " + (e->duration < 0 ? "null" : std::to_string(e->duration)) +
                    ", \"running_status\": " + std::to_string(e->running_status) +
                    ", \"language\": " + Quote(e->language) + ", \"name\": " + Quote(e->name) +
                    ", \"text\": " + Quote(e->text) + ", \"extended\": " + Quote(e->extended) +
                    ", \"items\": [";
  for (size_t i = 0; i < e->items.size(); ++i) {
    out += (i ? ", [" : "[") + Quote(e->items[i].first) + ", " + Quote(e->items[i].second) + "]";
  }
  out += "], \"content\": [";
  for (size_t i = 0; i < e->content.size(); ++i) {
    out += (i ? ", [" : "[") + std::to_string(e->content[i].first) + ", " +
           std::to_string(e->content[i].second) + "]";
  }
  out += "], \"rating\": [";
  for (size_t i = 0; i < e->ratings.size(); ++i) {
    const int v = e->ratings[i].second;
    out += std::string(i ? ", {" : "{") + "\"country\": " + Quote(e->ratings[i].first) +
           ", \"value\": " + std::to_string(v) +
           ", \"age\": " + (v >= 1 && v <= 15 ? std::to_string(v + 3) : "null") + "}";
  }
  return out + "]}";
}

#ifdef PELTA_TOOL
// For every service of the three captures, and with a preference that none of them matches
// first: what `eit --json` prints is what the independent decoder reads from the last p/f
// section of each kind in the file.
TEST(EventRecordCaptures, JsonEqualsTheIndependentDecoding) {
  const std::string tool = PELTA_TOOL;
  size_t events = 0;
  for (const char* file : {"sat-5w-12732v.ts", "dvbt2-cz-pid18.ts", "dvbt-it-rai.ts"}) {
    const std::string path = std::string(PELTA_TEST_DATA) + "/captures/" + file;
    const Bytes stream = ReadAll(path);
    ASSERT_FALSE(stream.empty()) << file;
    for (const ts::ServiceSeen& s : ts::ListServices(stream)) {
      for (const char* languages : {"", "eng,ger"}) {
        std::vector<std::string> prefs;
        if (languages[0] != '\0') prefs = {"eng", "ger"};
        const auto decoded = en300468::DecodeFullEvents(stream, s.service_id, prefs);
        const en300468::FullEvent* last[2] = {nullptr, nullptr};
        for (const auto& d : decoded) last[d.first] = &d.second;
        const std::string expected =
            "{\"present\": " + Json(last[0]) + ",\n \"following\": " + Json(last[1]) + ",\n";
        std::string command =
            tool + " eit " + path + " --sid " + std::to_string(s.service_id) + " --json";
        if (languages[0] != '\0') command += std::string(" --languages ") + languages;
        const std::string out = RunCommand(command);
        EXPECT_EQ(out.substr(0, expected.size()), expected) << file << " sid " << s.service_id;
        EXPECT_EQ(out.find("\"state\": "), expected.size() + 1) << out;
        events += (last[0] != nullptr) + (last[1] != nullptr);
      }
    }
  }
  EXPECT_EQ(events, 2 * (8u + 28u + 12u)) << "every event the captures carry";
}
#endif

// ---- made sections ----

Bytes Extended(int number, int last, const char* language, const std::string& text,
               const std::vector<ts::ExtendedItem>& items = {}) {
  Bytes d;
  std::string error;
  EXPECT_TRUE(ts::ExtendedEventDescriptor(number, last, language, items, text, &d, &error));
  return d;
}

// The record of a present section whose loop is `descriptors` (the first a short event "Name").
EventRecord Read(const std::vector<Bytes>& descriptors, const char* prefs = "") {
  ts::Event e;
  e.service_id = 0x1234;
  e.tag = 0x54;  // a content descriptor first, then the short event "Name" / "Text"
  e.name = "Name";
  e.text = "Text";
  e.more = descriptors;
  Bytes section;
  std::string error;
  EXPECT_TRUE(ts::BuildEitSection(e, &section, &error)) << error;
  static EventRecord r;
  EXPECT_TRUE(ReadEvent(section.data(), section.size() - 4, 14,
                        PackLanguages(ParseLanguageList(prefs, nullptr)), &r));
  return r;
}

std::string Items(const EventRecord& r) {
  std::string out;
  for (int i = 0; i < r.item_count; ++i) {
    out += std::string(ItemDescription(r, i)) + "=" + ItemText(r, i) + ";";
  }
  return out;
}

TEST(EventReader, ExtendedPartsAndItems) {
  const std::string long_part(240, 'x');
  const struct {
    const char* what;
    std::vector<Bytes> loop;
    std::string extended;
    std::string items;
  } cases[] = {
      {"three parts sent out of order, joined by number; 0x8A is a line break",
       {Extended(2, 2, "eng", "three"), Extended(0, 2, "eng", "one\x8A"),
        Extended(1, 2, "eng", "two ", {{"Director", "J. Doe"}, {"Cast", "A, B"}})},
       "one\ntwo three",
       "Director=J. Doe;Cast=A, B;"},
      {"a part missing from the sequence is skipped",
       {Extended(0, 2, "eng", "one "), Extended(2, 2, "eng", "three")},
       "one three",
       ""},
      {"a number past last_descriptor_number, and a second descriptor numbered 0, are not taken",
       {Extended(0, 1, "eng", "one "), Extended(3, 1, "eng", "bad"), Extended(0, 1, "eng", "again"),
        Extended(1, 1, "eng", "two")},
       "one two",
       ""},
      {"each part by its own selector",
       {Extended(0, 1, "eng", std::string("\x10\x00\x02\xF8 ", 5)),
        Extended(1, 1, "eng", "\x15\xC5\x99")},
       "\xC5\x99 \xC5\x99",
       ""},
      {"parts of another language are not joined",
       {Extended(0, 0, "eng", "english"), Extended(0, 0, "fre",
                                                   "fran\xC3\xA7"
                                                   "ais")},
       "english",
       ""},
      {"sixteen long parts: cut at the record's size, between characters",
       {Extended(0, 15, "eng", long_part), Extended(1, 15, "eng", long_part),
        Extended(2, 15, "eng", long_part), Extended(3, 15, "eng", long_part),
        Extended(4, 15, "eng", long_part), Extended(5, 15, "eng", long_part),
        Extended(6, 15, "eng", long_part), Extended(7, 15, "eng", long_part),
        Extended(8, 15, "eng", long_part), Extended(9, 15, "eng", long_part),
        Extended(10, 15, "eng", long_part), Extended(11, 15, "eng", long_part),
        Extended(12, 15, "eng", long_part), Extended(13, 15, "eng", long_part),
        Extended(14, 15, "eng", long_part), Extended(15, 15, "eng", long_part)},
       std::string(16 * 240, 'x'),
       ""},
  };
  for (const auto& c : cases) {
    const EventRecord r = Read(c.loop);
    EXPECT_EQ(std::string(r.extended), c.extended) << c.what;
    EXPECT_EQ(Items(r), c.items) << c.what;
    EXPECT_STREQ(r.name, "Name") << c.what;
  }
}

// Lengths that pass their enclosing one: what they cover is left out, the rest of the record
// stands. The descriptors are written byte by byte.
TEST(EventReader, LengthsPastTheirEnclosingOne) {
  const struct {
    const char* what;
    Bytes descriptor;
    std::string extended;
    std::string items;
  } cases[] = {
      // number 0/0, "eng", length_of_items 9: the item list leaves no room for text_length.
      {"item list past its descriptor",
       {0x4E, 14, 0x00, 'e', 'n', 'g', 9, 1, 'a', 1, 'b', 3, 'x', 'y', 'z', 0},
       "",
       ""},
      {"an item's length past the item list",
       {0x4E, 15, 0x00, 'e', 'n', 'g', 6, 1, 'a', 1, 'b', 1, 'c', 3, 'x', 'y', 'z'},
       "xyz",
       "a=b;"},
      {"text past its descriptor", {0x4E, 9, 0x00, 'e', 'n', 'g', 0, 5, 'x', 'y', 'z'}, "", ""},
  };
  for (const auto& c : cases) {
    const EventRecord r = Read({c.descriptor, Bytes{0x55, 4, 'C', 'Z', 'E', 12}});
    EXPECT_EQ(std::string(r.extended), c.extended) << c.what;
    EXPECT_EQ(Items(r), c.items) << c.what;
    ASSERT_EQ(r.rating_count, 1) << c.what << ": the loop goes on";
    EXPECT_EQ(r.ratings[0].rating, 12);
  }
  // A descriptor past its loop ends the loop: the short event before it still counts.
  EventRecord r = Read({Bytes{0x55, 40, 'C', 'Z', 'E', 12}});
  EXPECT_STREQ(r.name, "Name");
  EXPECT_EQ(r.rating_count, 0);
}

TEST(EventReader, GenresAndRatings) {
  const EventRecord r = Read({ts::ContentDescriptor({0x14, 0xB3}), ts::ContentDescriptor({0xF0}),
                              ts::ParentalRatingDescriptor({{"CZE", 9}, {"DEU", 0x12}})});
  // The content descriptor first in the loop (mkts writes nibbles 1, 0 first) comes too.
  ASSERT_EQ(r.content_count, 4);
  EXPECT_EQ(r.content[1].level1, 1);
  EXPECT_EQ(r.content[1].level2, 4);
  EXPECT_EQ(r.content[3].level1, 15);
  ASSERT_EQ(r.rating_count, 2);
  char text[128];
  GuideGenreText(r, text, sizeof text);
  EXPECT_STREQ(text, "Movie/Drama; Movie/Drama: comedy; Special characteristics: live broadcast");
  const struct {
    const char* country;
    const char* age;
  } ages[] = {{"", "12+"}, {"DEU", "18"}, {"deu", "18"}, {"FRA", "12+"}};
  for (const auto& a : ages) {
    GuideAgeText(r, a.country, text, sizeof text);
    EXPECT_STREQ(text, a.age) << a.country;
  }
  const struct {
    uint8_t level1, level2;
    bool named;
    const char* name;
  } genres[] = {
      {1, 1, true, "Movie/Drama: detective/thriller"},
      {1, 0, true, "Movie/Drama"},
      {1, 0xE, true, "Movie/Drama"},  // reserved level 2
      {4, 0xB, true, "Sports: martial sports"},
      {0xA, 7, true, "Leisure hobbies: gardening"},
      {0xB, 0, true, "Special characteristics: original language"},
      {0, 0, false, ""},
      {0xC, 1, false, ""},
      {0xF, 0xF, false, ""},
  };
  for (const auto& g : genres) {
    EXPECT_EQ(GenreName(g.level1, g.level2, text, sizeof text), g.named);
    EXPECT_STREQ(text, g.name);
  }
  const struct {
    uint8_t rating;
    const char* text;
    int age;
  } ratings[] = {{0, "", -1}, {1, "4+", 4}, {0x0F, "18+", 18}, {0x10, "16", -1}, {0xFF, "255", -1}};
  for (const auto& x : ratings) {
    AgeRatingText(x.rating, text, sizeof text);
    EXPECT_STREQ(text, x.text);
    EXPECT_EQ(MinimumAge(x.rating), x.age);
  }
}

// ---- languages ----

TEST(Languages, ParseAndRank) {
  const struct {
    const char* line;
    const char* parsed;
    int rejected;
  } lines[] = {
      {"", "", 0},
      {"deu,eng", "deu,eng", 0},
      {" GER , Eng ", "deu,eng", 0},
      {"cze,slo,rum", "ces,slk,ron", 0},
      {"deu,ger", "deu", 1},
      {"de,deutsch,eng", "eng", 2},
      {"fra,ita,spa,por", "fra,ita,spa", 1},
      {"d3u,,eng,", "eng", 2},
  };
  for (const auto& l : lines) {
    int rejected = -1;
    const LanguageList list = ParseLanguageList(l.line, &rejected);
    char text[32];
    FormatLanguageList(UnpackLanguages(PackLanguages(list)), text, sizeof text);
    EXPECT_STREQ(text, l.parsed) << l.line;
    EXPECT_EQ(rejected, l.rejected) << l.line;
  }
  const uint64_t prefs = PackLanguages(ParseLanguageList("ces,eng,fre", nullptr));
  const struct {
    const char* code;
    int rank;
  } codes[] = {{"ces", 0},
               {"CZE", 0},
               {"eng", 1},
               {"fra", 2},
               {"FRE", 2},
               {"deu", kNotPreferred},
               {"c1e", kNotPreferred}};
  for (const auto& c : codes) {
    EXPECT_EQ(LanguageRank(prefs, reinterpret_cast<const uint8_t*>(c.code)), c.rank) << c.code;
  }
}

// A schedule (mkts format) made into a stream and delivered in blocks of `packets` packets.
void FeedSchedule(const std::string& schedule, size_t packets) {
  Bytes stream;
  std::string error;
  ASSERT_TRUE(ts::BuildStream(schedule, &stream, &error)) << error;
  const Bytes payloads = ts::ExtractPayloads(stream, ts::kEitPid);
  for (size_t at = 0; at < payloads.size(); at += packets * ts::kPayloadSize) {
    const size_t n = std::min(payloads.size() - at, packets * ts::kPayloadSize);
    OnDataArrival(1, static_cast<int>(n), payloads.data() + at);
  }
}

// Which language an event's texts come from, in the record and on the strip's line.
class LanguageChoice : public ::testing::Test {
 protected:
  static void ResetAll() {
    sim::Reset();
    ResetSettingsState();
    ResetChannelState();
    ResetGuideState();
  }
  void SetUp() override { ResetAll(); }
  void TearDown() override {
    ResetAll();
    unsetenv("LANG");
  }
};

TEST_F(LanguageChoice, MostPreferredPresentElseTheFirst) {
  struct Text {
    const char* language;
    const char* name;
  };
  const struct {
    const char* what;
    std::vector<Text> texts;  // short event descriptors in loop order
    const char* prefs;
    const char* chosen;
  } cases[] = {
      {"one language, not preferred: as it always was", {{"fre", "Journal"}}, "deu,eng", "Journal"},
      {"two, no preference: the first", {{"ces", "Zprávy"}, {"eng", "News"}}, "", "Zprávy"},
      {"two, the second preferred", {{"ces", "Zprávy"}, {"eng", "News"}}, "eng", "News"},
      {"three, the second choice present",
       {{"fra", "Nouvelles"}, {"ger", "Nachrichten"}, {"eng", "News"}},
       "ita,deu,eng",
       "Nachrichten"},
      {"bibliographic code asked, terminology sent",
       {{"eng", "News"}, {"ces", "Zprávy"}},
       "cze",
       "Zprávy"},
      {"upper case sent", {{"eng", "News"}, {"DEU", "Nachrichten"}}, "ger", "Nachrichten"},
      {"none preferred present: the first",
       {{"eng", "News"}, {"ces", "Zprávy"}},
       "ita,spa",
       "News"},
  };
  for (const auto& c : cases) {
    for (size_t packets : {size_t{10}, size_t{1}}) {
      ResetGuideState();
      GuideFormat = 0;
      StoreCurrentChannel(MakeChannel("Test", 11778000, 1, 0x1234, 0));
      EpgLanguagePref = PackLanguages(ParseLanguageList(c.prefs, nullptr));
      std::string schedule;
      for (int kind = 0; kind < 2; ++kind) {
        schedule += std::string("0x1234 ") + (kind ? "following" : "present") + " 20:00 short \"" +
                    c.texts[0].name + "\" \"\" lang=" + c.texts[0].language + " charset=6937\n";
        for (size_t i = 1; i < c.texts.size(); ++i) {
          schedule += std::string("+ short \"") + c.texts[i].name +
                      "\" \"\" lang=" + c.texts[i].language + " charset=6937\n";
        }
      }
      eitstate = 1;
      FeedSchedule(schedule, packets);
      SCOPED_TRACE(::testing::Message() << c.what << ", blocks of " << packets);
      EXPECT_EQ(eitstate.load(), 7);
      EXPECT_EQ(std::string(nowtxt), std::string("(20:00) ") + c.chosen + " ");
      EXPECT_EQ(std::string(nxttxt), std::string("(20:00) ") + c.chosen + " ");
      static GuideContent content;
      CopyGuideContent(&content);
      ASSERT_TRUE(content.have[0] && content.have[1]);
      EXPECT_STREQ(content.events[0].name, c.chosen);
    }
  }
}

// An empty line 18: the language of the user interface, then the broadcast's first.
TEST_F(LanguageChoice, EmptyLineMeansTheUserInterfaceLanguage) {
  const struct {
    const char* lang;
    const char* line;
    const char* preference;
  } cases[] = {{"cs_CZ.UTF-8", "", "ces"},    {"de_AT", "", "deu"}, {"C", "", ""},
               {"cs_CZ.UTF-8", "eng", "eng"}, {"xx_YY", "", ""},    {nullptr, " ", ""}};
  for (const auto& c : cases) {
    if (c.lang != nullptr) {
      setenv("LANG", c.lang, 1);
    } else {
      unsetenv("LANG");
    }
    char text[32];
    FormatLanguageList(UnpackLanguages(EpgPreferenceFor(c.line)), text, sizeof text);
    EXPECT_STREQ(text, c.preference) << (c.lang ? c.lang : "(no LANG)");
  }
  setenv("LANG", "de_AT.UTF-8", 1);
  char country[4];
  ASSERT_TRUE(UserCountry(country, sizeof country));
  EXPECT_STREQ(country, "AUT");
}

// ---- the guide window ----

class GuideWindowTest : public PluginTest {
 protected:
  static std::string Text(int control) {
    char text[mem::kTextMax] = "";
    EXPECT_TRUE(mem::CtrlText(pnlGuide, control, text, sizeof text)) << control;
    return text;
  }
  static void Feed(const std::string& schedule) { FeedSchedule(schedule, 10); }
};

// Opened by O and from the menu, the window shows both events; a new version of the p/f table
// while it is open refills it at the next tick, and a channel change empties what belongs to
// the old channel.
TEST_F(GuideWindowTest, ShowsBothEventsAndFollowsTheBroadcast) {
  setenv("LANG", "C", 1);  // no user country: the first rating counts
  LoadStartAndPassGate();
  On_Channel_Change(MakeChannel("Nova", 11836000, 13, 0x1234, 0));
  Feed(
      "0x1234 present 20:00 short \"Film\" \"Krimi\" lang=ces duration=00:45 version=1\n"
      "+ extended \"Part one.\\xEE\\x82\\x8A\" \"Re\\xC5\\xBEie\" \"J. Nov\\xC3\\xA1k\" lang=ces "
      "charset=utf8\n"
      "+ extended \"Part two.\" \"Hraj\\xC3\\xAD\" \"A, B\" lang=ces charset=6937\n"
      "+ extended \" Part three.\" lang=ces\n"
      "+ content 0x11\n"
      "+ rating CZE 9 DEU 12\n"
      "0x1234 following 20:45 short \"\\xE6\\x96\\xB0\\xE9\\x97\\xBB\" \"\\xE4\\xB8\\xAD\" "
      "duration=01:00 version=1 charset=ucs2\n");
  sim::PressKey('O');
  sim::FireTimer();
  ASSERT_TRUE(mem::IsVisible(pnlGuide));
  EXPECT_EQ(Text(kGuideChannelName), "Nova");
  EXPECT_EQ(Text(kGuideTextBox), "Krimi");
  EXPECT_EQ(Text(kGuidePresent.times),
            "20:00\xE2\x80\x93"
            "20:45 (45 min)");
  EXPECT_EQ(Text(kGuidePresent.title), "Film");
  EXPECT_EQ(Text(kGuidePresent.description),
            "Part one.\nPart two. Part three.\nRe\xC5\xBE"
            "ie: J. Nov\xC3\xA1k\nHraj\xC3\xAD: A, B");
  EXPECT_EQ(Text(kGuidePresent.genre), "Movie/Drama: detective/thriller");
  EXPECT_EQ(Text(kGuidePresent.age), "12+");
  EXPECT_EQ(Text(kGuideFollowing.times),
            "20:45\xE2\x80\x93"
            "21:45 (60 min)");
  EXPECT_EQ(Text(kGuideFollowing.title), "\xE6\x96\xB0\xE9\x97\xBB");
  EXPECT_EQ(Text(kGuideFollowing.text), "\xE4\xB8\xAD");
  EXPECT_EQ(Text(kGuideFollowing.genre), "");

  // The next version while the window is up: in place at the next tick.
  Feed(
      "0x1234 present 20:45 short \"News\" \"Today\" duration=00:15 version=2\n"
      "0x1234 following 21:00 short \"Sport\" \"\" version=2\n");
  EXPECT_EQ(Text(kGuidePresent.title), "Film") << "not before the tick";
  sim::FireTimer();
  EXPECT_EQ(Text(kGuidePresent.title), "News");
  EXPECT_EQ(Text(kGuideTextBox), "Today");
  EXPECT_EQ(Text(kGuidePresent.times),
            "20:45\xE2\x80\x93"
            "21:00 (15 min)");
  EXPECT_EQ(Text(kGuidePresent.description), "");
  EXPECT_EQ(Text(kGuidePresent.age), "");
  EXPECT_EQ(Text(kGuideFollowing.title), "Sport");

  // A channel change: the old channel's events go; control 3 keeps its description until the
  // new channel's is captured, as it always did.
  On_Channel_Change(MakeChannel("Other", 11836000, 13, 0x9999, 0));
  sim::FireTimer();
  EXPECT_EQ(Text(kGuideChannelName), "Other");
  EXPECT_EQ(Text(kGuidePresent.title), "");
  EXPECT_EQ(Text(kGuideTextBox), "Today");
  // Once hidden, nothing is filled any more.
  sim::FireTimer(60);
  ASSERT_FALSE(mem::IsVisible(pnlGuide));
  On_Channel_Change(MakeChannel("Third", 11836000, 13, 0x7777, 0));
  sim::FireTimer();
  EXPECT_EQ(Text(kGuideChannelName), "Other");
  unsetenv("LANG");
}

}  // namespace
