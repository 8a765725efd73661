// SplitterTest - the statement splitter: one table of scripts and the statements expected
// from them. Terminators inside comments, literals, identifiers and
// Q-strings must not cut a statement; SET TERM changes the terminator.
#include "ScriptSplitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using sqlscript::ScriptSplitter;
using sqlscript::Statement;

// "T:x|text" marks a SET TERM statement with new terminator x.
std::vector<std::string> Split(const std::string& script) {
  ScriptSplitter sp(script);
  std::vector<std::string> out;
  Statement s;
  while (sp.Next(s))
    out.push_back(s.Type == Statement::Kind::SetTerm ? "T:" + s.NewTerm + "|" + s.Text : s.Text);
  return out;
}

struct Case {
  const char* Name;
  std::string Script;
  std::vector<std::string> Expected;
};

TEST(ScriptSplitter, CutsScriptsIntoStatements) {
  const std::vector<Case> cases = {
      {"two plain statements", "select 1 from rdb$database;\nselect 2 from rdb$database;\n",
       {"select 1 from rdb$database", "select 2 from rdb$database"}},
      {"terminators inside comments", "select /* ; */ -- ;\n1 from rdb$database;",
       {"select /* ; */ -- ;\n1 from rdb$database"}},
      {"leading comments are dropped", "-- header ;\n/* block ; */\n  insert into t values (1);",
       {"insert into t values (1)"}},
      {"literal and Q-string", "select ';' || q'{;}' from rdb$database;",
       {"select ';' || q'{;}' from rdb$database"}},
      {"Q-string delimiters", "select q'[a;]', q'(b;)', Q'<c;>', q'!d;!' from rdb$database;x;",
       {"select q'[a;]', q'(b;)', Q'<c;>', q'!d;!' from rdb$database", "x"}},
      {"a quote inside a Q-string", "select q'{it's; ok}' from rdb$database;",
       {"select q'{it's; ok}' from rdb$database"}},
      {"doubled quotes", "insert into t values ('it''s; fine');select 2;",
       {"insert into t values ('it''s; fine')", "select 2"}},
      {"quoted identifier with terminator", "create table \"a;b\" (\"x\"\"y;\" integer);",
       {"create table \"a;b\" (\"x\"\"y;\" integer)"}},
      {"missing final terminator", "select 1;\nexecute procedure check_project('G')",
       {"select 1", "execute procedure check_project('G')"}},
      {"the version check script", "execute procedure Check_Versio(106, 1); commit;",
       {"execute procedure Check_Versio(106, 1)", "commit"}},
      {"empty statements and a trailing comment", ";;select 1;; -- done\n", {"select 1"}},
      {"CR-only line ends", "-- a comment ;\rselect 1\r from rdb$database;\rselect 2;",
       {"select 1\r from rdb$database", "select 2"}},
      {"procedure body with SET TERM",
       "set term ^ ;\ncreate procedure p as begin\n  insert into t values (1);\n  exit;\nend^\nset term ; ^\nexecute procedure p;",
       {"T:^|set term ^", "create procedure p as begin\n  insert into t values (1);\n  exit;\nend",
        "T:;|set term ;", "execute procedure p"}},
      {"multi-character terminator, SET TERMINATOR and case",
       "SET TERMINATOR !! ;\nselect ';' from x!!\nselect 2 from y !! Set Term ; !!\nselect 3;",
       {"T:!!|SET TERMINATOR !!", "select ';' from x", "select 2 from y", "T:;|Set Term ;", "select 3"}},
      {"a terminator inside a literal of a procedure body",
       "set term # ;\ncreate procedure p as begin exception e '#;'; end#",
       {"T:#|set term #", "create procedure p as begin exception e '#;'; end"}},
      {"set termination words are not SET TERM", "set terms;settle 1;",
       {"set terms", "settle 1"}},
      {"unclosed literal takes the rest", "select 'abc; def;\nselect 2;", {"select 'abc; def;\nselect 2;"}},
      {"a byte order mark before the first statement", "\xEF\xBB\xBFselect 1;", {"select 1"}},
      {"blank script", " \r\n\t-- only a comment", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Split(c.Script), c.Expected) << c.Name;
}

TEST(ScriptSplitter, CountsLinesOfEachStatement) {
  ScriptSplitter sp("select 1;\r\n\r\n/* two\nlines */ select 2;\rselect\n3;");
  Statement s;
  std::vector<int> lines;
  while (sp.Next(s)) lines.push_back(s.Line);
  EXPECT_EQ(lines, (std::vector<int>{1, 4, 5}));
}

} // namespace
