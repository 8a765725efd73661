// SqlScriptTest - uSqlScript without a database server: the order of the checks and their
// messages, the library held for exactly one run, the connect string, the
// callbacks of the two error modes, and the connection character set.
// The real engine library lies beside this test program; a stand-in engine
// is used only where a test must make the engine misbehave.
#include "os/OsLayer.h"
#include "sqlscript.h"
#include "uSqlScript.h"

#include "SystemDoubles.h"
#include "TestHosts.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

std::string Fails(const std::function<void()>& f) { return MessageOf<EScriptError>(f); }

// The native system, counting library handles; a name in Missing makes the
// library or export of that name absent, Replace stands in for an export.
class LibrarySys : public os::Api {
public:
  int Opened = 0, Closed = 0;
  std::vector<std::string> MissingSymbols;
  bool LibraryMissing = false;
  std::vector<std::pair<std::string, void*>> Replace;

  os::LibraryHandle OpenLibrary(const std::string& name, os::Status& why) override {
    if (LibraryMissing) {
      why = Injected("LoadLibraryW", name);
      return nullptr;
    }
    os::LibraryHandle h = os::Api::OpenLibrary(name, why);
    if (h) ++Opened;
    return h;
  }
  void* LibrarySymbol(os::LibraryHandle lib, const std::string& name) override {
    for (const std::string& m : MissingSymbols)
      if (m == name) return nullptr;
    for (auto& r : Replace)
      if (r.first == name) return r.second;
    return os::Api::LibrarySymbol(lib, name);
  }
  void CloseLibrary(os::LibraryHandle lib) override {
    if (lib) ++Closed;
    os::Api::CloseLibrary(lib);
  }
};

const std::string kLib = "no-such-fbclient.dll";

TEST(SqlScript, ChecksComeInOrderBeforeTheLibraryIsLoaded) {
  TempDir dir;
  const std::string missing = dir.File("нет.sql");
  struct Case {
    bool IsText;
    std::string Lib, Db, User, Password, Script;
    std::string Expected;
  };
  const Case cases[] = {
      {true, " ", "", "", "", "", "Не задана клиентская библиотека!"},
      {true, kLib, "\t", "", "", "", "Не задана база данных!"},
      {true, kLib, "db", " ", "", "", "Не задано имя пользователя!"},
      {true, kLib, "db", "SYSDBA", "   ", "select 1", "Не задан пароль!"},
      {true, kLib, "db", "SYSDBA", "pw", " \r\n ", "Скрипт пустой!"},
      {false, kLib, "db", "SYSDBA", "pw", "  ", "Не задан файл скрипта!"},
      {false, kLib, "db", "SYSDBA", "pw", " " + missing + " ", "Файл скрипта \"" + missing + "\" не найден!"},
  };
  for (const Case& c : cases) {
    LibrarySys sys;
    os::ScopedApi use(sys);
    TScriptLog log;
    EXPECT_EQ(Fails([&] { RunScript(c.IsText, c.Lib, c.Db, c.User, "UTF8", c.Password, "", c.Script, &log, 0); }),
              c.Expected);
    EXPECT_EQ(sys.Opened, 0) << c.Expected;
    EXPECT_TRUE(log.empty());
  }
}

TEST(SqlScript, LibraryFailuresAreNamedAndTheLibraryIsAlwaysUnloaded) {
  struct Case {
    bool LibraryMissing;
    std::vector<std::string> MissingSymbols;
    bool IsText;
    std::string Expected;
  };
  const Case cases[] = {
      {true, {}, true, "Невозможно загрузить библиотеку \"sqlscript.dll\"!" +
                              InjectedCause("LoadLibraryW", os::SharedLibraryFileName("sqlscript"))},
      {false, {"Connect"}, true, "В библиотеке \"sqlscript.dll\" не найдена функция \"Connect\"!"},
      {false, {"ExecScriptText"}, true, "В библиотеке \"sqlscript.dll\" не найдена функция! (ExecScriptText)"},
      {false, {"ExecScriptFile"}, false, "В библиотеке \"sqlscript.dll\" не найдена функция! (ExecScriptFile)"},
  };
  TempDir dir;
  const std::string file = dir.File("s.sql");
  ASSERT_TRUE(os::Sys().WriteFile(file, "select 1 from rdb$database;", false));
  for (const Case& c : cases) {
    LibrarySys sys;
    sys.LibraryMissing = c.LibraryMissing;
    sys.MissingSymbols = c.MissingSymbols;
    os::ScopedApi use(sys);
    EXPECT_EQ(Fails([&] { RunScript(c.IsText, kLib, "db", "SYSDBA", "UTF8", "pw", "", c.IsText ? "select 1" : file,
                                    nullptr, 0); }),
              c.Expected);
    EXPECT_EQ(sys.Opened, sys.Closed) << c.Expected;
  }
}

