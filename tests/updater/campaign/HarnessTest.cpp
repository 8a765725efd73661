// HarnessTest - the campaign's own fault injectors: the counting OS layer
// fails exactly the calls it is told to, as the system would, and the
// forwarding client passes calls on to the real client, counts them, and
// fails the one picked with a status the real client reads.
#include "FaultClient.h"
#include "FaultClientControl.h"
#include "FaultSys.h"
#include "FbTestServer.h"
#include "TestHosts.h"
#include "uSqlScript.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>

namespace fs = std::filesystem;

namespace {

TEST(FaultSysTest, FailsThePickedCallsOnceOrForGoodAndChangesNothingThen) {
  struct Case {
    const char* Name;
    std::vector<long> FailAt;
    long FailFrom;
    std::string Expected; // one letter per call: o succeeded, x failed
  };
  const std::vector<Case> cases = {
      {"no fault", {}, 0, "ooooo"},
      {"the second call once", {2}, 0, "oxooo"},
      {"every call from the third", {}, 3, "ooxxx"},
      {"the first once and every call from the fifth", {1}, 5, "xooox"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TempDir dir;
    const std::string a = dir.File("a"), f = a + "/f", g = a + "/g", h = a + "/h";
    fs::create_directory(a);
    FaultSys sys;
    sys.Arm(c.FailAt, c.FailFrom);
    const std::vector<std::pair<std::string, std::function<os::Status()>>> calls = {
        {"WriteFile", [&] { return sys.WriteFile(f, "data", false); }},
        {"FileCopy", [&] { return sys.FileCopy(f, g, false); }},
        {"FileMove", [&] { return sys.FileMove(g, h); }},
        {"FileDelete", [&] { return sys.FileDelete(h); }},
        {"CreateFolder", [&] { return sys.CreateFolder(dir.File("b")); }},
    };
    std::string got;
    for (const auto& [name, call] : calls) got += call() ? 'o' : 'x';
    // A call that runs after a failed one may fail of itself (the copy of a
    // file that was never written); only the picked calls are injected.
    for (size_t i = 0; i < c.Expected.size(); ++i)
      if (c.Expected[i] == 'x') {
        EXPECT_EQ(got[i], 'x') << "call " << i + 1;
      }
    ASSERT_EQ(sys.Calls.size(), calls.size());
    for (size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(sys.Calls[i].Call, calls[i].first);
    EXPECT_EQ(sys.Injected.size(), static_cast<size_t>(std::count(c.Expected.begin(), c.Expected.end(), 'x')));
    if (c.Expected[0] == 'x') {
      EXPECT_FALSE(fs::exists(f)) << "a failed write writes nothing";
      EXPECT_EQ(os::Describe(sys.Injected[0]),
                "write \"" + f + "\": " + os::SystemErrorText(ENOSPC) + " (" + std::to_string(ENOSPC) + ")");
    }
    if (c.Expected == "ooooo") {
      EXPECT_EQ(got, "ooooo");
      EXPECT_TRUE(fs::is_directory(dir.File("b")));
    }
    if (c.Expected.back() == 'x') {
      EXPECT_FALSE(fs::exists(dir.File("b"))) << "a failed folder creation creates none";
    }
  }
}

TEST(FaultSysTest, ListsAFolderInTheOrderOfItsNamesAndNeverWaits) {
  TempDir dir;
  for (const char* name : {"c", "a", "d", "b"}) std::ofstream(dir.File(name)) << name;
  FaultSys sys;
  std::vector<os::FolderEntry> entries;
  ASSERT_TRUE(sys.FolderList(dir.Path(), "*", entries));
  std::string names;
  for (const os::FolderEntry& e : entries) names += e.Name;
  EXPECT_EQ(names, "abcd");
  sys.Sleep(30000);
  EXPECT_EQ(sys.Sleeps, std::vector<std::uint32_t>{30000});
  EXPECT_TRUE(sys.Calls.size() == 1 && sys.Calls[0].Call == "FolderList");
}

// The forwarding client against the private server, through the project's
// script runner as the updater uses it.
class FaultClientTest : public ::testing::Test {
protected:
  campaign::FaultClient client{FAULT_CLIENT};
  std::string db = fbtest::CreateDatabase("fault_client.fdb");
  TDBParams params{FAULT_CLIENT, fbtest::Connection(db), "SYSDBA", fbtest::Password(), ""};
  std::string Run() {
    try {
      TScriptLog log;
      RunScriptText(params, "UTF8", "create table t (n integer); insert into t values (1); commit;", &log, 1);
      return "ran";
    } catch (const std::exception& e) {
      return e.what();
    }
  }
};

TEST_F(FaultClientTest, PassesCallsOnCountsThemAndFailsThePickedOneAsABrokenConnection) {
  client.Arm({}, 0);
  ASSERT_EQ(Run(), "ran");
  const long calls = client.Calls();
  EXPECT_GT(calls, 5);
  EXPECT_EQ(client.CallName(1), "isc_attach_database");
  std::string rows = fbtest::Isql(db, "set heading off; select count(*) from t;\n");
  rows.erase(std::remove_if(rows.begin(), rows.end(), ::isspace), rows.end());
  EXPECT_EQ(rows, "1") << "the script reached the database";

  // The attach fails: the real client reads the injected status.
  fbtest::Isql(db, "drop table t; commit;\n");
  client.Arm({1}, 0);
  const std::string failed = Run();
  EXPECT_NE(failed.find(kFaultClientMessage), std::string::npos) << failed;
  EXPECT_NE(failed.find("Error reading data from the connection"), std::string::npos) << failed;
  EXPECT_EQ(client.Failed(), 1);
}

TEST_F(FaultClientTest, WhatAFailedDetachLeftOpenIsClosedBetweenRuns) {
  client.Arm({}, 0);
  ASSERT_EQ(Run(), "ran");
  long detach = 0;
  for (long k = 1; k <= client.Calls(); ++k)
    if (client.CallName(k) == "isc_detach_database") detach = k;
  ASSERT_GT(detach, 0);
  fbtest::Isql(db, "drop table t; commit;\n");
  client.Arm({detach}, 0);
  Run();
  EXPECT_EQ(fbtest::OtherAttachments(db), 1) << "the detach that failed left the attachment";
  EXPECT_GE(client.CloseLeftOpen(), 1);
  EXPECT_EQ(fbtest::OtherAttachments(db), 0);
}

} // namespace
