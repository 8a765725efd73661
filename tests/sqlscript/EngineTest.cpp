// EngineTest - the script engine library through its C entries, loaded as a host loads
// it, against the private Firebird server. isql-fb checks what the scripts
// left in the database.
#include "FbTestServer.h"
#include "sqlscript.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Record {
  std::vector<std::string> ConnectErrors;
  std::vector<std::pair<std::string, std::string>> StatementErrors;
  std::vector<std::pair<int, std::string>> Messages;
  std::vector<std::pair<int, int>> Results;
  int StopOnFailure = 0; // the result callback's answer to a failure
};
Record rec;

int32_t SQLSCRIPT_CALL OnConnectError(const char* t) { rec.ConnectErrors.push_back(t); return 0; }
int32_t SQLSCRIPT_CALL OnStatementError(const char* s, const char* e) {
  rec.StatementErrors.emplace_back(s, e);
  return 0;
}
int32_t SQLSCRIPT_CALL OnMessage(int32_t k, const char* t) { rec.Messages.emplace_back(k, t); return 0; }
int32_t SQLSCRIPT_CALL OnResult(int32_t n, int32_t ok) {
  rec.Results.emplace_back(n, ok);
  return ok ? 0 : rec.StopOnFailure;
}

bool Mapped(const std::string& part) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line))
    if (line.find(part) != std::string::npos) return true;
  return false;
}

class Engine : public ::testing::Test {
protected:
  void SetUp() override {
    rec = Record{};
    lib_ = dlopen(SQLSCRIPT_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib_, nullptr) << dlerror();
    connect_ = reinterpret_cast<decltype(&::Connect)>(dlsym(lib_, "Connect"));
    text_ = reinterpret_cast<decltype(&::ExecScriptText)>(dlsym(lib_, "ExecScriptText"));
    file_ = reinterpret_cast<decltype(&::ExecScriptFile)>(dlsym(lib_, "ExecScriptFile"));
    ASSERT_TRUE(connect_ && text_ && file_);
  }
  void TearDown() override { Unload(); }
  void Unload() {
    if (lib_) dlclose(lib_);
    lib_ = nullptr;
  }

  static std::string ConnectString(const std::string& db, const std::string& charset,
                                   const std::string& password = fbtest::Password(),
                                   const std::string& lib = fbtest::ClientLib()) {
    return "db_name=" + db + "; password=" + password + "; user_name=SYSDBA; lc_ctype=" + charset +
           "; sql_role_name=; sql_dialect=3; clientlib=\"" + lib + "\"";
  }
  int Run(const std::string& path, const std::string& script, const std::string& charset = "UTF8") {
    EXPECT_EQ(connect_(ConnectString(fbtest::Connection(path), charset).c_str(), OnConnectError), 0);
    EXPECT_EQ(rec.ConnectErrors, std::vector<std::string>{});
    return text_(script.c_str(), OnStatementError, OnMessage, OnResult);
  }

  void* lib_ = nullptr;
  decltype(&::Connect) connect_ = nullptr;
  decltype(&::ExecScriptText) text_ = nullptr;
  decltype(&::ExecScriptFile) file_ = nullptr;
};

TEST_F(Engine, ConnectFailuresAreReportedOnceWithTheReason) {
  const std::string db = fbtest::CreateDatabase("engine_connect.fdb");
  struct Case {
    std::string ConnectString;
    std::string Expected;
  };
  const Case cases[] = {
      {ConnectString(fbtest::Connection(db), "UTF8", "wrong"), "Your user name and password are not defined"},
      {ConnectString(fbtest::Connection(db + ".missing"), "UTF8"), "I/O error during \"open\" operation"},
      {ConnectString(fbtest::Connection(db), "UTF8", fbtest::Password(), "libnosuchclient.so"),
       "\"libnosuchclient.so\" cannot be loaded"},
      {"user_name=SYSDBA; clientlib=\"" + fbtest::ClientLib() + "\"", "no db_name"},
  };
  for (const Case& c : cases) {
    rec.ConnectErrors.clear();
    EXPECT_EQ(connect_(c.ConnectString.c_str(), OnConnectError), 1) << c.Expected;
    ASSERT_EQ(rec.ConnectErrors.size(), 1u) << c.Expected;
    EXPECT_NE(rec.ConnectErrors[0].find(c.Expected), std::string::npos) << rec.ConnectErrors[0];
  }
  // Without a connection a script is refused, not reported as done.
  EXPECT_EQ(text_("select 1 from rdb$database", OnStatementError, OnMessage, OnResult), -1);
  ASSERT_EQ(rec.StatementErrors.size(), 1u);
  EXPECT_EQ(rec.StatementErrors[0].second, "Not connected to a database");
}

