// The tests' two conversions between str and std::string, for comparing a
// result with what is expected and for building a str that holds any bytes,
// zero bytes included.
#pragma once

#include <stddef.h>

#include <string>

#include "lib/str.h"

// The bytes of s.
inline std::string text(const str& s) {
  return std::string(s.data(), static_cast<size_t>(s.length()));
}

// A str of the bytes of s; the empty string without buffer for "".
inline str bytes(const std::string& s) {
  return str(s.data(), static_cast<int>(s.size()));
}
