// uMainClient - the Firebird client library the program's runs load (see
// uMainClient.h).
#include "uMainClient.h"

#include "os/OsLayer.h"
#include "uDBConnection.h"
#include "uLDM.h"
#include "uRunLog.h"

#include <exception>

namespace {

const char kClientFile[] = "fbclient.dll";

// Why the client at Path cannot be used; empty when it can.
std::string RefusalOf(const std::string& Path) {
  try {
    TFbClientLibrary client(Path);
  } catch (const std::exception& e) {
    return e.what();
  }
  return {};
}

} // namespace

TClientLibrary FindClientLibrary(const TFBServParams& Server, const std::string& SystemDir) {
  TClientLibrary found;
  std::vector<std::pair<std::string, TClientOrigin>> candidates;
  if (!Server.ServerType.empty() && !Server.ServerDir.empty())
    candidates.emplace_back(os::path::Join(os::path::Join(Server.ServerDir, "bin"), kClientFile), TClientOrigin::Server);
  if (!SystemDir.empty()) candidates.emplace_back(os::path::Join(SystemDir, kClientFile), TClientOrigin::System);
  for (const auto& [path, origin] : candidates) {
    if (!os::Sys().FileExists(path)) continue;
    const std::string refusal = RefusalOf(path);
    if (refusal.empty()) {
      found.Name = path;
      found.Origin = origin;
      return found;
    }
    found.Refused.emplace_back(path, refusal);
  }
  found.Name = kClientFile;
  found.Origin = TClientOrigin::StandIn;
  return found;
}

void ChooseClientLibrary(TUpdateSettings& Settings, IHost& Host) {
#ifndef UPDATER_EMBEDS_STANDIN_CLIENT
  (void)Host;
  Settings.ClientLibName = kClientFile;
#else
  const TClientLibrary client = FindClientLibrary(Settings.ServParams, os::Sys().SystemFolder());
  Settings.ClientLibName = client.Name;
  // The stand-in says what is wrong at every call; the log names a client
  // only when a real one was tried or is loaded.
  try {
    for (const auto& [path, why] : client.Refused) Host.SaveExceptionToLog(GetMsgText("uMain_ClientLibrary_2", path, why));
    if (client.Origin != TClientOrigin::StandIn) Host.SaveExceptionToLog(GetMsgText("uMain_ClientLibrary_1", client.Name));
  } catch (const EInOutError&) {
    // A start-up that could not create its log has said so already; the
    // pane shows the lines all the same.
  }
#endif
}
