// Updater_Console - the updater for unattended use: the same update engine,
// message catalog and run log as the window, driven from the command line.
// The log pane's lines go to standard output, questions are asked on the
// terminal, and the ending is told by the exit code (see Usage below).
#include "ConsoleOptions.h"
#include "ConsolePassword.h"
#include "os/OsLayer.h"
#include "uFbService.h"
#include "uHost.h"
#include "uLDM.h"
#include "uRecovery.h"
#include "uRunJournal.h"
#include "uRunLog.h"
#include "uUpdate.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>


namespace {

const char kUsage[] = R"(Updater_Console - updates an installed copy of Tamber, or switches its database
between multi-user (online) and single-user (shutdown) mode.

  Updater_Console update   --project TAMBER|ZAVUDAVADA|TAMBER_MINI --location DIR [--yes]
  Updater_Console online   --project P --location DIR [--yes]
  Updater_Console shutdown --project P --location DIR [--yes]

Options:
  --language N          2 Russian, 3 English, 4 German, 5 French (default: the system's language)
  --password-file FILE  the database system password is the first line of FILE (readable by you
                        alone); without it the environment variable UPDATER_PASSWORD, else the
                        default system password. The variable is never passed on to a program
                        the updater starts
  --connect-prefix P    first part of the database connection string (default "localhost/3051:")
  --client-lib NAME     the Firebird client library (default )" CLIENT_LIB R"()
  --yes                 answer Yes to every question
  --help                this text
)";

const char kUsageNoRegistry[] = R"(
Where the system has no Firebird service registry (update only):
  --server-dir DIR      the Firebird server's folder (holding bin/ and udf/)
  --server-type T       SUPER or CLASSIC (default SUPER)
  --service-start CMD   shell commands that start and stop the server, and one that exits
  --service-stop CMD    with 0 while it runs
  --service-query CMD
  --no-service-waits    the service commands return only when the server is up or down,
                        so the fixed waits after a service stop or start are skipped
)";

const char kUsageEnd[] = R"(
Questions are asked on the terminal and answered No by default; without a terminal and
without --yes every question is answered No. Log lines are written to standard output
and to the run log file in Logs/ beside the program.

Exit codes:
  0   updated (online, shutdown: done, also when the database was in that mode already)
  1   failed, and nothing is left changed (an error before any change, or a complete rollback)
  2   cancelled by a No
  3   failed, and the installation needs the user (rollback incomplete, database left
      offline, final swap not finished): the log says what to do
  4   an earlier update had not finished and was not put in order (answered No, or no
      terminal and no --yes): nothing was changed; run the command again with --yes
  64  bad command line
)";

enum ExitCode { kUpdated = 0, kFailed = 1, kCancelled = 2, kNeedsUser = 3, kUnfinishedLeft = 4, kUsageError = 64 };

