// ASCII case folding, the same in every locale (a host process may have set
// its own): the names the system compares without case (cipher modes, text
// formats, processor feature names) are ASCII.
#pragma once

#include <string>

namespace orvo {

constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string AsciiLower(std::string text) {
  for (char& c : text) c = AsciiLower(c);
  return text;
}

}  // namespace orvo