TEST(SqlScript, TheRealEngineReportsAClientLibraryItCannotLoad) {
  LibrarySys sys;
  os::ScopedApi use(sys);
  TScriptLog log;
  const std::string m = Fails([&] { RunScriptText(kLib, "db", "SYSDBA", "UTF8", "pw", "", "select 1", &log, 1); });
  EXPECT_EQ(m.rfind("Ошибка подключения к базе данных!\rThe client library \"" + kLib + "\" cannot be loaded", 0), 0u)
      << m;
  EXPECT_EQ(ScriptErrorText, m.substr(m.find('\r') + 1));
  EXPECT_EQ(sys.Opened, 1);
  EXPECT_EQ(sys.Closed, 1);
}

std::vector<std::string> engineErrors;
int32_t SQLSCRIPT_CALL RecordStatementError(const char*, const char* e) {
  engineErrors.push_back(e);
  return 0;
}

TEST(SqlScriptEngineFile, TakesItsFileNameInUtf8) {
#ifdef _WIN32
  const char* name = "sqlscript.dll";
#else
  const char* name = "libsqlscript.so";
#endif
  const os::Library lib = os::Sys().LoadSharedLibrary(name);
  ASSERT_TRUE(lib) << lib.Why().Failure().Text;
  auto exec = reinterpret_cast<decltype(&::ExecScriptFile)>(os::Sys().Symbol(lib, "ExecScriptFile"));
  ASSERT_NE(exec, nullptr);
  TempDir dir;
  const std::string file = dir.File("Скрипт обновления.sql");
  ASSERT_TRUE(os::Sys().WriteFile(file, "select 1 from rdb$database;", false));
  // The file is read before the missing connection is noticed.
  engineErrors.clear();
  EXPECT_EQ(exec(file.c_str(), RecordStatementError, nullptr, nullptr), -1);
  EXPECT_EQ(engineErrors, std::vector<std::string>{"Not connected to a database"});
  engineErrors.clear();
  EXPECT_EQ(exec((file + "x").c_str(), RecordStatementError, nullptr, nullptr), -1);
  // The system's cause follows: the call and the file, then its error.
  ASSERT_EQ(engineErrors.size(), 1u);
  const std::string opened = "The script file \"" + file + "x\" cannot be opened: ";
  EXPECT_EQ(engineErrors[0].substr(0, opened.size()), opened);
  EXPECT_NE(engineErrors[0].find(" \"" + file + "x\": ", opened.size()), std::string::npos) << engineErrors[0];
}

// A stand-in engine that records what it was given and answers as a test
// tells it.
struct StandIn {
  std::string ConnectString;
  int32_t ConnectResult = 0;
  const char* ConnectError = nullptr;
  std::string Script;
  TStatementErrorProc OnError = nullptr;
  TMessageProc OnMessage = nullptr;
  TResultProc OnResult = nullptr;
  std::function<void()> During; // runs inside the script call
} standIn;

int32_t SQLSCRIPT_CALL StandInConnect(const char* cs, TConnectErrorProc onError) {
  standIn.ConnectString = cs;
  if (standIn.ConnectError) onError(standIn.ConnectError);
  return standIn.ConnectResult;
}
int32_t SQLSCRIPT_CALL StandInExec(const char* script, TStatementErrorProc e, TMessageProc m, TResultProc r) {
  standIn.Script = script;
  standIn.OnError = e;
  standIn.OnMessage = m;
  standIn.OnResult = r;
  if (standIn.During) standIn.During();
  return 0;
}

class WithStandIn : public ::testing::Test {
protected:
  void SetUp() override {
    standIn = StandIn{};
    sys_.Replace = {{"Connect", reinterpret_cast<void*>(&StandInConnect)},
                    {"ExecScriptText", reinterpret_cast<void*>(&StandInExec)},
                    {"ExecScriptFile", reinterpret_cast<void*>(&StandInExec)}};
  }
  LibrarySys sys_;
  os::ScopedApi use_{sys_};
};

TEST_F(WithStandIn, TheConnectStringIsBuiltItemByItemWithValuesUntrimmed) {
  RunScriptText("fbclient.dll", "localhost/3051:C:\\Db\\T.FDB", "SYSDBA", "WIN1251", " pass ", "", "  select 1  ",
                nullptr, 0);
  EXPECT_EQ(standIn.ConnectString,
            "db_name=localhost/3051:C:\\Db\\T.FDB; password= pass ; user_name=SYSDBA; lc_ctype=WIN1251; "
            "sql_role_name=; sql_dialect=3; clientlib=\"fbclient.dll\"");
  EXPECT_EQ(standIn.Script, "select 1");
  EXPECT_EQ(sys_.Opened, 1);
  EXPECT_EQ(sys_.Closed, 1);
}

