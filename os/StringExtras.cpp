// StringExtras - the shared text helpers (see StringExtras.h).
#include "os/StringExtras.h"

#include <algorithm>

namespace os {

std::string LowerAscii(std::string Text) {
  for (char& c : Text) c = LowerAscii(c);
  return Text;
}

std::string UpperAscii(std::string Text) {
  for (char& c : Text) c = UpperAscii(c);
  return Text;
}

bool EqualsIgnoringAsciiCase(std::string_view A, std::string_view B) {
  return A.size() == B.size() && CompareIgnoringAsciiCase(A, B) == 0;
}

int CompareIgnoringAsciiCase(std::string_view A, std::string_view B) {
  const std::size_t n = std::min(A.size(), B.size());
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char x = static_cast<unsigned char>(LowerAscii(A[i]));
    const unsigned char y = static_cast<unsigned char>(LowerAscii(B[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  return A.size() == B.size() ? 0 : (A.size() < B.size() ? -1 : 1);
}

std::string_view Trim(std::string_view Text) {
  while (!Text.empty() && static_cast<unsigned char>(Text.front()) <= ' ') Text.remove_prefix(1);
  while (!Text.empty() && static_cast<unsigned char>(Text.back()) <= ' ') Text.remove_suffix(1);
  return Text;
}

} // namespace os
