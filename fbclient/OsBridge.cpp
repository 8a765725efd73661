// OsBridge - loading libraries (see OsBridge.h).
#include "OsBridge.h"


#ifdef _WIN32
#include "os/WindowsSupport.h"
#else
#include <dlfcn.h>
#endif

namespace fbclient::sys {

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& Other) noexcept {
  if (this != &Other) {
    Close();
    handle_ = Other.handle_;
    Other.handle_ = nullptr;
  }
  return *this;
}

#ifdef _WIN32

bool SharedLibrary::Open(const std::string& Name, std::string& Why) {
  Close();
  HMODULE h = LoadLibraryW(os::win::Widen(Name).c_str());
  if (!h) Why = "system error " + std::to_string(GetLastError());
  handle_ = reinterpret_cast<void*>(h);
  return h != nullptr;
}

void SharedLibrary::Close() noexcept {
  if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
  handle_ = nullptr;
}

void* SharedLibrary::Symbol(const char* Name) const {
  return handle_ ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), Name)) : nullptr;
}

#else

bool SharedLibrary::Open(const std::string& Name, std::string& Why) {
  Close();
  handle_ = dlopen(Name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* e = dlerror();
    Why = e ? e : "unknown error";
  }
  return handle_ != nullptr;
}

void SharedLibrary::Close() noexcept {
  if (handle_) dlclose(handle_);
  handle_ = nullptr;
}

void* SharedLibrary::Symbol(const char* Name) const { return handle_ ? dlsym(handle_, Name) : nullptr; }

#endif

} // namespace fbclient::sys
