// SqlScriptOsLayerTest - the engine library that uSqlScript loads reaches the system through
// the program's own OS layer: an os::Api a test installs sees the engine read
// the script file and load the Firebird client, and a failure injected there
// fails the run with the engine's own message. Against the private Firebird
// server, so that the engine really connects before it reads the file.
#include "FbTestServer.h"
#include "os/OsLayer.h"
#include "uSqlScript.h"

#include "SystemDoubles.h"
#include "TestHosts.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

// The native system, recording the library loads and the file reads in a
// short form ("open NAME", "close NAME", "size PATH", "read PATH"); the call
// named FailCall ("open", "size" or "read") fails for FailOn.
class EngineSys : public os::Api {
public:
  std::vector<std::string> Calls;
  std::string FailCall, FailOn;

  os::Status FileSize(const std::string& path, std::uint64_t& size) override {
    if (Record("size", path)) return Injected("open", path);
    return os::Api::FileSize(path, size);
  }
  os::Status ReadFile(const std::string& path, std::uint64_t offset, std::uint64_t size, std::string& data) override {
    if (Record("read", path)) return Injected("read", path);
    return os::Api::ReadFile(path, offset, size, data);
  }
  os::LibraryHandle OpenLibrary(const std::string& name, os::Status& why) override {
    if (Record("open", name)) {
      why = Injected("dlopen", name);
      return nullptr;
    }
    os::LibraryHandle h = os::Api::OpenLibrary(name, why);
    if (h) names_[h] = name;
    return h;
  }
  void CloseLibrary(os::LibraryHandle lib) override {
    Calls.push_back("close " + names_[lib]);
    names_.erase(lib);
    os::Api::CloseLibrary(lib);
  }
  // Libraries opened through this double and not closed.
  std::size_t OpenLibraries() const { return names_.size(); }

private:
  // Records the call; true when it is the one to fail.
  bool Record(const std::string& call, const std::string& path) {
    Calls.push_back(call + " " + path);
    return call == FailCall && path == FailOn;
  }
  std::map<os::LibraryHandle, std::string> names_;
};

const std::string kEngine = os::SharedLibraryFileName("sqlscript");

class SqlScriptOsLayer : public ::testing::Test {
protected:
  void SetUp() override {
    path_ = fbtest::CreateDatabase("oslayer_" +
                                   std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                                   ".fdb");
    script_ = dir_.File("script.sql");
    ASSERT_TRUE(os::Sys().WriteFile(script_, "create table t_read (n integer);\n", false));
  }
  // Runs the script file through uSqlScript with the double installed:
  // stopping at the first failure (error mode 1), or reporting failed
  // statements only into the log, as the update run does (error mode 0).
  void Run(EngineSys& sys, std::uint8_t errorMode = 1) {
    os::ScopedApi use(sys);
    TScriptLog log;
    RunScriptFile(fbtest::ClientLib(), fbtest::Connection(path_), "SYSDBA", "UTF8", fbtest::Password(), "", script_,
                  &log, errorMode);
  }
  // Whether the script has run, as isql-fb sees the database.
  bool TableExists() {
    const std::string out = fbtest::Isql(path_, "set heading off;\n"
                                                "select iif(exists(select 1 from rdb$relations where "
                                                "rdb$relation_name = 'T_READ'), 'table there', 'no table') "
                                                "from rdb$database;\n");
    EXPECT_NE(out.find("table"), std::string::npos) << out;
    return out.find("table there") != std::string::npos;
  }
  TempDir dir_;
  std::string path_, script_;
};

TEST_F(SqlScriptOsLayer, TheEngineLoadsTheClientAndReadsTheScriptThroughTheInstalledApi) {
  EngineSys sys;
  Run(sys);
  EXPECT_EQ(sys.Calls, (std::vector<std::string>{"open " + kEngine, "open " + fbtest::ClientLib(), "size " + script_,
                                                 "read " + script_, "close " + fbtest::ClientLib(),
                                                 "close " + kEngine}));
  EXPECT_TRUE(TableExists());
}

TEST_F(SqlScriptOsLayer, AFailureInjectedIntoTheEnginesCallsFailsTheRunWithTheEnginesMessage) {
  // The engine reports a file it cannot open or read as a failed statement.
  const auto fileFailure = [&](const std::string& how) {
    return "Ошибка применения скрипта!\r-------   ERROR   --------\rThe script file \"" + script_ + "\" cannot be " +
           how + "\r\r------- STATEMENT --------\r";
  };
  struct Case {
    std::string FailCall, FailOn;
    std::string Expected;
  };
  const Case cases[] = {
      {"size", script_, fileFailure("opened")},
      {"read", script_, fileFailure("read")},
      {"open", fbtest::ClientLib(), "Ошибка подключения к базе данных!\rThe client library \"" +
                                        fbtest::ClientLib() + "\" cannot be loaded: dlopen \"" +
                                        fbtest::ClientLib() + "\": Access is denied (injected) (5)"},
  };
  for (const Case& c : cases) {
    EngineSys sys;
    sys.FailCall = c.FailCall;
    sys.FailOn = c.FailOn;
    EXPECT_EQ(MessageOf<EScriptError>([&] { Run(sys); }), c.Expected) << c.FailCall;
    // The engine let go of everything it held: the client it loaded through
    // the double, the attachment, and itself.
    EXPECT_EQ(sys.OpenLibraries(), 0u) << c.FailCall;
    EXPECT_EQ(sys.Calls.back(), "close " + kEngine) << c.FailCall;
    EXPECT_EQ(fbtest::OtherAttachments(path_), 0) << c.FailCall;
    EXPECT_FALSE(TableExists()) << c.FailCall;
  }
  // A script the engine could not run at all is never a clean run, also
  // where failed statements only go to the log.
  EngineSys sys;
  sys.FailCall = "read";
  sys.FailOn = script_;
  EXPECT_EQ(MessageOf<EScriptError>([&] { Run(sys, 0); }), fileFailure("read"));
}

} // namespace