int32_t SQLSCRIPT_CALL ThrowingConnectError(const char*) { throw std::runtime_error("host fault"); }
int32_t SQLSCRIPT_CALL ThrowingStatementError(const char*, const char*) { throw 42; }

TEST_F(Engine, AnExceptionFromAHostCallbackStaysInTheEngine) {
  EXPECT_EQ(connect_("user_name=SYSDBA; clientlib=\"x\"", ThrowingConnectError), 1);
  EXPECT_EQ(connect_(nullptr, ThrowingConnectError), 1);
  EXPECT_EQ(text_("select 1 from rdb$database", ThrowingStatementError, nullptr, nullptr), -1);
  EXPECT_EQ(file_("/no/such/script.sql", ThrowingStatementError, nullptr, nullptr), -1);
  EXPECT_EQ(file_(nullptr, ThrowingStatementError, nullptr, nullptr), -1);
  // A statement that fails during a run: the session still ends.
  const std::string db = fbtest::CreateDatabase("engine_throwing.fdb");
  ASSERT_EQ(connect_(ConnectString(fbtest::Connection(db), "UTF8").c_str(), OnConnectError), 0);
  EXPECT_EQ(text_("insert into nosuch values (1);", ThrowingStatementError, nullptr, nullptr), -1);
  EXPECT_EQ(fbtest::OtherAttachments(db), 0);
  // And the library goes on working.
  EXPECT_EQ(Run(db, "select 1 from rdb$database;"), 0);
}

TEST_F(Engine, RunsProceduresReportsEveryFailingStatementAndGoesOn) {
  const std::string db = fbtest::CreateDatabase("engine_procs.fdb");
  const std::string script =
      "create exception e_version 'Версия ~106~ не та';\n"
      "create table t (id integer primary key, name varchar(30));\n"
      "set term ^ ;\n"
      "create procedure add_row (id integer, name varchar(30)) as\n"
      "begin\n  insert into t values (:id, :name);\nend^\n"
      "create procedure fail_always as begin exception e_version; end^\n"
      "create procedure rows_of_t returns (id integer) as\n"
      "begin for select id from t into :id do suspend; end^\n"
      "set term ; ^\n"
      "execute procedure add_row(1, 'один');\n"
      "execute procedure fail_always;\n"
      "insert into t values (1, 'dup');\n"
      "select * from rows_of_t;\n"
      "execute procedure add_row(2, 'два')"; // no terminator: still executed
  EXPECT_EQ(Run(db, script), 2);

  ASSERT_EQ(rec.StatementErrors.size(), 2u);
  EXPECT_EQ(rec.StatementErrors[0].first, "execute procedure fail_always");
  EXPECT_EQ(rec.StatementErrors[0].second.rfind("Statement failed, SQLSTATE = HY000\r\nexception ", 0), 0u)
      << rec.StatementErrors[0].second;
  EXPECT_NE(rec.StatementErrors[0].second.find("\r\n-Версия ~106~ не та"), std::string::npos);
  EXPECT_EQ(rec.StatementErrors[1].first, "insert into t values (1, 'dup')");
  EXPECT_EQ(rec.StatementErrors[1].second.rfind("Statement failed, SQLSTATE = 23000\r\n"
                                                "violation of PRIMARY or UNIQUE KEY constraint",
                                                0),
            0u)
      << rec.StatementErrors[1].second;

  // One result per statement in script order, client commands included.
  ASSERT_EQ(rec.Results.size(), 12u);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(rec.Results[i].first, i + 1);
  EXPECT_EQ(rec.Results[8], std::make_pair(9, 0));
  EXPECT_EQ(rec.Results[9], std::make_pair(10, 0));
  ASSERT_FALSE(rec.Messages.empty());
  EXPECT_EQ(rec.Messages.back(), std::make_pair(int(SQLSCRIPT_MSG_SUMMARY), std::string("12 statements, 2 failed")));

  // What is left at the end is committed.
  EXPECT_NE(fbtest::Isql(db, "select list(name, ',') from (select name from t order by id);").find("один,два"),
            std::string::npos);
  EXPECT_EQ(fbtest::OtherAttachments(db), 0) << "the script call ends the session";
}

