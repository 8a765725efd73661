// E2ESupport - what the end-to-end tests under Wine stand on: commands run
// on the Linux host (the private Firebird server's tools among them), the
// Firebird service registered as a default instance of Firebird whose
// program starts and stops the private server, a Tamber installation with
// both parts inside the Wine prefix, and the updater's window driven from
// outside (its controls, menu commands and message boxes).
#pragma once

#include "os/WindowsSupport.h"

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace e2e {

namespace fs = std::filesystem;

// Polls Condition every 50 ms until it holds or Milliseconds have passed.
bool WaitFor(const std::function<bool()>& Condition, DWORD Milliseconds = 30000);

std::string ReadFile(const fs::path& Path);
// A path as UTF-8 text, the form the updater's units take.
std::string Utf8(const fs::path& Path);
void WriteFile(const fs::path& Path, const std::string& Data);

//--- The Linux host -------------------------------------------------------------------

// The Linux path Wine gives a Windows path.
std::string UnixPathOf(const fs::path& WindowsPath);

// A shell command run on the host through /bin/sh: its exit code (-1 when it
// did not finish within the time) and what it wrote to standard output and
// standard error.
struct HostResult {
  int ExitCode = -1;
  std::string Output;
};
HostResult RunOnHost(const std::string& Command, DWORD Milliseconds = 120000);

// isql-fb on the private server's database at the Windows path Database
// (none: the script connects or creates one itself), with the connection
// character set UTF8; its output (errors included).
std::string Isql(const fs::path& Database, const std::string& Sql);
// The first line of the output of a query that selects one value, trimmed.
std::string QueryValue(const fs::path& Database, const std::string& Sql);

//--- The Firebird service ----------------------------------------------------------

// The private Firebird server as a default instance of Firebird 2 that the
// maker's installer put on the computer: the programs list's entry, the
// server's service (FirebirdServerDefaultInstance, SuperServer, whose
// command line names the server folder) and its guardian
// (FirebirdGuardianDefaultInstance), which the updater stops and starts.
// The server folder is the private server's root; its bin folder holds the
// service program (as fbguard.exe and fbserver.exe) and the client bridge's
// module as fbclient.dll. Constructed, the guardian runs (and with it the
// server); destroyed, both are stopped and unregistered.
class FirebirdInstance {
public:
  FirebirdInstance();
  ~FirebirdInstance();
  FirebirdInstance(const FirebirdInstance&) = delete;
  FirebirdInstance& operator=(const FirebirdInstance&) = delete;

  static constexpr const wchar_t* kGuardian = L"FirebirdGuardianDefaultInstance";
  static constexpr const wchar_t* kServer = L"FirebirdServerDefaultInstance";

  // The server folder as discovery reads it, with its trailing backslash.
  static std::string Root();
  // The state of the guardian service (SERVICE_RUNNING, ...), 0 when it cannot be read.
  static DWORD GuardianState();
  // Whether the private server answers on its port.
  static bool ServerAnswers();
  // Starts or stops the guardian as an administrator would; whether it
  // reached the state.
  static bool Start();
  static bool Stop();

  bool Ready() const { return ready_; }

private:
  static void Remove();
  bool ready_ = false;
};

// A Tamber installation with both parts (Program, Resources, DB_Data with a
// WIN1251 database of version 106.1) at Folder, made on the private server
// by scripts/sample-installation.sh; empty text when it was made, else what
// went wrong.
std::string MakeInstallation(const fs::path& Folder);

//--- The updater's window ------------------------------------------------------------

// window-test.sh names the virtual desktop in WINDOW_TEST_DESKTOP; the test
// thread joins it. Empty name: the tests run on the desktop they have.
const std::wstring& DesktopName();
bool JoinDesktop();

// A window's text; "<no answer>" when its thread does not answer.
std::string TextOf(HWND Window);

// One run of Updater_Tamber.exe: a copy of the built program in Folder,
// started there with the variables of Env added to the test's environment.
class Updater {
public:
  explicit Updater(const fs::path& Folder, const std::map<std::wstring, std::wstring>& Env = {});
  ~Updater();
  Updater(const Updater&) = delete;
  Updater& operator=(const Updater&) = delete;

  // The main window, once it is shown.
  HWND Window();
  // The control with the identifier Id, at any depth.
  HWND Control(int Id);
  std::string Text(int Id) { return TextOf(Control(Id)); }
  // A menu command or a button click, posted as the system posts them.
  void Command(int Id);
  // The program's visible message box, or nullptr after Milliseconds.
  HWND Box(DWORD Milliseconds = 30000);
  static std::string BoxText(HWND Box);
  // Presses a button of the box (IDOK, IDYES, IDNO) and waits until it is gone.
  static void Answer(HWND Box, int Button);
  // The run log the program writes beside itself.
  std::string LogFile() const;

private:
  HWND VisibleWindow(const wchar_t* Class);
  fs::path exe_;
  PROCESS_INFORMATION process_{};
  HWND window_ = nullptr;
};

// The texts of the entries of a run log file, in order, without their date
// and time.
std::vector<std::string> LogEntries(const std::string& LogFile);

// Saves a picture of the whole screen as ARTIFACT_DIR/Name.png.
void Screenshot(const std::string& Name);

} // namespace e2e
