// uMainClient - the Firebird client library the program's runs load.
//
// A build with the maker's client library writes it beside the program at
// start-up and loads it from there. A build without it carries a stand-in
// that answers every call with "this build has no client"; such a program
// loads the client of the Firebird server that server discovery found (the
// one in its bin folder), else the one in the system folder, and the
// stand-in beside the program only when neither can be loaded.
#pragma once

#include "uHost.h"

#include <string>
#include <utility>
#include <vector>

enum class TClientOrigin {
  Embedded, // the maker's client the program carries, beside the program
  Server,   // the client in the bin folder of the server discovery found
  System,   // the client in the system folder
  StandIn,  // the stand-in beside the program: no client could be loaded
};

struct TClientLibrary {
  std::string Name; // what the runs load: a full path, or "fbclient.dll" beside the program
  TClientOrigin Origin = TClientOrigin::StandIn;
  // Each client that is there but could not be used: its path and why.
  std::vector<std::pair<std::string, std::string>> Refused;
};

// The client a build without the maker's client loads: "fbclient.dll" in
// the bin folder of Server (when discovery accepted a server), then in
// SystemDir; each is loaded once to see that it is a Firebird client.
TClientLibrary FindClientLibrary(const TFBServParams& Server, const std::string& SystemDir);

// Sets Settings.ClientLibName for the runs. A build without the maker's
// client chooses with FindClientLibrary and logs, through Host, each client
// it could not use and the one it loads when that is not the stand-in.
void ChooseClientLibrary(TUpdateSettings& Settings, IHost& Host);
