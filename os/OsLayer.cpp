// OsLayer - the operating-system interface.
// Only what is independent of the platform lives here; the calls themselves
// are in Windows/OsLayer.inc and Unix/OsLayer.inc.
#include "OsLayer.h"

#include <map>
#include <mutex>

namespace os {
namespace {
Api* current = nullptr;

// The resources hosts registered, by type and name in upper case.
struct ResourceTable {
  std::mutex Lock;
  std::map<std::string, std::string_view> Entries;
};
ResourceTable& Resources() {
  static ResourceTable table;
  return table;
}
std::string ResourceKey(const std::string& type, const std::string& name) {
  std::string key = type + '/' + name;
  for (char& c : key)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return key;
}

// Found among the registered resources (the implementations look here first).
bool FindRegisteredResource(const std::string& type, const std::string& name, std::string_view& data) {
  ResourceTable& t = Resources();
  std::lock_guard<std::mutex> g(t.Lock);
  auto it = t.Entries.find(ResourceKey(type, name));
  if (it == t.Entries.end()) return false;
  data = it->second;
  return true;
}
} // namespace

void RegisterResource(const std::string& type, const std::string& name, std::string_view data) {
  ResourceTable& t = Resources();
  std::lock_guard<std::mutex> g(t.Lock);
  t.Entries[ResourceKey(type, name)] = data;
}

std::string Describe(const Error& Failure) {
  std::string text = Failure.Call;
  if (!Failure.Path.empty()) text += " \"" + Failure.Path + "\"";
  text += ": " + Failure.Text;
  if (Failure.Code != 0) text += " (" + std::to_string(Failure.Code) + ")";
  return text;
}

std::string WithCause(const std::string& Text, const Status& Why) {
  return Why ? Text : Text + "\r" + Describe(Why.Failure());
}

Status RefusedLink(const std::string& Call, const std::string& Path) {
  return Status(Error{Call, Path, 0, "a link to another place; it is not followed and nothing is written through it"});
}

Api& Native() {
  static Api native;
  return native;
}

Api& Sys() { return current ? *current : Native(); }

std::string ProgramFolder() {
  const std::string exe = Sys().ProgramFile();
  const std::size_t slash = exe.find_last_of("\\/");
  return slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
}

ScopedApi::ScopedApi(Api& replacement) : previous_(current) { current = &replacement; }
ScopedApi::~ScopedApi() { current = previous_; }

//--- Owners -------------------------------------------------------------------

void ServiceKind::Close(Api& A, Handle H) noexcept { A.ServiceClose(H); }
void ProcessKind::Close(Api& A, Handle H) noexcept { A.ProcessClose(H); }
void LibraryKind::Close(Api& A, Handle H) noexcept { A.CloseLibrary(H); }

Service Api::OpenServiceManager(const std::string& machineName) {
  Status why;
  ServiceHandle h = ServiceManagerOpen(machineName, why);
  return h ? Service(*this, h) : Service(why);
}

Service Api::OpenServiceOf(const Service& manager, const std::string& name, ServiceAccess access) {
  if (!manager) return Service(manager.Why());
  Status why;
  ServiceHandle h = ServiceOpen(manager.Get(), name, access, why);
  return h ? Service(*this, h) : Service(why);
}

Process Api::StartProcess(const std::string& program, const std::string& params, const std::string& workDir,
                          std::uint16_t show) {
  ProcessHandle h = 0;
  Status started = ProcessStart(program, params, workDir, show, h);
  return started && h ? Process(*this, h) : Process(started);
}

std::uint32_t Api::WaitForExit(Process& process) {
  const std::uint32_t code = ProcessWait(process.Get());
  process.Reset();
  return code;
}

Library Api::LoadSharedLibrary(const std::string& name) {
  Status why;
  LibraryHandle h = OpenLibrary(name, why);
  return h ? Library(*this, h) : Library(why);
}

void* Api::Symbol(const Library& library, const std::string& name) {
  return library ? LibrarySymbol(library.Get(), name) : nullptr;
}

} // namespace os

#ifdef _WIN32
#include "Windows/OsLayer.inc"
#else
#include "Unix/OsLayer.inc"
#endif