// CR and CR LF breaks of catalog texts become line ends on a terminal.
std::string ForTerminal(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Before, the text for a terminal, After.
void Put(FILE* out, const char* before, const std::string& text, const char* after) {
  std::fputs(before, out);
  std::fputs(ForTerminal(text).c_str(), out);
  std::fputs(after, out);
  std::fflush(out);
}

class ConsolePane : public ILogPane {
public:
  void AddLine(const std::string& Line) override {
    std::fputs((Line + "\n").c_str(), stdout);
    std::fflush(stdout);
  }
};

// The window's part, played on a terminal.
class ConsoleHost : public IHost {
public:
  ConsoleHost(TRunLog& log, ConsolePane& pane) : log_(log), pane_(pane) {}
  TUpdateSettings Values;
  bool Yes = false;

  void ShowMessage(TMsgDlgType Type, const std::string& Text) override {
    FILE* out = Type == TMsgDlgType::Error ? stderr : stdout;
    Put(out, "\n", Text, "\n\n");
  }
  bool AskYesNo(TMsgDlgType, const std::string& Text, TDefaultButton) override {
    Put(stdout, "\n", Text, "\n[y/N] ");
    if (Yes) {
      std::fputs("y (--yes)\n", stdout);
      return true;
    }
    if (!os::StandardInputIsTerminal()) {
      std::fputs("N (no terminal)\n", stdout);
      return false;
    }
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes" || answer == "YES";
  }
  void ProcessMessages() override {}
  [[noreturn]] void EndProgram() override { std::exit(kFailed); }
  const TUpdateSettings& Settings() const override { return Values; }
  bool HadErrors() const override { return errors_; }
  void SetHadErrors(bool Value) override { errors_ = Value; }
  void SaveExceptionToLog(const std::string& Text) override { log_.SaveExceptionToLog(pane_, Text); }
  void SetStatusText(const std::string& Text) override {
    if (!Text.empty()) Put(stdout, "*** ", Text, "\n");
  }

private:
  TRunLog& log_;
  ConsolePane& pane_;
  bool errors_ = false;
};

// The fixed waits after a service stop and start (15 s) and before a
// service start (30 s) are skipped; every shorter wait stays.
class NoServiceWaits : public os::Api {
public:
  void Sleep(std::uint32_t milliseconds) override {
    if (milliseconds < 15000) os::Api::Sleep(milliseconds);
  }
};

int UsageError(const std::string& message) {
  std::fprintf(stderr, "Updater_Console: %s\nUpdater_Console --help tells how to use it.\n", message.c_str());
  return kUsageError;
}

int Main(const std::vector<std::string>& args) {
  const TConsoleOptions cl = ParseConsoleOptions(args);
  if (cl.Help) {
    std::fputs(kUsage, stdout);
    if (!os::HasServiceRegistry()) std::fputs(kUsageNoRegistry, stdout);
    std::fputs(kUsageEnd, stdout);
    return 0;
  }
  if (!cl.Error.empty()) return UsageError(cl.Error);
  if (cl.Command != "update" && cl.Command != "online" && cl.Command != "shutdown")
    return UsageError(cl.Command.empty() ? "no command given" : "unknown command " + cl.Command);
  auto value = [&](const char* name) { return cl.Value(name); };
  const TProject* project = FindProject(value("--project"));
  if (!project) return UsageError("--project must be TAMBER, ZAVUDAVADA or TAMBER_MINI");
  if (value("--location").empty()) return UsageError("--location is missing");
  int language = 0;
  if (!value("--language").empty()) {
    language = std::atoi(value("--language").c_str());
    if (language < 2 || language > 5) return UsageError("--language must be 2, 3, 4 or 5");
  }

  const TConsolePassword secret = ConsolePassword(value("--password-file"));
  if (!secret.Error.empty()) return UsageError(secret.Error);
  if (!secret.Warning.empty()) std::fprintf(stderr, "Updater_Console: %s\n", secret.Warning.c_str());
  const std::string& password = secret.Password;

  TUpdateSettings settings;
  settings.ClientLibName = value("--client-lib").empty() ? CLIENT_LIB : value("--client-lib");
  settings.ConnectPrefix = value("--connect-prefix").empty() ? "localhost/3051:" : value("--connect-prefix");
  settings = ProjectSettings(project->Code, settings);

  if (!os::HasServiceRegistry()) {
    const bool needsServer = cl.Command == "update";
    const std::string type = value("--server-type").empty() ? "SUPER" : value("--server-type");
    if (type != "SUPER" && type != "CLASSIC") return UsageError("--server-type must be SUPER or CLASSIC");
    // The mode commands need the server only to put an unfinished update in
    // order; they take it when it is given.
    const bool serverGiven = !value("--server-dir").empty() || !value("--service-start").empty() ||
                             !value("--service-stop").empty() || !value("--service-query").empty();
    if ((needsServer || serverGiven) && (value("--server-dir").empty() || value("--service-start").empty() ||
                                         value("--service-stop").empty() || value("--service-query").empty()))
      return UsageError(cl.Command + " needs --server-dir, --service-start, --service-stop and --service-query here");
    // The service is known by the name a default Firebird instance's guardian has.
    const std::string service = "FirebirdGuardianDefaultInstance";
    if (needsServer || serverGiven) {
      os::DefineService(service, {value("--service-start"), value("--service-stop"), value("--service-query")});
      std::string dir = value("--server-dir");
      if (dir.back() != '/') dir += '/';
      settings.ServParams = {dir, type, settings.ConnectPrefix,
                             type == "SUPER" ? "FBSERVER.EXE" : "FB_INET_SERVER.EXE", service};
    }
  } else if (cl.NoWaits) {
    return UsageError("--no-service-waits is for systems without a service registry");
  }

  ConsolePane pane;
  TRunLog log;
  ConsoleHost host(log, pane);
  host.Values = settings;
  host.Yes = cl.Yes;
  ScopedHost useHost(host);
  TLDM ldm(host, BuiltInMessageCatalog());
  ldm.DataModuleCreate();
  if (language && language != ldm.Sil.ActiveLanguage()) ldm.SetLanguage(language);
  try {
    log.Create(os::ProgramFolder());
  } catch (const EInOutError& e) {
    AEException(log, pane, host, e);
    return kFailed;
  }

  NoServiceWaits noWaits;
  std::unique_ptr<os::ScopedApi> useNoWaits;
  if (cl.NoWaits) useNoWaits = std::make_unique<os::ScopedApi>(noWaits);

  // The installed server, read from the registry as the window reads it.
  if (os::HasServiceRegistry()) try {
    GetFBServParams(host.Values.ServParams);
  } catch (const std::exception& e) {
    AEException(log, pane, host, std::runtime_error(std::string(e.what()) + "\r" + GetMsgText("uMain_FormCreate_2")));
    return kFailed;
  }

  const std::string location = value("--location");
  if (cl.Command != "update") {
    try {
      if (cl.Command == "online")
        UpdateOnLine(location, password);
      else
        UpdateShutdown(location, password);
      return kUpdated;
    } catch (const EUnfinishedRunLeft& e) {
      Put(stderr, "\n", e.what(), "\n");
      return kUnfinishedLeft;
    } catch (const EUpdateNeedsUser& e) {
      AEException(log, pane, host, e);
      return kNeedsUser;
    } catch (const std::exception& e) {
      AEException(log, pane, host, e);
      return kFailed;
    }
  }

  int code = kUpdated;
  try {
    UpdateProgramm(location, password, project->Code);
  } catch (const EUnfinishedRunLeft& e) {
    Put(stderr, "\n", e.what(), "\n");
    return kUnfinishedLeft;
  } catch (const EAbort&) {
    code = kCancelled;
  } catch (const EUpdateNeedsUser& e) {
    AEException(log, pane, host, e);
    code = kNeedsUser;
  } catch (const std::exception& e) {
    AEException(log, pane, host, e);
    code = kFailed;
  }
  // The outcome as the window's status area tells it.
  const char* outcome = code == kUpdated ? "uMain_Finished_1" : host.HadErrors() ? "uMain_Finished_3" : "uMain_Finished_4";
  Put(code == kUpdated ? stdout : stderr, "\n", GetMsgText(outcome), "\n");
  return code;
}

} // namespace

// The payload programs the run writes out, carried in this program.
extern const unsigned char payload_files[], payload_files_g[], payload_files_gc[];
extern const std::size_t payload_files_size, payload_files_g_size, payload_files_gc_size;

int main(int argc, char** argv) {
  os::UseUtf8Console();
#ifdef UPDATER_TEST_HOOKS
  // The test build only: UPDATER_TEST_KILL_AT=K ends the program at once,
  // as a killed process ends (no clean-up, no flushing), just before the
  // run writes the K-th record of its journal: before its K-th step that
  // changes the live installation.
  if (const char* k = std::getenv("UPDATER_TEST_KILL_AT"); k && *k)
    TRunJournal::SetStepHook([at = std::atoi(k)](int step) {
      if (step == at) std::_Exit(137);
    });
#endif
  os::RegisterResource("EXEFILE", "FILES", {reinterpret_cast<const char*>(payload_files), payload_files_size});
  os::RegisterResource("EXEFILE", "FILES_G", {reinterpret_cast<const char*>(payload_files_g), payload_files_g_size});
  os::RegisterResource("EXEFILE", "FILES_GC", {reinterpret_cast<const char*>(payload_files_gc), payload_files_gc_size});
  return Main(os::CommandLineArguments(argc, argv));
}
