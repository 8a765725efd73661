// SqlScriptServerTest - uSqlScript with the real engine against the private Firebird server: the
// update run's own scripts on a database that defines check_project and
// Check_Versio, WIN1251 and UTF8 connections, files and failures; and the
// server's messages in every report of uSqlScript.
#include "FbTestServer.h"
#include "uSqlScript.h"

#include "TestHosts.h"

#include <gtest/gtest.h>

#include <clocale>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

const char kProjectDdl[] =
    "create exception e_project 'Файл базы данных не того проекта';\n"
    "create exception e_version 'Проверка версии: ~База версии 105, обновление 106~';\n"
    "set term ^ ;\n"
    "create procedure check_project (p char(1)) as\n"
    "begin\n  if (p <> 'G') then exception e_project;\nend^\n"
    "create procedure Check_Versio (v integer, s integer) as\n"
    "begin\n  if (v <> 105) then exception e_version;\nend^\n"
    "set term ; ^\n";

std::string Fails(const std::function<void()>& f) { return MessageOf<EScriptError>(f); }

// The text between the first two "~", as the update run shows it.
std::string BetweenTildes(const std::string& s) {
  std::string::size_type a = s.find('~');
  std::string::size_type b = a == std::string::npos ? a : s.find('~', a + 1);
  return b == std::string::npos ? std::string() : s.substr(a + 1, b - a - 1);
}

