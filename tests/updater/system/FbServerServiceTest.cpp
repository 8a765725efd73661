// FbServerServiceTest - services through commands on POSIX: the Firebird service mapped to the
// private test server's script, stopped and started by the service unit.
#include "SystemDoubles.h"
#include "TestHosts.h"
#include "uFbService.h"
#include "uQrxRout.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

bool PortAnswers(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<std::uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

} // namespace

TEST(PosixServiceCommands, StopClosesTheServersPortAndStartMakesItAnswer) {
  const std::string root = Env("FBSERVER_ROOT"), port = Env("FBSERVER_PORT"), source = Env("UPDATER_SOURCE_DIR");
  ASSERT_FALSE(root.empty() || port.empty() || source.empty()) << "FBSERVER_ROOT, FBSERVER_PORT, UPDATER_SOURCE_DIR";
  const int portNumber = std::atoi(port.c_str());
  const std::string script = "bash " + Quoted(source + "/scripts/fbserver.sh");
  const std::string service = "FirebirdGuardianDefaultInstance";
  os::DefineService(service, {script + " start " + Quoted(root) + " " + port + " >/dev/null",
                              script + " stop " + Quoted(root) + " >/dev/null",
                              script + " status " + Quoted(root) + " >/dev/null"});
  ASSERT_TRUE(PortAnswers(portNumber)) << "the fixture's server is not running";

  // No process is named like this, so KillTask touches nobody's server.
  const TFBServParams params{"", "SUPER", "localhost/" + port + ":", "FBSERVER.EXE", service};
  RecordedSleepSys sys;
  os::ScopedApi use(sys);
  RecordingHost dialogs;

  EXPECT_FALSE(ServiceStart("", service)) << "a running service cannot be started";
  EXPECT_EQ(ServiceGetStatus("", service), 4);

  EXPECT_NO_THROW(StopFBService(params, true, dialogs));
  EXPECT_FALSE(PortAnswers(portNumber));
  EXPECT_EQ(ServiceGetStatus("", service), 1);
  EXPECT_FALSE(IsFBServiceRunning());
  EXPECT_TRUE(ServiceStop("", service)) << "a stopped service counts as stopped";

  sys.Sleeps.clear();
  EXPECT_NO_THROW(StartFBService(params, true, dialogs));
  EXPECT_TRUE(PortAnswers(portNumber));
  EXPECT_EQ(ServiceGetStatus("", service), 4);
  const std::vector<std::uint32_t> waits = {15000, 30000, 15000};
  EXPECT_EQ(sys.Sleeps, waits);
  ASSERT_EQ(dialogs.Shown.size(), 2u);
  EXPECT_EQ(dialogs.Shown[0].second, "Служба сервера FireBird остановлена.");
  EXPECT_EQ(dialogs.Shown[1].second, "Служба сервера FireBird запущена.");

  os::ForgetService(service);
  EXPECT_EQ(ServiceGetStatus("", service), 1) << "an undefined service does not exist";
  if (!PortAnswers(portNumber)) // leave the fixture's server running for the tests after this one
    std::system(("bash " + Quoted(source + "/scripts/fbserver.sh") + " start " + Quoted(root) + " " + port).c_str());
}
