// uServParams - the installed Firebird server's description, as server
// discovery fills it and the update run reads it from the main window's
// settings.
#pragma once

#include <string>

// The installed server's description; empty ServerType: none was accepted.
struct TFBServParams {
  std::string ServerDir;   // the folder holding "bin\", with its trailing backslash
  std::string ServerType;  // "SUPER" or "CLASSIC"
  std::string ServerHost;  // "localhost/" + port + ":"
  std::string ServerExe;   // the server executable's file name, upper case
  std::string ServiceName; // the service that is stopped and started
};
