// ConsoleOptions - the console updater's command line (see ConsoleOptions.h).
#include "ConsoleOptions.h"

TConsoleOptions ParseConsoleOptions(const std::vector<std::string>& Args) {
  const std::vector<std::string>& args = Args;
  TConsoleOptions c;
  static const char* const withValue[] = {"--project", "--location", "--language", "--password-file",
                                          "--connect-prefix", "--client-lib", "--server-dir", "--server-type",
                                          "--service-start", "--service-stop", "--service-query"};
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      c.Help = true;
      continue;
    }
    if (a == "--yes") {
      c.Yes = true;
      continue;
    }
    if (a == "--no-service-waits") {
      c.NoWaits = true;
      continue;
    }
    bool known = false;
    for (const char* o : withValue) {
      if (a != o) continue;
      known = true;
      if (i + 1 >= args.size()) {
        c.Error = a + " needs a value";
        return c;
      }
      c.Values[a] = args[++i];
    }
    if (known) continue;
    // An option is named without what follows its "=": that may be a
    // secret given where it does not belong.
    const std::string name = a.substr(0, a.find('='));
    if (name == "--password") {
      c.Error = "a password is never given on the command line: use --password-file or UPDATER_PASSWORD";
      return c;
    }
    if (!a.empty() && a[0] == '-') {
      c.Error = "unknown option " + name + (name.size() < a.size() ? "=..." : "");
      return c;
    }
    if (!c.Command.empty()) {
      c.Error = "one command only: " + c.Command + " or " + a;
      return c;
    }
    c.Command = a;
  }
  return c;
}

std::string TConsoleOptions::Value(const std::string& Name) const {
  const auto it = Values.find(Name);
  return it == Values.end() ? std::string() : it->second;
}
