// ScriptSplitter - cuts a script into statements.
//
// A statement ends at the current terminator (";" at first). The terminator
// counts only outside "--" line comments, slash-star block comments, '...'
// literals and "..." identifiers (both with doubled quotes inside) and
// Q-strings (q'{...}', q'[...]', q'(...)', q'<...>', any other character
// closing itself). SET TERM x and SET TERMINATOR x, ended by the current
// terminator, change it; they are handed out as their own kind of statement.
// Comments and blanks in front of a statement are dropped, blanks after it
// too; a statement of nothing but comments and blanks is skipped. A last
// statement without a terminator is handed out as well. Line breaks may be
// LF, CR LF or a lone CR. The splitter works on bytes: every character set
// Firebird connects with keeps the ASCII bytes of quotes and terminators.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace sqlscript {

struct Statement {
  enum class Kind { Sql, SetTerm };
  Kind Type = Kind::Sql;
  std::string Text;    // the statement without its terminator
  int Line = 0;        // line of the statement's first character, from 1
  std::string NewTerm; // SetTerm: the new terminator
};

class ScriptSplitter {
public:
  // A UTF-8 byte order mark at the start, which editors put there, is not
  // part of the first statement.
  explicit ScriptSplitter(std::string_view Script) : s_(Script) {
    if (s_.substr(0, 3) == "\xEF\xBB\xBF") pos_ = 3;
  }

  // The next statement; false at the end of the script.
  bool Next(Statement& Out);

  const std::string& Terminator() const { return term_; }

private:
  // Moves past one line break at pos_ (CR LF counts once) and counts it.
  void SkipBreak();
  // Moves past comments and blanks (an unclosed comment runs to the end).
  void SkipBlanksAndComments();
  // Moves past the quoted or commented token that starts at pos_, if any;
  // true when one was skipped.
  bool SkipToken();

  std::string_view s_;
  std::size_t pos_ = 0;
  int line_ = 1;
  std::string term_ = ";";
};

// True when Text, ignoring letter case, begins with the words given (each
// separated from the next by blanks or line breaks) and the last one is
// followed by a blank, a line break or the end. Rest receives what follows,
// without leading blanks.
bool StartsWithWords(std::string_view Text, std::initializer_list<std::string_view> Words,
                     std::string_view* Rest = nullptr);

} // namespace sqlscript