TEST_F(Engine, CommitAndRollbackActOnTheScriptTransactionAndDdlCommitsAtOnce) {
  const std::string db = fbtest::CreateDatabase("engine_tx.fdb");
  const std::string script =
      "create table t (id integer);\n"
      "insert into t values (1);\n"
      "rollback;\n"
      "insert into t values (2);\n"
      "commit retain;\n"
      "insert into t values (3);\n"
      "create table u (a integer);\n" // committed on its own, not with row 3
      "insert into u values (7);\n"
      "insert into u values (7);\n"
      "rollback work;\n"
      "insert into u values (8);\n"
      "insert into u values (8);\n"
      "commit work;\n"
      "create unique index ux on u (a);\n" // the duplicates surface when it commits
      "insert into t values (4);\n";
  EXPECT_EQ(Run(db, script), 1);
  ASSERT_EQ(rec.StatementErrors.size(), 1u);
  EXPECT_EQ(rec.StatementErrors[0].first, "create unique index ux on u (a)");
  EXPECT_NE(rec.StatementErrors[0].second.find("attempt to store duplicate value"), std::string::npos)
      << rec.StatementErrors[0].second;
  const std::string out = fbtest::Isql(db, "set list on;\nselect cast(list(id) as varchar(40)) as t_rows from t;\n"
                                           "select count(*) as u_rows from u;\n"
                                           "select count(*) as ux from rdb$indices where rdb$index_name = 'UX';\n");
  EXPECT_NE(out.find("T_ROWS                          2,4"), std::string::npos) << out;
  EXPECT_NE(out.find("U_ROWS                          2"), std::string::npos) << out;
  EXPECT_NE(out.find("UX                              0"), std::string::npos) << out;
}

TEST_F(Engine, AResultCallbackThatSaysStopEndsTheScriptAndRollsBack) {
  const std::string db = fbtest::CreateDatabase("engine_stop.fdb");
  fbtest::Isql(db, "create table t (id integer);\n");
  rec.StopOnFailure = 1;
  EXPECT_EQ(Run(db, "insert into t values (1);\ninsert into nosuch values (1);\ninsert into t values (2);\n"), 1);
  EXPECT_EQ(rec.Results, (std::vector<std::pair<int, int>>{{1, 1}, {2, 0}}));
  EXPECT_EQ(rec.Messages.back().second, "2 statements, 1 failed (stopped)");
  EXPECT_NE(fbtest::Isql(db, "set list on;\nselect count(*) as n from t;\n").find("N                               0"),
            std::string::npos);
}

TEST_F(Engine, ScriptFilesAreBytesInTheConnectionCharacterSet) {
  const std::string db = fbtest::CreateDatabase("engine_win1251.fdb", "WIN1251");
  fbtest::Isql(db, "create table t (s varchar(20));\n");
  // "Привет" in WIN1251, in a file whose UTF-8 name is Cyrillic too.
  const std::string file = fbtest::Root() + "/tmp/скрипт.sql";
  std::ofstream(file, std::ios::binary) << "insert into t values ('\xCF\xF0\xE8\xE2\xE5\xF2');\n";
  ASSERT_EQ(connect_(ConnectString(fbtest::Connection(db), "WIN1251").c_str(), OnConnectError), 0);
  EXPECT_EQ(file_(file.c_str(), OnStatementError, OnMessage, OnResult), 0);
  EXPECT_TRUE(rec.StatementErrors.empty());
  EXPECT_NE(fbtest::Isql(db, "select s from t;\n").find("Привет"), std::string::npos);

  // A file that cannot be read is reported and ends the session.
  ASSERT_EQ(connect_(ConnectString(fbtest::Connection(db), "WIN1251").c_str(), OnConnectError), 0);
  EXPECT_EQ(file_((file + ".missing").c_str(), OnStatementError, OnMessage, OnResult), -1);
  ASSERT_EQ(rec.StatementErrors.size(), 1u);
  EXPECT_NE(rec.StatementErrors[0].second.find("cannot be opened"), std::string::npos);
  EXPECT_EQ(fbtest::OtherAttachments(db), 0);
  std::remove(file.c_str());
}

TEST_F(Engine, UnloadingWithoutAScriptDetachesAndFreesTheClient) {
  const std::string db = fbtest::CreateDatabase("engine_unload.fdb");
  ASSERT_EQ(connect_(ConnectString(fbtest::Connection(db), "UTF8").c_str(), OnConnectError), 0);
  EXPECT_EQ(fbtest::OtherAttachments(db), 1);
  EXPECT_TRUE(Mapped("libfbclient"));
  Unload();
  EXPECT_EQ(fbtest::OtherAttachments(db), 0);
  EXPECT_FALSE(Mapped("libsqlscript"));
  // This program does not link the OS layer: the engine brought it along,
  // and it leaves with the engine.
  EXPECT_FALSE(Mapped("liboslayer"));
  // The library closes its handle of the client; Firebird 3's client itself
  // stays resident once it has attached (its threads), which is its choice.
}

} // namespace
