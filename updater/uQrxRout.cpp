// uQrxRout - stateless system routines (see uQrxRout.h).
#include "uQrxRout.h"

#include "os/OsLayer.h"

std::string IntToStr2(int Value) {
  std::string s = std::to_string(Value);
  if (s.size() == 1) return "0" + s;
  return s.substr(s.size() - 2);
}

int GetSystemLanguage() {
  // The primary language sits in the low bits of the identifier; the
  // languages compared here all fit into the low 8 bits.
  switch (os::Sys().SystemDefaultLangId() & 0xFF) {
  case 0x19: return 1; // Russian
  case 0x07: return 3; // German
  case 0x0C: return 4; // French
  default:   return 2; // English and every other language
  }
}

std::string ReplaceAll(const std::string& Text, const std::string& Pattern,
                       const std::string& Replacement) {
  if (Pattern.empty()) return Text;
  std::string result;
  result.reserve(Text.size());
  size_t from = 0;
  for (size_t at; (at = Text.find(Pattern, from)) != std::string::npos; from = at + Pattern.size()) {
    result.append(Text, from, at - from);
    result += Replacement;
  }
  result.append(Text, from, std::string::npos);
  return result;
}
