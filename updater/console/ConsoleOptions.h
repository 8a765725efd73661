// ConsoleOptions - the console updater's command line: the command, the
// options with a value, the switches, and the first mistake found.
#pragma once

#include <map>
#include <string>
#include <vector>

struct TConsoleOptions {
  std::string Command;                       // "update", "online", "shutdown"
  std::map<std::string, std::string> Values; // "--project" -> "TAMBER", ...
  bool Yes = false, NoWaits = false, Help = false;
  std::string Error; // the first mistake, empty when there is none

  // The value given for Name, empty when it was not given.
  std::string Value(const std::string& Name) const;
};

// Reads the arguments after the program's name. Options with a value are
// "--project", "--location", "--language", "--password-file",
// "--connect-prefix", "--client-lib", "--server-dir", "--server-type",
// "--service-start", "--service-stop" and "--service-query"; switches are
// "--yes", "--no-service-waits" and "--help" ("-h"). A password is never
// taken from the command line: "--password" is refused.
TConsoleOptions ParseConsoleOptions(const std::vector<std::string>& Args);