// The engine starts a new item at every ";" that blanks and an item's name
// with "=" follow: a value holding such a text would give the engine another
// database, user or client library. Such a value is refused before the
// engine is loaded; a password is never quoted in the message.
TEST_F(WithStandIn, AValueThatWouldStartAnotherItemIsRefused) {
  struct Case {
    const char* What;
    std::string Lib, Db, User, Password, Role;
    std::string Expected;
  };
  const std::string sep = "\", которым разделяются параметры подключения!";
  const Case cases[] = {
      {"a password naming another database", "l", "live", "u", "pw; db_name=localhost:/other.fdb", "",
       "Пароль содержит \";\" перед именем параметра подключения и \"=\": так разделяются параметры подключения!"},
      {"without blanks, in another letter case", "l", "live", "u", "pw;USER_NAME=x", "",
       "Пароль содержит \";\" перед именем параметра подключения и \"=\": так разделяются параметры подключения!"},
      {"a location", "l", "localhost/3051:C:\\Data; db_name=D:\\other\\T.FDB", "u", "pw", "",
       "Путь к базе данных \"localhost/3051:C:\\Data; db_name=D:\\other\\T.FDB\" содержит \"; db_name=" + sep},
      {"a user", "l", "live", "SYSDBA;\tpassword=", "pw", "",
       "Имя пользователя \"SYSDBA;\tpassword=\" содержит \";\tpassword=" + sep},
      {"a role", "l", "live", "u", "pw", "r; clientlib=\"x.dll\"",
       "Имя роли \"r; clientlib=\"x.dll\"\" содержит \"; clientlib=" + sep},
      {"a client library", "fb.dll; lc_ctype=NONE", "live", "u", "pw", "",
       "Клиентская библиотека \"fb.dll; lc_ctype=NONE\" содержит \"; lc_ctype=" + sep},
  };
  for (const Case& c : cases) {
    standIn = StandIn{};
    EXPECT_EQ(Fails([&] { RunScriptText(c.Lib, c.Db, c.User, "UTF8", c.Password, c.Role, "select 1", nullptr, 0); }),
              c.Expected)
        << c.What;
    EXPECT_EQ(standIn.ConnectString, "") << c.What << ": the engine was given the values";
  }
  EXPECT_EQ(sys_.Opened, 0);
  // A ";" or "=" that starts no item is an ordinary character.
  RunScriptText("l", "C:\\a;b\\T.FDB", "u", "UTF8", "p;w=x; passwords=y;", "", "select 1", nullptr, 0);
  EXPECT_EQ(standIn.ConnectString, "db_name=C:\\a;b\\T.FDB; password=p;w=x; passwords=y;; user_name=u; lc_ctype=UTF8; "
                                   "sql_role_name=; sql_dialect=3; clientlib=\"l\"");
}

// A quote in the client library's name is doubled, as the engine reads it.
TEST_F(WithStandIn, AQuoteInTheClientLibraryIsDoubled) {
  RunScriptText("dir/fb\"x\".so", "d", "u", "UTF8", "p", "", "select 1", nullptr, 0);
  EXPECT_EQ(standIn.ConnectString.substr(standIn.ConnectString.find("clientlib=")), "clientlib=\"dir/fb\"\"x\"\".so\"");
}

TEST_F(WithStandIn, AConnectErrorCountsEvenWhenConnectSaysZero) {
  standIn.ConnectError = "attach refused";
  EXPECT_EQ(Fails([] { RunScriptText("l", "d", "u", "UTF8", "p", "", "select 1", nullptr, 0); }),
            "Ошибка подключения к базе данных!\rattach refused");
  EXPECT_EQ(standIn.Script, "") << "no script after a failed connect";
  standIn = StandIn{};
  standIn.ConnectResult = 1;
  EXPECT_EQ(Fails([] { RunScriptText("l", "d", "u", "UTF8", "p", "", "select 1", nullptr, 0); }),
            "Ошибка подключения к базе данных!\r");
  EXPECT_EQ(sys_.Opened, sys_.Closed);
}

TEST_F(WithStandIn, AConnectErrorIsUtf8WhateverTheCharacterSet) {
  const std::string r = "\xEF\xBF\xBD"; // U+FFFD
  struct {
    const char* Reported;
    std::string Expected;
  } cases[] = {
      {"\"C:\\Тамбер\\T.FDB\"", "\"C:\\Тамбер\\T.FDB\""},
      {"\"C:\\\xD2\xE0\xEC\\T.FDB\"", "\"C:\\" + r + r + r + "\\T.FDB\""},
  };
  for (const auto& c : cases) {
    for (const char* charSet : {"WIN1251", "UTF8", "NONE"}) {
      standIn.ConnectError = c.Reported;
      EXPECT_EQ(Fails([&] { RunScriptText("l", "d", "u", charSet, "p", "", "select 1", nullptr, 0); }),
                "Ошибка подключения к базе данных!\r" + c.Expected)
          << charSet;
    }
  }
}

