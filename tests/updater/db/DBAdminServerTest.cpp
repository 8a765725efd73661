// DBAdminServerTest - database shutdown, online and the attached users against the private
// Firebird server.
#include "FbTestServer.h"
#include "SystemDoubles.h"
#include "os/OsLayer.h"
#include "uDBConnection.h"
#include "uSqlScript.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace {

using Users = std::vector<std::string>;

std::string FbMessage(const std::function<void()>& f) {
  try {
    f();
  } catch (const EFBError& e) {
    return e.what();
  } catch (const std::exception& e) {
    return std::string("not an EFBError: ") + e.what();
  }
  return "<no error>";
}

class DBAdmin : public ::testing::Test {
protected:
  std::string lib = fbtest::ClientLib();
  std::string pw = fbtest::Password();
};

TEST_F(DBAdmin, ShutdownAndOnlineEachTwiceTheSecondTimeRefusedByTheServer) {
  const std::string db = fbtest::Connection(fbtest::CreateDatabase("admin_mode.fdb"));
  RecordedSleepSys sys;
  os::ScopedApi use(sys);

  DatabaseShutdown(lib, db, "SYSDBA", pw);
  EXPECT_EQ(sys.Sleeps, std::vector<std::uint32_t>{2000});
  const std::string again = FbMessage([&] { DatabaseShutdown(lib, db, "SYSDBA", pw); });
  EXPECT_NE(again.find("Target shutdown mode is invalid for database"), std::string::npos) << again;
  EXPECT_NE(again.back(), '.') << again;

  DatabaseOnline(lib, db, "SYSDBA", pw);
  const std::string online = FbMessage([&] { DatabaseOnline(lib, db, "SYSDBA", pw); });
  EXPECT_NE(online.find("Target shutdown mode is invalid for database"), std::string::npos) << online;
  Users users;
  GetAttachedUsers(lib, db, "SYSDBA", pw, "", users);
  EXPECT_EQ(users, Users{});
}

TEST_F(DBAdmin, ShutdownCutsAnotherAttachmentAfterOneSecond) {
  const std::string db = fbtest::Connection(fbtest::CreateDatabase("admin_cut.fdb"));
  TDBConnection other(db, "SYSDBA", pw, "");
  other.Connect(lib);
  const std::string items(1, '\x35');
  EXPECT_NO_THROW(other.DatabaseInfo(items, 512));

  const auto start = std::chrono::steady_clock::now();
  DatabaseShutdown(lib, db, "SYSDBA", pw); // the real 2-second wait
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(seconds, 2.0);
  const std::string cut = FbMessage([&] { other.DatabaseInfo(items, 512); });
  EXPECT_NE(cut.find("shutdown"), std::string::npos) << cut;
  DatabaseOnline(lib, db, "SYSDBA", pw);
}

TEST_F(DBAdmin, AttachedUsersLeaveOutTheCallersOwnEntryOnly) {
  const std::string db = fbtest::Connection(fbtest::CreateDatabase("admin_users.fdb"));
  Users users{"stale entry"};
  GetAttachedUsers(lib, db, "SYSDBA", pw, "", users);
  EXPECT_EQ(users, Users{});

  TDBConnection a(db, "SYSDBA", pw, ""), b(db, "SYSDBA", pw, "");
  a.Connect(lib);
  b.Connect(lib);
  GetAttachedUsers(lib, db, "SYSDBA", pw, "", users);
  EXPECT_EQ(users, (Users{"SYSDBA", "SYSDBA"}));
  GetAttachedUsers(lib, db, "sysdba", pw, "", users);
  EXPECT_EQ(users, (Users{"SYSDBA", "SYSDBA"})) << "a lower-case name removes one upper-case entry";
  b.Disconnect();
  GetAttachedUsers(lib, db, "SysDba", pw, "", users);
  EXPECT_EQ(users, Users{"SYSDBA"});
}

// A TCP port on which nothing listens: a stopped server.
std::string DeadPort() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  close(s);
  return std::to_string(ntohs(a.sin_port));
}

