// OsBridge - loading libraries, reading files (see OsBridge.h).
#include "OsBridge.h"

#include <cstdio>

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

namespace {
std::FILE* OpenForReading(const std::string& Path) { return _wfopen(os::win::Widen(Path).c_str(), L"rb"); }
} // namespace

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

namespace {
std::FILE* OpenForReading(const std::string& Path) { return std::fopen(Path.c_str(), "rb"); }
} // namespace

#endif

ReadResult ReadWholeFile(const std::string& Path, std::string& Out) {
  std::FILE* f = OpenForReading(Path);
  if (!f) return ReadResult::CannotOpen;
  // Read in one piece of the file's size where the size is known.
  if (std::fseek(f, 0, SEEK_END) == 0) {
    long size = std::ftell(f);
    if (size > 0) Out.reserve(static_cast<std::size_t>(size));
    std::fseek(f, 0, SEEK_SET);
  }
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) Out.append(buf, n);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  return ok ? ReadResult::Done : ReadResult::CannotRead;
}

} // namespace fbclient::sys