TEST_F(WithStandIn, TheErrorModeChoosesTheCallbacks) {
  RecordingHost host;
  ScopedHost useHost(host);
  int& pumps = host.PendingMessageCalls;
  TScriptLog log;
  standIn.During = [] {
    EXPECT_EQ(standIn.OnMessage(1, "note"), 0);
    EXPECT_EQ(standIn.OnResult(7, 1), 0);
    EXPECT_EQ(standIn.OnResult(7, 0), 0);
  };
  RunScriptText("l", "d", "u", "UTF8", "p", "", "select 1", &log, 0);
  EXPECT_TRUE(log.empty()) << "mode 0 keeps messages out of the log";
  EXPECT_EQ(pumps, 0);

  standIn.During = [] {
    EXPECT_EQ(standIn.OnMessage(1, "note"), 0);
    EXPECT_EQ(standIn.OnResult(7, 1), 0); // go on
    EXPECT_EQ(standIn.OnResult(7, 0), 1); // stop
    EXPECT_EQ(standIn.OnResult(7, 2), 1);
  };
  RunScriptText("l", "d", "u", "UTF8", "p", "", "select 1", &log, 1);
  EXPECT_EQ(log, TScriptLog{"note"});
  EXPECT_EQ(pumps, 1);

  // Without a log the message callback still lets the window work.
  RunScriptText("l", "d", "u", "UTF8", "p", "", "select 1", nullptr, 1);
  EXPECT_EQ(pumps, 2);
  EXPECT_EQ(ScriptLog, nullptr);
}

TEST_F(WithStandIn, StatementErrorsGiveFourLogLinesAndTheLastReport) {
  RecordingHost host;
  ScopedHost useHost(host);
  int& pumps = host.PendingMessageCalls;
  standIn.During = [] {
    EXPECT_EQ(standIn.OnError("insert into t values (1)", "first error"), 0);
    EXPECT_EQ(standIn.OnError("EXECUTE PROCEDURE CHECK_VERSIO(106, 1)", "~wrong version~"), 0);
  };
  TScriptLog log{"earlier line"};
  RunScriptText("l", "d", "u", "UTF8", "p", "", "x", &log, 0);
  EXPECT_EQ(log, (TScriptLog{"earlier line", "------- STATEMENT --------", "insert into t values (1)",
                             "-------   ERROR   --------", "first error", "------- STATEMENT --------",
                             "EXECUTE PROCEDURE CHECK_VERSIO(106, 1)", "-------   ERROR   --------",
                             "~wrong version~"}));
  EXPECT_EQ(pumps, 2);
  const std::string report =
      "\rВероятно, имеет место несоответствие между версией обновления и версией обновляемой базы данных!\r\r"
      "-------   ERROR   --------\r~wrong version~\r\r------- STATEMENT --------\rEXECUTE PROCEDURE "
      "CHECK_VERSIO(106, 1)";
  EXPECT_EQ(ScriptErrorText, report);

  // Mode 1 raises the report; without a log only the report is built.
  standIn.During = [] { standIn.OnError("select x", "bad column"); };
  EXPECT_EQ(Fails([] { RunScriptText("l", "d", "u", "UTF8", "p", "", "x", nullptr, 1); }),
            "Ошибка применения скрипта!\r-------   ERROR   --------\rbad column\r\r------- STATEMENT --------\rselect x");
  EXPECT_EQ(pumps, 2);
}

TEST(SqlScriptCharset, Win1251IsConvertedBothWaysOtherSetsPass) {
  const std::string utf8 = "Привет, Ёжик! № 5 «кв» €";
  const std::string cp1251 = "\xCF\xF0\xE8\xE2\xE5\xF2, \xA8\xE6\xE8\xEA! \xB9 5 \xAB\xEA\xE2\xBB \x88";
  EXPECT_EQ(ToConnectionCharset(utf8, "WIN1251"), cp1251);
  EXPECT_EQ(FromConnectionCharset(cp1251, "win1251"), utf8);
  EXPECT_EQ(ToConnectionCharset("日本 ok", "WIN1251"), "?? ok");
  EXPECT_EQ(ToConnectionCharset("\xFF\xC3", "WIN1251"), "??") << "broken UTF-8";
  EXPECT_EQ(ToConnectionCharset(utf8, "UTF8"), utf8);
  EXPECT_EQ(FromConnectionCharset(utf8, "UTF8"), utf8);
}

} // namespace
