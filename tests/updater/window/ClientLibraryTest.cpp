// ClientLibraryTest - which Firebird client library a build without the
// maker's client loads: the server's, then the system's, then the stand-in,
// each tried with real files. A copy of the built stand-in serves as a
// loadable client: it has every entry a client must have.
#include <gtest/gtest.h>

#include "TestHosts.h"
#include "uMainClient.h"

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

enum class Kind { None, Client, Damaged };

struct Case {
  const char* Name;
  bool ServerFound; // discovery accepted a server
  Kind InServerBin, InSystemDir;
  TClientOrigin Origin;
  int Refused;
};

const Case kCases[] = {
    {"the server's client comes first", true, Kind::Client, Kind::Client, TClientOrigin::Server, 0},
    {"without one, the system's", true, Kind::None, Kind::Client, TClientOrigin::System, 0},
    {"a damaged server client is passed over", true, Kind::Damaged, Kind::Client, TClientOrigin::System, 1},
    {"no server found: its folder is not looked into", false, Kind::Client, Kind::Client, TClientOrigin::System, 0},
    {"neither: the stand-in", true, Kind::None, Kind::None, TClientOrigin::StandIn, 0},
    {"both damaged: the stand-in, and both are named", true, Kind::Damaged, Kind::Damaged, TClientOrigin::StandIn, 2},
};

void Put(const fs::path& Dir, Kind What) {
  fs::create_directories(Dir);
  if (What == Kind::Client) fs::copy_file(fs::u8path(STANDIN_CLIENT_DLL), Dir / "fbclient.dll");
  if (What == Kind::Damaged) std::ofstream(Dir / "fbclient.dll", std::ios::binary) << "not a library";
}

TEST(ClientLibrary, TheServersClientThenTheSystemsThenTheStandIn) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.Name);
    TempDir dir;
    const fs::path server = fs::u8path(dir.Path()) / "Firebird";
    const fs::path system = fs::u8path(dir.Path()) / "system32";
    Put(server / "bin", c.InServerBin);
    Put(system, c.InSystemDir);
    TFBServParams params;
    params.ServerDir = server.string() + "\\";
    if (c.ServerFound) params.ServerType = "SUPER";

    const TClientLibrary found = FindClientLibrary(params, system.string());
    EXPECT_EQ(found.Origin, c.Origin);
    switch (c.Origin) {
    case TClientOrigin::Server: EXPECT_EQ(found.Name, (server / "bin" / "fbclient.dll").string()); break;
    case TClientOrigin::System: EXPECT_EQ(found.Name, (system / "fbclient.dll").string()); break;
    default: EXPECT_EQ(found.Name, "fbclient.dll") << "the stand-in beside the program"; break;
    }
    ASSERT_EQ(found.Refused.size(), static_cast<size_t>(c.Refused));
    if (c.Refused > 0) {
      EXPECT_EQ(found.Refused[0].first, (server / "bin" / "fbclient.dll").string());
      EXPECT_NE(found.Refused[0].second.find("fbclient.dll"), std::string::npos) << found.Refused[0].second;
    }
  }
}

} // namespace
