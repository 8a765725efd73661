// Exports - the library's C entries. Each is a noexcept thunk around the one
// Session of the library: it checks its arguments, runs the body inside try
// and turns every failure into the documented result. What runs after a
// failure (ending the session, reporting through the host's callback)
// cannot throw, so no exception leaves the library.
#include "ScriptEngine.h"
#include "sqlscript.h"

#include "os/OsLayer.h"

#include <string>

#ifdef _WIN32
#include "os/WindowsSupport.h"
#endif

namespace {

sqlscript::Session* g_session = nullptr;

sqlscript::Session& TheSession() {
  if (!g_session) g_session = new sqlscript::Session;
  return *g_session;
}

// Ends a session that may be open; after a failure and before a report.
void EndSession() noexcept {
  if (g_session) g_session->End();
}

// Ends the session and frees it; called when the library is unloaded.
void EndAtUnload() noexcept {
  delete g_session; // the destructor only ends the session, which cannot throw
  g_session = nullptr;
}

// The host's callbacks are called only through these: an exception a host
// lets escape from a callback is dropped here.
void ReportConnectError(TConnectErrorProc Callback, const char* Text) noexcept {
  try {
    if (Callback) Callback(Text);
  } catch (...) {
  }
}
void ReportRunError(TStatementErrorProc Callback, const char* Text) noexcept {
  try {
    if (Callback) Callback("", Text);
  } catch (...) {
  }
}

int32_t RunAndEnd(const std::string& Script, TStatementErrorProc OnStatementError, TMessageProc OnMessage,
                  TResultProc OnResult) {
  sqlscript::Session& s = TheSession();
  if (!s.Connected()) {
    ReportRunError(OnStatementError, "Not connected to a database");
    return -1;
  }
  int failures = s.Run(Script, {OnStatementError, OnMessage, OnResult});
  s.End();
  return failures;
}

} // namespace

extern "C" {

int32_t SQLSCRIPT_CALL Connect(const char* ConnectString, TConnectErrorProc OnConnectError) SQLSCRIPT_NOEXCEPT {
  try {
    std::string error;
    if (!ConnectString) error = "No connect string given";
    else if (TheSession().Connect(ConnectString, error)) return 0;
    if (error.empty()) error = "The connection failed";
    ReportConnectError(OnConnectError, error.c_str());
  } catch (const std::exception& e) {
    EndSession();
    ReportConnectError(OnConnectError, e.what());
  } catch (...) {
    EndSession();
    ReportConnectError(OnConnectError, "Unknown failure");
  }
  return 1;
}

int32_t SQLSCRIPT_CALL ExecScriptText(const char* ScriptText, TStatementErrorProc OnStatementError,
                                      TMessageProc OnMessage, TResultProc OnResult) SQLSCRIPT_NOEXCEPT {
  try {
    return RunAndEnd(ScriptText ? ScriptText : "", OnStatementError, OnMessage, OnResult);
  } catch (...) {
    EndSession();
    return -1;
  }
}

int32_t SQLSCRIPT_CALL ExecScriptFile(const char* FileName, TStatementErrorProc OnStatementError,
                                      TMessageProc OnMessage, TResultProc OnResult) SQLSCRIPT_NOEXCEPT {
  try {
    if (!FileName) {
      ReportRunError(OnStatementError, "No script file given");
      EndSession();
      return -1;
    }
    // The file name is UTF-8; the script is read in one piece, as bytes.
    std::string script;
    std::uint64_t size = 0;
    const os::Status sized = os::Sys().FileSize(FileName, size);
    const os::Status read = sized ? os::Sys().ReadFile(FileName, 0, size, script) : sized;
    if (!read) {
      // The system's cause follows: the call, the file and its error.
      const std::string error = std::string("The script file \"") + FileName + "\" cannot be " +
                                (sized ? "read" : "opened") + ": " + os::Describe(read.Failure());
      ReportRunError(OnStatementError, error.c_str());
      EndSession();
      return -1;
    }
    return RunAndEnd(script, OnStatementError, OnMessage, OnResult);
  } catch (...) {
    EndSession();
    return -1;
  }
}

} // extern "C"

#ifdef _WIN32
// Unloading the library (FreeLibrary, Reserved NULL) ends a session that is
// still open. At process exit (Reserved not NULL) other libraries may be gone
// already and the system closes the connection's socket itself.
BOOL WINAPI DllMain(HINSTANCE, DWORD Reason, LPVOID Reserved) {
  if (Reason == DLL_PROCESS_DETACH && Reserved == nullptr) EndAtUnload();
  return TRUE;
}
#else
namespace {
struct UnloadGuard {
  ~UnloadGuard() { EndAtUnload(); }
} g_unloadGuard;
} // namespace
#endif
