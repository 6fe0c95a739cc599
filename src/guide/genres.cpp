// EN 300 468 table 28, content_nibble_level_1 and content_nibble_level_2, in English.
#include "guide/genres.h"

#include <cstdio>

namespace {

struct Genre {
  const char* name;
  const char* const* levels;  // level 2 names from 1; null where there are none
  int count;
};

const char* const kMovie[] = {"detective/thriller",
                              "adventure/western/war",
                              "science fiction/fantasy/horror",
                              "comedy",
                              "soap/melodrama/folklore",
                              "romance",
                              "serious/classical/religious/historical movie/drama",
                              "adult movie/drama"};
const char* const kNews[] = {"news/weather report", "news magazine", "documentary",
                             "discussion/interview/debate"};
const char* const kShow[] = {"game show/quiz/contest", "variety show", "talk show"};
const char* const kSports[] = {"special events (Olympic Games, World Cup, etc.)",
                               "sports magazines",
                               "football/soccer",
                               "tennis/squash",
                               "team sports (excluding football)",
                               "athletics",
                               "motor sport",
                               "water sport",
                               "winter sports",
                               "equestrian",
                               "martial sports"};
const char* const kChildren[] = {"pre-school children's programmes",
                                 "entertainment programmes for 6 to 14",
                                 "entertainment programmes for 10 to 16",
                                 "informational/educational/school programmes", "cartoons/puppets"};
const char* const kMusic[] = {
    "rock/pop", "serious music/classical music", "folk/traditional music", "jazz", "musical/opera",
    "ballet"};
const char* const kArts[] = {"performing arts",
                             "fine arts",
                             "religion",
                             "popular culture/traditional arts",
                             "literature",
                             "film/cinema",
                             "experimental film/video",
                             "broadcasting/press",
                             "new media",
                             "arts/culture magazines",
                             "fashion"};
const char* const kSocial[] = {"magazines/reports/documentary", "economics/social advisory",
                               "remarkable people"};
const char* const kEducation[] = {"nature/animals/environment",
                                  "technology/natural sciences",
                                  "medicine/physiology/psychology",
                                  "foreign countries/expeditions",
                                  "social/spiritual sciences",
                                  "further education",
                                  "languages"};
const char* const kLeisure[] = {"tourism/travel",     "handicraft", "motoring",
                                "fitness and health", "cooking",    "advertisement/shopping",
                                "gardening"};
// Level 2 of special characteristics starts at 0: they are not a genre with a general case.
const char* const kSpecial[] = {"original language", "black and white",    "unpublished",
                                "live broadcast",    "plano-stereoscopic", "local or regional"};

template <size_t N>
constexpr Genre Named(const char* name, const char* const (&levels)[N]) {
  return Genre{name, levels, static_cast<int>(N)};
}
const Genre kGenres[] = {
    {nullptr, nullptr, 0},
    Named("Movie/Drama", kMovie),
    Named("News/Current affairs", kNews),
    Named("Show/Game show", kShow),
    Named("Sports", kSports),
    Named("Children's/Youth programmes", kChildren),
    Named("Music/Ballet/Dance", kMusic),
    Named("Arts/Culture (without music)", kArts),
    Named("Social/Political issues/Economics", kSocial),
    Named("Education/Science/Factual topics", kEducation),
    Named("Leisure hobbies", kLeisure),
    Named("Special characteristics", kSpecial),
};
constexpr int kSpecialLevel1 = 11;
constexpr int kMaxOwnAge = 0x0F;

}  // namespace

bool GenreName(uint8_t level1, uint8_t level2, char* out, size_t size) {
  if (size == 0) return false;
  out[0] = '\0';
  if (level1 >= sizeof kGenres / sizeof kGenres[0] || kGenres[level1].name == nullptr) return false;
  const Genre& g = kGenres[level1];
  const int index = level1 == kSpecialLevel1 ? level2 : level2 - 1;
  if (index >= 0 && index < g.count) {
    std::snprintf(out, size, "%s: %s", g.name, g.levels[index]);
  } else {
    std::snprintf(out, size, "%s", g.name);
  }
  return true;
}

int MinimumAge(uint8_t rating) {
  return rating >= 0x01 && rating <= kMaxOwnAge ? rating + 3 : -1;
}

bool AgeRatingText(uint8_t rating, char* out, size_t size) {
  if (size == 0) return false;
  out[0] = '\0';
  if (rating == 0) return false;
  if (rating <= kMaxOwnAge) {
    std::snprintf(out, size, "%d+", rating + 3);
  } else {
    std::snprintf(out, size, "%d", rating);
  }
  return true;
}