class ProjectDb : public ::testing::Test {
protected:
  void SetUp() override {
    path_ = fbtest::CreateDatabase("project_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + ".fdb", "WIN1251");
    const std::string out = fbtest::Isql(path_, kProjectDdl);
    ASSERT_EQ(out, "");
    db_ = fbtest::Connection(path_);
  }
  void Text(const std::string& script, const std::string& charset, std::uint8_t mode = 0) {
    RunScriptText(fbtest::ClientLib(), db_, "SYSDBA", charset, fbtest::Password(), "", script, &log_, mode);
  }
  std::string path_, db_;
  TScriptLog log_;
};

TEST_F(ProjectDb, TheProjectCheckWritesNothingForItsOwnProjectAndAReportOtherwise) {
  Text("execute procedure check_project('G')", "WIN1251");
  EXPECT_EQ(log_, TScriptLog{});
  EXPECT_EQ(ScriptErrorText, "");

  Text("execute procedure check_project('C')", "WIN1251");
  ASSERT_EQ(log_.size(), 4u);
  EXPECT_EQ(log_[0], "------- STATEMENT --------");
  EXPECT_EQ(log_[1], "execute procedure check_project('C')");
  EXPECT_EQ(log_[2], "-------   ERROR   --------");
  EXPECT_NE(log_[3].find("SQLSTATE = HY000"), std::string::npos) << log_[3];
  EXPECT_NE(log_[3].find("Файл базы данных не того проекта"), std::string::npos) << log_[3];
}

TEST_F(ProjectDb, AFailingVersionCheckGetsTheHintAndKeepsTheTextBetweenTildes) {
  const std::string script = "execute procedure Check_Versio(106, 1); commit;";
  Text(script, "WIN1251");
  ASSERT_EQ(log_.size(), 4u);
  EXPECT_EQ(log_[1], "execute procedure Check_Versio(106, 1)");
  const std::string hint =
      "\rВероятно, имеет место несоответствие между версией обновления и версией обновляемой базы данных!\r\r";
  EXPECT_EQ(ScriptErrorText.rfind(hint + "-------   ERROR   --------\r", 0), 0u) << ScriptErrorText;
  EXPECT_EQ(BetweenTildes(ScriptErrorText), "База версии 105, обновление 106");

  const std::string raised = Fails([&] { Text(script, "WIN1251", 1); });
  EXPECT_EQ(raised.rfind("Ошибка применения скрипта!\r" + hint, 0), 0u) << raised;

  log_.clear();
  Text("execute procedure Check_Versio(105, 1); commit;", "UTF8");
  EXPECT_EQ(log_, TScriptLog{});
}

TEST_F(ProjectDb, TwoFailuresInOneRunGiveEightLinesAndTheSecondReport) {
  Text("execute procedure check_project('M');\nselect 1 from rdb$database;\nexecute procedure Check_Versio(1, 1)",
       "UTF8");
  ASSERT_EQ(log_.size(), 8u);
  EXPECT_EQ(log_[1], "execute procedure check_project('M')");
  EXPECT_EQ(log_[5], "execute procedure Check_Versio(1, 1)");
  EXPECT_NE(ScriptErrorText.find("------- STATEMENT --------\rexecute procedure Check_Versio(1, 1)"), std::string::npos);
  EXPECT_EQ(ScriptErrorText.find("check_project"), std::string::npos) << "only the last report is kept";
}

TEST_F(ProjectDb, TheCollationScriptFailsOnFirebird3AsIsqlSays) {
  // Firebird 3 refuses updates of system tables that Firebird 2 allowed;
  // the engine reports the server's refusal like isql-fb does.
  const std::string script =
      "update rdb$character_sets set rdb$default_collate_name = 'UNICODE' where rdb$character_set_name = 'UTF8' "
      "and rdb$default_collate_name = 'UTF8'; commit;";
  Text(script, "UTF8");
  ASSERT_EQ(log_.size(), 4u);
  EXPECT_NE(log_[3].find("SQLSTATE = 42000"), std::string::npos);
  const std::string peer = fbtest::Isql(path_, script + std::string("\n"));
  EXPECT_NE(peer.find("SQLSTATE = 42000"), std::string::npos) << peer;
  const std::string message = log_[3].substr(log_[3].find("\r\n") + 2);
  EXPECT_NE(peer.find(message), std::string::npos) << message << " vs " << peer;
}

TEST_F(ProjectDb, ScriptFilesRunFromFoldersWithCyrillicNames) {
  TempDir dir;
  const std::string folder = dir.File("Обновление");
  ASSERT_TRUE(os::Sys().CreateDirectories(folder));
  const std::string file = folder + "/script.sql";
  std::ofstream(file, std::ios::binary) << "create table \"НОВАЯ\" (\"ИМЯ\" varchar(20));\n"
                                           "insert into \"НОВАЯ\" values ('Ёлка');\n"
                                           "set term ^ ;\n"
                                           "create procedure p_count returns (n integer) as\n"
                                           "begin select count(*) from \"НОВАЯ\" into :n; suspend; end^\n"
                                           "set term ; ^\n";
  RunScriptFile(fbtest::ClientLib(), db_, "SYSDBA", "UTF8", fbtest::Password(), "", file, &log_, 0);
  EXPECT_EQ(log_, TScriptLog{});
  const std::string out = fbtest::Isql(path_, "set list on;\nselect \"ИМЯ\", (select n from p_count) as n from \"НОВАЯ\";\n");
  EXPECT_NE(out.find("Ёлка"), std::string::npos) << out;
  EXPECT_NE(out.find("N                               1"), std::string::npos) << out;
}

TEST_F(ProjectDb, AWrongPasswordIsAConnectionError) {
  const std::string m = Fails([&] {
    RunScriptText(fbtest::ClientLib(), db_, "SYSDBA", "WIN1251", "wrong", "", "select 1 from rdb$database", &log_, 0);
  });
  EXPECT_EQ(m.rfind("Ошибка подключения к базе данных!\rYour user name and password are not defined", 0), 0u) << m;
  EXPECT_EQ(log_, TScriptLog{});
}

// A password that would name another database in the engine's connect
// string reaches neither database: the run is refused before it connects.
TEST_F(ProjectDb, APasswordThatNamesAnotherDatabaseReachesNoDatabase) {
  const std::string other = fbtest::CreateDatabase("project_other.fdb", "WIN1251");
  const std::string m = Fails([&] {
    RunScriptText(fbtest::ClientLib(), db_, "SYSDBA", "WIN1251", fbtest::Password() + "; db_name=" + fbtest::Connection(other),
                  "", "create table injected (i integer)", &log_, 0);
  });
  EXPECT_EQ(m.rfind("Пароль содержит \";\"", 0), 0u) << m;
  EXPECT_EQ(m.find(fbtest::Password()), std::string::npos) << m;
  const std::string count = "set heading off; select count(*) from rdb$relations where rdb$relation_name = 'INJECTED';\n";
  for (const std::string& db : {path_, other})
    EXPECT_EQ(fbtest::Isql(db, count).find("1"), std::string::npos) << db << ": the script ran there";
}

// A server message that quotes a path with Cyrillic letters reads as the
// path was given in every report: the connect error of a script run in
// either character set, and the client's failures in the database
// administration.
TEST(ServerMessagesWithPaths, QuoteACyrillicPathAsItWasGivenInEveryReport) {
  // The Firebird 3 client reads a file name in the character set of the C
  // library's locale, which is ASCII in the "C" locale a program starts in.
  const std::string before = std::setlocale(LC_CTYPE, nullptr);
  if (!std::setlocale(LC_CTYPE, "C.UTF-8")) GTEST_SKIP() << "no C.UTF-8 locale";
  struct Restore {
    std::string Locale;
    ~Restore() { std::setlocale(LC_CTYPE, Locale.c_str()); }
  } restore{before};
  const std::string path = fbtest::Root() + "/data/Тамбер/нет.fdb"; // the folder does not exist
  const std::string db = fbtest::Connection(path);
  const std::string lib = fbtest::ClientLib(), pw = fbtest::Password();
  std::vector<std::string> users;
  const struct {
    const char* Name;
    std::function<void()> Call;
  } cases[] = {
      {"WIN1251 script run",
       [&] { RunScriptText(lib, db, "SYSDBA", "WIN1251", pw, "", "select 1 from rdb$database", nullptr, 0); }},
      {"UTF8 script run", [&] { RunScriptText(lib, db, "SYSDBA", "UTF8", pw, "", "select 1 from rdb$database", nullptr, 0); }},
      {"attached users", [&] { GetAttachedUsers(lib, db, "SYSDBA", pw, "", users); }},
      {"shutdown", [&] { DatabaseShutdown(lib, db, "SYSDBA", pw); }},
      {"online", [&] { DatabaseOnline(lib, db, "SYSDBA", pw); }},
  };
  for (const auto& c : cases) {
    std::string m = "<no error>";
    try {
      c.Call();
    } catch (const std::exception& e) {
      m = e.what();
    }
    EXPECT_NE(m.find("I/O error during \"open\" operation for file \"" + path + "\""), std::string::npos)
        << c.Name << ": " << m;
  }
}

} // namespace
