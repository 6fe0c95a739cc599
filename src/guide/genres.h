// Programme genres and age ratings as the guide window names them: the content descriptor's
// nibbles by the English names of EN 300 468 table 28, and a parental rating as a minimum age.
#pragma once

#include <cstddef>
#include <cstdint>

// "Movie/Drama: detective/thriller" for 1 and 1; the level-1 name alone for a level 2 of 0
// (general), reserved or user defined. False, and `out` empty, for a level 1 that names no genre
// (0 undefined, 0xC..0xE reserved, 0xF user defined).
bool GenreName(uint8_t level1, uint8_t level2, char* out, size_t size);

// A rating byte as shown: 0x01..0x0F "12+" (the value plus 3), above that the broadcaster's own
// value as its number ("16" for 0x10); 0 (undefined) gives "" and false.
bool AgeRatingText(uint8_t rating, char* out, size_t size);

// The minimum age of a rating byte, or -1 where it is none (0, and the broadcaster's own).
int MinimumAge(uint8_t rating);
