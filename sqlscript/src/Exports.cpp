// Exports - the library's C entries. Each is a noexcept thunk around the one
// Session of the library: it checks its arguments, runs the body inside try
// and turns every failure into the documented result; no exception leaves
// the library.
#include "ScriptEngine.h"
#include "sqlscript.h"

#include <cstdio>
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

// Ends the session and frees it; called when the library is unloaded.
void EndAtUnload() noexcept {
  try {
    delete g_session;
  } catch (...) {
  }
  g_session = nullptr;
}

bool ReadScriptFile(const char* FileName, std::string& Out, std::string& Error) {
#ifdef _WIN32
  FILE* f = _wfopen(os::win::Widen(FileName).c_str(), L"rb");
#else
  FILE* f = std::fopen(FileName, "rb");
#endif
  if (!f) {
    Error = std::string("The script file \"") + FileName + "\" cannot be opened";
    return false;
  }
  // Read in one piece of the file's size where the size is known.
  if (std::fseek(f, 0, SEEK_END) == 0) {
    long size = std::ftell(f);
    if (size > 0) Out.reserve(static_cast<std::size_t>(size));
    std::fseek(f, 0, SEEK_SET);
  }
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) Out.append(buf, n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  if (!ok) Error = std::string("The script file \"") + FileName + "\" cannot be read";
  return ok;
}

int32_t RunAndEnd(const std::string& Script, TStatementErrorProc OnStatementError, TMessageProc OnMessage,
                  TResultProc OnResult) {
  sqlscript::Session& s = TheSession();
  if (!s.Connected()) {
    if (OnStatementError) OnStatementError("", "Not connected to a database");
    return -1;
  }
  int failures = s.Run(Script, {OnStatementError, OnMessage, OnResult});
  s.End();
  return failures;
}

} // namespace

extern "C" {

int32_t SQLSCRIPT_CALL Connect(const char* ConnectString, TConnectErrorProc OnConnectError) {
  std::string error;
  try {
    if (!ConnectString) error = "No connect string given";
    else if (TheSession().Connect(ConnectString, error)) return 0;
  } catch (const std::exception& e) {
    error = e.what();
  } catch (...) {
    error = "Unknown failure";
  }
  if (error.empty()) error = "The connection failed";
  try {
    if (OnConnectError) OnConnectError(error.c_str());
  } catch (...) {
  }
  return 1;
}

int32_t SQLSCRIPT_CALL ExecScriptText(const char* ScriptText, TStatementErrorProc OnStatementError,
                                      TMessageProc OnMessage, TResultProc OnResult) {
  try {
    return RunAndEnd(ScriptText ? ScriptText : "", OnStatementError, OnMessage, OnResult);
  } catch (...) {
    if (g_session) g_session->End();
    return -1;
  }
}

int32_t SQLSCRIPT_CALL ExecScriptFile(const char* FileName, TStatementErrorProc OnStatementError,
                                      TMessageProc OnMessage, TResultProc OnResult) {
  try {
    std::string script, error;
    if (!FileName || !ReadScriptFile(FileName, script, error)) {
      if (!FileName) error = "No script file given";
      if (OnStatementError) OnStatementError("", error.c_str());
      if (g_session) g_session->End();
      return -1;
    }
    return RunAndEnd(script, OnStatementError, OnMessage, OnResult);
  } catch (...) {
    if (g_session) g_session->End();
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
