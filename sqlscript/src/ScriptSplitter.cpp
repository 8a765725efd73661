// ScriptSplitter - cuts a script into statements (see ScriptSplitter.h).
#include "ScriptSplitter.h"

#include "os/StringExtras.h"

#include <initializer_list>

namespace sqlscript {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

bool IsIdentChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$' || static_cast<unsigned char>(c) >= 0x80;
}

char QClose(char open) {
  switch (open) {
  case '{': return '}';
  case '[': return ']';
  case '(': return ')';
  case '<': return '>';
  default: return open;
  }
}

std::string_view TrimRight(std::string_view t) {
  while (!t.empty() && IsBlank(t.back())) t.remove_suffix(1);
  return t;
}

} // namespace

bool StartsWithWords(std::string_view Text, std::initializer_list<std::string_view> Words,
                     std::string_view* Rest) {
  std::size_t p = 0;
  bool first = true;
  for (std::string_view w : Words) {
    if (!first) {
      std::size_t b = p;
      while (p < Text.size() && IsBlank(Text[p])) ++p;
      if (p == b) return false;
    }
    first = false;
    if (Text.size() - p < w.size()) return false;
    for (std::size_t i = 0; i < w.size(); ++i)
      if (os::LowerAscii(Text[p + i]) != os::LowerAscii(w[i])) return false;
    p += w.size();
  }
  if (p < Text.size() && !IsBlank(Text[p])) return false;
  while (p < Text.size() && IsBlank(Text[p])) ++p;
  if (Rest) *Rest = Text.substr(p);
  return true;
}

void ScriptSplitter::SkipBreak() {
  if (s_[pos_] == '\r' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '\n') ++pos_;
  ++pos_;
  ++line_;
}

bool ScriptSplitter::SkipToken() {
  const std::size_t n = s_.size();
  const char c = s_[pos_];
  if (c == '-' && pos_ + 1 < n && s_[pos_ + 1] == '-') {
    while (pos_ < n && s_[pos_] != '\n' && s_[pos_] != '\r') ++pos_;
    return true;
  }
  if (c == '/' && pos_ + 1 < n && s_[pos_ + 1] == '*') {
    pos_ += 2;
    while (pos_ < n && !(s_[pos_] == '*' && pos_ + 1 < n && s_[pos_ + 1] == '/')) {
      if (s_[pos_] == '\r' || s_[pos_] == '\n') SkipBreak();
      else ++pos_;
    }
    pos_ = pos_ < n ? pos_ + 2 : n;
    return true;
  }
  if ((c == 'q' || c == 'Q') && pos_ + 2 < n && s_[pos_ + 1] == '\'' &&
      (pos_ == 0 || !IsIdentChar(s_[pos_ - 1]))) {
    const char close = QClose(s_[pos_ + 2]);
    pos_ += 3;
    while (pos_ < n && !(s_[pos_] == close && pos_ + 1 < n && s_[pos_ + 1] == '\'')) {
      if (s_[pos_] == '\r' || s_[pos_] == '\n') SkipBreak();
      else ++pos_;
    }
    pos_ = pos_ < n ? pos_ + 2 : n;
    return true;
  }
  if (c == '\'' || c == '"') {
    ++pos_;
    while (pos_ < n) {
      if (s_[pos_] == c) {
        if (pos_ + 1 < n && s_[pos_ + 1] == c) { pos_ += 2; continue; } // doubled quote
        ++pos_;
        return true;
      }
      if (s_[pos_] == '\r' || s_[pos_] == '\n') SkipBreak();
      else ++pos_;
    }
    return true; // not closed: the rest of the script belongs to it
  }
  return false;
}

void ScriptSplitter::SkipBlanksAndComments() {
  const std::size_t n = s_.size();
  while (pos_ < n) {
    const char c = s_[pos_];
    if (c == '\r' || c == '\n') SkipBreak();
    else if (IsBlank(c)) ++pos_;
    else if ((c == '-' && pos_ + 1 < n && s_[pos_ + 1] == '-') ||
             (c == '/' && pos_ + 1 < n && s_[pos_ + 1] == '*'))
      SkipToken();
    else break;
  }
}

bool ScriptSplitter::Next(Statement& Out) {
  const std::size_t n = s_.size();
  for (;;) {
    SkipBlanksAndComments();
    if (pos_ >= n) return false;
    const std::size_t start = pos_;
    const int startLine = line_;
    std::size_t end = n; // an unterminated last statement runs to the end
    while (pos_ < n) {
      if (s_.compare(pos_, term_.size(), term_) == 0) {
        end = pos_;
        pos_ += term_.size();
        break;
      }
      if (SkipToken()) continue;
      if (s_[pos_] == '\r' || s_[pos_] == '\n') SkipBreak();
      else ++pos_;
    }
    std::string_view text = TrimRight(s_.substr(start, end - start));
    if (text.empty()) continue; // a terminator on its own

    Out = Statement{};
    Out.Line = startLine;
    std::string_view rest;
    if (StartsWithWords(text, {"set", "term"}, &rest) || StartsWithWords(text, {"set", "terminator"}, &rest)) {
      std::size_t e = 0;
      while (e < rest.size() && !IsBlank(rest[e])) ++e;
      if (e > 0) {
        Out.Type = Statement::Kind::SetTerm;
        Out.Text = std::string(text);
        Out.NewTerm = std::string(rest.substr(0, e));
        term_ = Out.NewTerm;
        return true;
      }
    }
    Out.Text = std::string(text);
    return true;
  }
}

} // namespace sqlscript