TEST_F(DBAdmin, ServerFailuresAreRaisedWithTheServersMessages) {
  const std::string path = fbtest::CreateDatabase("admin_errors.fdb");
  const std::string db = fbtest::Connection(path);
  const std::string stopped = "localhost/" + DeadPort() + ":" + path;
  struct Case {
    const char* Name;
    std::function<void()> Call;
    const char* Expected;
  };
  Users users;
  const Case cases[] = {
      {"shutdown, wrong password", [&] { DatabaseShutdown(lib, db, "SYSDBA", "wrong"); },
       "Your user name and password are not defined. Ask your database administrator to set up a Firebird login"},
      {"online, wrong password", [&] { DatabaseOnline(lib, db, "SYSDBA", "wrong"); },
       "Your user name and password are not defined"},
      {"users, wrong password", [&] { GetAttachedUsers(lib, db, "SYSDBA", "wrong", "", users); },
       "Your user name and password are not defined"},
      {"shutdown, server stopped", [&] { DatabaseShutdown(lib, stopped, "SYSDBA", pw); },
       "Unable to complete network request to host \"localhost\""},
      {"users, server stopped", [&] { GetAttachedUsers(lib, stopped, "SYSDBA", pw, "", users); },
       "Unable to complete network request to host \"localhost\""},
      {"online, no such database", [&] { DatabaseOnline(lib, db + ".missing", "SYSDBA", pw); },
       "I/O error during \"open\" operation for file"},
      {"client library missing", [&] { DatabaseOnline("libnosuchclient.so", db, "SYSDBA", pw); },
       "Невозможно загрузить клиентскую библиотеку \"libnosuchclient.so\"!"},
  };
  for (const Case& c : cases) {
    const std::string m = FbMessage(c.Call);
    EXPECT_NE(m.find(c.Expected), std::string::npos) << c.Name << ": " << m;
    EXPECT_NE(m.back(), '.') << c.Name << ": " << m;
    EXPECT_EQ(m.find("SQLCODE"), std::string::npos) << c.Name;
  }
  // Several messages are joined by CR LF.
  const std::string joined = FbMessage([&] { DatabaseOnline(lib, db + ".missing", "SYSDBA", pw); });
  EXPECT_NE(joined.find("\r\n"), std::string::npos) << joined;
}

TEST_F(DBAdmin, AFailureCarriesTheSqlCodeAndTheFirstErrorCode) {
  const std::string db = fbtest::Connection(fbtest::CreateDatabase("admin_codes.fdb"));
  try {
    Users users;
    GetAttachedUsers(lib, db, "SYSDBA", "wrong", "", users);
    FAIL() << "no error";
  } catch (const EFBError& e) {
    EXPECT_EQ(e.ErrorCode, 335544472); // isc_login
    EXPECT_EQ(e.SqlCode, -902);
  }
}

TEST_F(DBAdmin, EmptyParametersAreRefusedInTheirOrderBeforeAnyCall) {
  struct Case {
    std::string Lib, Db, User, Password;
    const char* Expected;
  };
  const Case cases[] = {
      {" ", "", "", "", "Не задана клиентская библиотека!"},
      {"x", "  ", "", "", "Не задана база данных!"},
      {"x", "d", "", "", "Не задано имя пользователя!"},
      {"x", "d", "u", "   ", "Не задан пароль!"},
  };
  for (const Case& c : cases) {
    Users users;
    for (const std::function<void()>& call : std::vector<std::function<void()>>{
             [&] { DatabaseShutdown(c.Lib, c.Db, c.User, c.Password); },
             [&] { DatabaseOnline(c.Lib, c.Db, c.User, c.Password); },
             [&] { GetAttachedUsers(c.Lib, c.Db, c.User, c.Password, "", users); }}) {
      try {
        call();
        ADD_FAILURE() << "no error for " << c.Expected;
      } catch (const EScriptError& e) {
        EXPECT_STREQ(e.what(), c.Expected);
      }
    }
  }
}

} // namespace
