// sqlscript_run - runs one script file through the script engine library.
//
//   sqlscript_run CONNECTSTRING FILE
//
// Writes the error text of every failing statement to standard output as
// the engine reports it (CR LF made LF), each followed by the statement's
// first line and an empty line, and the closing summary to standard error.
// The exit code is 0 when no statement failed, 1 when some did and 2 when
// the connection failed.
#include "sqlscript.h"

#include <cstdio>
#include <string>

namespace {

std::string Unix(const char* t) {
  std::string s;
  for (const char* p = t; *p; ++p)
    if (!(*p == '\r' && p[1] == '\n')) s += *p;
  return s;
}

int32_t SQLSCRIPT_CALL OnConnectError(const char* Text) {
  std::fprintf(stderr, "%s\n", Unix(Text).c_str());
  return 0;
}

int32_t SQLSCRIPT_CALL OnStatementError(const char* Statement, const char* Text) {
  std::string first(Statement);
  first = first.substr(0, first.find_first_of("\r\n"));
  std::printf("%s\nStatement: %s\n\n", Unix(Text).c_str(), first.c_str());
  return 0;
}

int32_t SQLSCRIPT_CALL OnMessage(int32_t Kind, const char* Text) {
  if (Kind == SQLSCRIPT_MSG_SUMMARY) std::fprintf(stderr, "%s\n", Text);
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s CONNECTSTRING FILE\n", argv[0]);
    return 2;
  }
  if (Connect(argv[1], OnConnectError) != 0) return 2;
  int failures = ExecScriptFile(argv[2], OnStatementError, OnMessage, nullptr);
  std::fflush(stdout);
  return failures == 0 ? 0 : 1;
}
