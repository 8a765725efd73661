// DBConnectionTest - the byte-level parts of database administration: database strings, the
// service manager name, the Services API request blocks, the answer to
// isc_info_user_names and the joining of server messages.
#include "uDBConnection.h"
#include "uSqlScript.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(DBLocation, SplitsServerAndPathAndNamesTheServiceManager) {
  struct Case {
    std::string Database, Server, Path;
    bool Tcp;
    std::string ServiceManager;
  };
  const Case cases[] = {
      {"localhost/3051:C:\\Tamber\\DB\\TAMBER.FDB", "localhost/3051", "C:\\Tamber\\DB\\TAMBER.FDB", true,
       "localhost/3051:service_mgr"},
      {"localhost/3053:/srv/data/t.fdb", "localhost/3053", "/srv/data/t.fdb", true, "localhost/3053:service_mgr"},
      {"C:\\Tamber\\DB\\TAMBER.FDB", "", "C:\\Tamber\\DB\\TAMBER.FDB", false, "service_mgr"},
      {"/srv/data/t.fdb", "", "/srv/data/t.fdb", false, "service_mgr"},
      {"server:alias", "server", "alias", true, "server:service_mgr"},
      {"C:x:y", "C", "x:y", true, "C:service_mgr"}, // a second ":" makes it a server part
  };
  for (const Case& c : cases) {
    TDBLocation l = SplitDatabaseString(c.Database);
    EXPECT_EQ(l.Server, c.Server) << c.Database;
    EXPECT_EQ(l.Path, c.Path) << c.Database;
    EXPECT_EQ(l.Tcp, c.Tcp) << c.Database;
    EXPECT_EQ(ServiceManagerName(l), c.ServiceManager) << c.Database;
  }
}

TEST(ServiceRequests, HoldTheBytesTheServicesApiExpects) {
  const std::string path = "C:\\DB\\T.FDB"; // 11 bytes
  EXPECT_EQ(ShutdownRequest(path), std::string("\x08\x6A\x0B\x00", 4) + path + std::string("\x07\x01\x00\x00\x00", 5));
  EXPECT_EQ(OnlineRequest(path), std::string("\x08\x6A\x0B\x00", 4) + path + std::string("\x6C\x00\x02\x00\x00", 5));
  // The path length takes two bytes, low byte first.
  const std::string longPath(300, 'p');
  EXPECT_EQ(OnlineRequest(longPath).substr(0, 4), std::string("\x08\x6A\x2C\x01", 4));
}

std::string Entry(const std::string& name) {
  return std::string("\x35", 1) + static_cast<char>(name.size() + 1) + '\0' + static_cast<char>(name.size()) + name;
}

TEST(UserNames, AreReadWhileTheItemRepeatsAndNeverPastTheEnd) {
  using Names = std::vector<std::string>;
  struct Case {
    const char* Name;
    std::string Info;
    Names Expected;
  };
  const std::string two = Entry("SYSDBA") + Entry("IVANOV");
  const Case cases[] = {
      {"two entries then the end item", two + "\x01" + std::string(20, '\0'), {"SYSDBA", "IVANOV"}},
      {"empty answer", std::string("\x01", 1), {}},
      {"an empty name", Entry(""), {""}},
      {"a name cut short by the buffer", Entry("SYSDBA") + Entry("IVANOV").substr(0, 6), {"SYSDBA"}},
      {"an entry header cut short", Entry("SYSDBA") + std::string("\x35\x07", 2), {"SYSDBA"}},
      {"the truncation item ends the list", Entry("A") + "\x02" + Entry("B"), {"A"}},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseUserNames(c.Info), c.Expected) << c.Name;
}

TEST(ServerMessages, AreJoinedByCrLfWithoutTheFinalFullStop) {
  EXPECT_EQ(JoinServerMessages({"I/O error during \"open\" operation for file \"x\"", "-Error while trying to open file",
                                "-No such file or directory."}),
            "I/O error during \"open\" operation for file \"x\"\r\n-Error while trying to open file\r\n"
            "-No such file or directory");
  EXPECT_EQ(JoinServerMessages({"Version 3.0. Done."}), "Version 3.0. Done");
  EXPECT_EQ(JoinServerMessages({}), "");
}

} // namespace
