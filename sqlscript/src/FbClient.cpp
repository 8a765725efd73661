// FbClient - the Firebird client library loaded at run time (see FbClient.h).
#include "FbClient.h"

#include <cstring>

#ifdef _WIN32
#include "os/WindowsSupport.h"
#else
#include <dlfcn.h>
#endif

namespace sqlscript {
namespace {

#ifdef _WIN32
void* OpenLibrary(const std::string& name, std::string& error) {
  HMODULE h = LoadLibraryW(os::win::Widen(name).c_str());
  if (!h) error = "system error " + std::to_string(GetLastError());
  return reinterpret_cast<void*>(h);
}
void* Symbol(void* h, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(h), name));
}
void CloseLibrary(void* h) { FreeLibrary(static_cast<HMODULE>(h)); }
#else
void* OpenLibrary(const std::string& name, std::string& error) {
  void* h = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) {
    const char* e = dlerror();
    error = e ? e : "unknown error";
  }
  return h;
}
void* Symbol(void* h, const char* name) { return dlsym(h, name); }
void CloseLibrary(void* h) { dlclose(h); }
#endif

template <class F> void Bind(void* h, F& entry, const char* name) {
  entry = reinterpret_cast<F>(Symbol(h, name));
}

} // namespace

bool FbClient::Load(const std::string& Name, std::string& Error) {
  Unload();
  std::string why;
  void* h = OpenLibrary(Name, why);
  if (!h) {
    Error = "The client library \"" + Name + "\" cannot be loaded: " + why;
    return false;
  }
  handle_ = h;
#define SQLSCRIPT_BIND(name) Bind(h, name, #name);
  SQLSCRIPT_BIND(isc_attach_database)
  SQLSCRIPT_BIND(isc_detach_database)
  SQLSCRIPT_BIND(isc_start_transaction)
  SQLSCRIPT_BIND(isc_commit_transaction)
  SQLSCRIPT_BIND(isc_commit_retaining)
  SQLSCRIPT_BIND(isc_rollback_transaction)
  SQLSCRIPT_BIND(isc_rollback_retaining)
  SQLSCRIPT_BIND(isc_dsql_allocate_statement)
  SQLSCRIPT_BIND(isc_dsql_prepare)
  SQLSCRIPT_BIND(isc_dsql_sql_info)
  SQLSCRIPT_BIND(isc_dsql_describe)
  SQLSCRIPT_BIND(isc_dsql_execute)
  SQLSCRIPT_BIND(isc_dsql_execute2)
  SQLSCRIPT_BIND(isc_dsql_fetch)
  SQLSCRIPT_BIND(isc_dsql_free_statement)
  SQLSCRIPT_BIND(isc_dsql_execute_immediate)
  SQLSCRIPT_BIND(isc_interprete)
  SQLSCRIPT_BIND(fb_interpret)
  SQLSCRIPT_BIND(fb_sqlstate)
#undef SQLSCRIPT_BIND
  const char* missing = nullptr;
  if (!isc_attach_database) missing = "isc_attach_database";
  else if (!isc_detach_database) missing = "isc_detach_database";
  else if (!isc_start_transaction) missing = "isc_start_transaction";
  else if (!isc_commit_transaction) missing = "isc_commit_transaction";
  else if (!isc_commit_retaining) missing = "isc_commit_retaining";
  else if (!isc_rollback_transaction) missing = "isc_rollback_transaction";
  else if (!isc_rollback_retaining) missing = "isc_rollback_retaining";
  else if (!isc_dsql_allocate_statement) missing = "isc_dsql_allocate_statement";
  else if (!isc_dsql_prepare) missing = "isc_dsql_prepare";
  else if (!isc_dsql_sql_info) missing = "isc_dsql_sql_info";
  else if (!isc_dsql_describe) missing = "isc_dsql_describe";
  else if (!isc_dsql_execute) missing = "isc_dsql_execute";
  else if (!isc_dsql_execute2) missing = "isc_dsql_execute2";
  else if (!isc_dsql_fetch) missing = "isc_dsql_fetch";
  else if (!isc_dsql_free_statement) missing = "isc_dsql_free_statement";
  else if (!isc_dsql_execute_immediate) missing = "isc_dsql_execute_immediate";
  else if (!fb_interpret && !isc_interprete) missing = "fb_interpret";
  if (missing) {
    Error = "The client library \"" + Name + "\" has no entry " + missing;
    Unload();
    return false;
  }
  return true;
}

void FbClient::Unload() {
  if (handle_) CloseLibrary(handle_);
  handle_ = nullptr;
#define SQLSCRIPT_CLEAR(name) name = nullptr;
  SQLSCRIPT_CLEAR(isc_attach_database)
  SQLSCRIPT_CLEAR(isc_detach_database)
  SQLSCRIPT_CLEAR(isc_start_transaction)
  SQLSCRIPT_CLEAR(isc_commit_transaction)
  SQLSCRIPT_CLEAR(isc_commit_retaining)
  SQLSCRIPT_CLEAR(isc_rollback_transaction)
  SQLSCRIPT_CLEAR(isc_rollback_retaining)
  SQLSCRIPT_CLEAR(isc_dsql_allocate_statement)
  SQLSCRIPT_CLEAR(isc_dsql_prepare)
  SQLSCRIPT_CLEAR(isc_dsql_sql_info)
  SQLSCRIPT_CLEAR(isc_dsql_describe)
  SQLSCRIPT_CLEAR(isc_dsql_execute)
  SQLSCRIPT_CLEAR(isc_dsql_execute2)
  SQLSCRIPT_CLEAR(isc_dsql_fetch)
  SQLSCRIPT_CLEAR(isc_dsql_free_statement)
  SQLSCRIPT_CLEAR(isc_dsql_execute_immediate)
  SQLSCRIPT_CLEAR(isc_interprete)
  SQLSCRIPT_CLEAR(fb_interpret)
  SQLSCRIPT_CLEAR(fb_sqlstate)
#undef SQLSCRIPT_CLEAR
}

std::string FbClient::Messages(const ISC_STATUS* Status) const {
  std::string out;
  const ISC_STATUS* p = Status;
  char buf[1024];
  for (int i = 0; i < 32; ++i) { // a status vector holds far fewer messages
    buf[0] = '\0';
    ISC_LONG n = 0;
    if (fb_interpret) {
      n = fb_interpret(buf, sizeof buf, &p);
    } else {
      // The old entry writes without a size; the buffer is far larger than
      // any single message the client produces.
      n = isc_interprete(buf, const_cast<ISC_STATUS**>(&p));
    }
    if (n <= 0) break;
    buf[sizeof buf - 1] = '\0';
    if (!out.empty()) out += "\r\n-";
    out += buf;
  }
  return out;
}

std::string FbClient::ErrorText(const ISC_STATUS* Status) const {
  std::string first = "Statement failed";
  if (fb_sqlstate) {
    char state[FB_SQLSTATE_SIZE] = {};
    fb_sqlstate(state, Status);
    state[FB_SQLSTATE_SIZE - 1] = '\0';
    if (state[0]) first += std::string(", SQLSTATE = ") + state;
  }
  std::string msgs = Messages(Status);
  return msgs.empty() ? first : first + "\r\n" + msgs;
}

} // namespace sqlscript
