// BridgeTest - the Firebird client bridge as the updater's own units use it:
// the client found in the server folder of the Firebird service answers
// every entry the updater binds, and the units' scripts, service requests
// and messages work with the Windows path of a database in the Wine prefix.
#include "E2ESupport.h"

#include "FbClient.h"
#include "TestHosts.h"
#include "uDBConnection.h"
#include "uSqlScript.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace e2e;

class Bridge : public ::testing::Test {
protected:
  void SetUp() override {
    server_ = std::make_unique<FirebirdInstance>();
    ASSERT_TRUE(server_->Ready());
    client_ = FirebirdInstance::Root() + "bin\\fbclient.dll";
    // A folder name in the system's code page beyond ASCII: Cyrillic where
    // the code page holds it.
    folder_ = fs::u8path(dir_.Path()) / fs::u8path(GetACP() == 1251 ? "Тамбер" : "Tämber");
    fs::create_directories(folder_);
    db_ = folder_ / "tamber.fdb";
    const std::string made =
        Isql(fs::path(), "create database 'localhost/" + std::to_string(SERVER_PORT) + ":" + UnixPathOf(db_) +
                             "' user 'SYSDBA' password 'qelvormask' default character set WIN1251;");
    ASSERT_EQ(made, "");
  }

  // The database as the updater names it: the product's port, the Windows path.
  std::string Connection(const fs::path& Db) const { return "localhost/3051:" + Utf8(Db); }
  TDBParams Params(const fs::path& Db) const { return {client_, Connection(Db), "SYSDBA", "qelvormask", ""}; }

  std::unique_ptr<FirebirdInstance> server_;
  TempDir dir_;
  std::string client_;
  fs::path folder_, db_;
};

TEST_F(Bridge, OffersEveryEntryTheUpdaterBinds) {
  os::Library lib = os::Sys().LoadSharedLibrary(client_);
  ASSERT_TRUE(lib) << lib.Why().Failure().Text;
  fbclient::Entries entries;
  const char* missing = entries.Bind([&](const char* name) { return os::Sys().Symbol(lib, name); });
  EXPECT_EQ(missing, nullptr) << missing;
  // The optional ones too: the bridge serves the whole list.
  EXPECT_NE(entries.fb_interpret, nullptr);
  EXPECT_NE(entries.fb_sqlstate, nullptr);
  EXPECT_NE(entries.isc_interprete, nullptr);
}

TEST_F(Bridge, ScriptsAndServiceRequestsWorkOnADatabaseAtAWindowsPath) {
  // A script in each character set the run uses, with texts beyond ASCII.
  RunScriptText(Params(db_), "WIN1251", "create table t (name varchar(20));\ninsert into t values ('Норвел');",
                nullptr, 1);
  RunScriptText(Params(db_), "UTF8", "insert into t values ('Марклет');", nullptr, 1);
  EXPECT_EQ(QueryValue(db_, "select cast(list(name, ',') as varchar(100)) from (select name from t order by name);"),
            "Марклет,Норвел");

  std::vector<std::string> users = {"<not asked>"};
  GetAttachedUsers(Params(db_), users);
  EXPECT_TRUE(users.empty()) << users.front();

  // The shutdown leaves the database to SYSDBA alone (mode 1, "multi").
  const std::string mode = "select mon$shutdown_mode from mon$database;";
  DatabaseShutdown(Params(db_));
  EXPECT_EQ(QueryValue(db_, mode), "1");
  // The server's own answer to a second request of the same mode.
  EXPECT_NE(MessageOf<std::exception>([&] { DatabaseShutdown(Params(db_)); })
                .find("Target shutdown mode is invalid for database"),
            std::string::npos);
  DatabaseOnline(Params(db_));
  EXPECT_EQ(QueryValue(db_, mode), "0");
}

TEST_F(Bridge, AMessageQuotingADatabaseNamesItsWindowsPath) {
  const fs::path missing = folder_ / "нет.fdb";
  const fs::path none = GetACP() == 1251 ? missing : folder_ / "none.fdb";
  std::vector<std::string> users;
  const struct {
    const char* Name;
    std::function<void()> Call;
  } cases[] = {
      {"WIN1251 script run", [&] { RunScriptText(Params(none), "WIN1251", "select 1 from rdb$database", nullptr, 0); }},
      {"UTF8 script run", [&] { RunScriptText(Params(none), "UTF8", "select 1 from rdb$database", nullptr, 0); }},
      {"attached users", [&] { GetAttachedUsers(Params(none), users); }},
      {"shutdown", [&] { DatabaseShutdown(Params(none)); }},
      {"online", [&] { DatabaseOnline(Params(none)); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string m = MessageOf<std::exception>(c.Call);
    EXPECT_NE(m.find("I/O error during \"open\" operation for file \"" + Utf8(none) + "\""), std::string::npos) << m;
  }
}

} // namespace
