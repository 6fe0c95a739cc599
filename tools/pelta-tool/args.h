// Command-line number parsing shared by pelta-tool's subcommands.
#pragma once

#include <cerrno>
#include <cstdlib>

// A whole argument as a number (decimal, 0x hex or 0 octal) within [min_value, max_value].
inline bool ParseLong(const char* s, long min_value, long max_value, long* out) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(s, &end, 0);
  if (end == s || *end != '\0' || errno != 0 || v < min_value || v > max_value) return false;
  *out = v;
  return true;
}
