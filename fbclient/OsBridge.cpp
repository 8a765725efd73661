// OsBridge - loading libraries, reading files, the ANSI code page (see
// OsBridge.h).
#include "OsBridge.h"

#include <cstdio>
#include <utility>

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

unsigned AnsiCodePage() { return GetACP(); }

bool ToAnsiCodePage(std::string_view Utf8, std::string& Out, char32_t& Failed) {
  const UINT acp = GetACP();
  std::string out;
  out.reserve(Utf8.size());
  for (std::size_t pos = 0; pos < Utf8.size();) {
    const std::size_t start = pos;
    const char32_t cp = NextCodePoint(Utf8, pos);
    if (cp < 0x80) {
      out += static_cast<char>(cp);
      continue;
    }
    // An invalid byte is refused as the replacement character it stands for.
    bool valid = !(cp == 0xFFFD && Utf8.substr(start, pos - start) != "\xEF\xBF\xBD");
    wchar_t units[2];
    int n = 1;
    if (cp >= 0x10000) {
      units[0] = static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
      units[1] = static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
      n = 2;
    } else {
      units[0] = static_cast<wchar_t>(cp);
    }
    char bytes[8];
    int len = 0;
    if (acp == CP_UTF8) {
      // A system set to UTF-8 as its ANSI code page takes the text as it is.
      len = WideCharToMultiByte(CP_UTF8, 0, units, n, bytes, sizeof bytes, nullptr, nullptr);
    } else if (valid) {
      BOOL usedDefault = FALSE;
      len = WideCharToMultiByte(acp, WC_NO_BEST_FIT_CHARS, units, n, bytes, sizeof bytes, nullptr, &usedDefault);
      if (usedDefault) len = 0;
    }
    if (!valid || len <= 0) {
      Failed = cp;
      return false;
    }
    out.append(bytes, static_cast<std::size_t>(len));
  }
  Out = std::move(out);
  return true;
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

char32_t NextCodePoint(std::string_view Utf8, std::size_t& Pos) {
  const unsigned char c = static_cast<unsigned char>(Utf8[Pos]);
  char32_t cp;
  std::size_t len;
  if (c < 0x80) { cp = c; len = 1; }
  else if (c >= 0xC2 && c <= 0xDF) { cp = c & 0x1F; len = 2; }
  else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; len = 3; }
  else if (c >= 0xF0 && c <= 0xF4) { cp = c & 0x07; len = 4; }
  else { ++Pos; return 0xFFFD; }
  if (Pos + len > Utf8.size()) { ++Pos; return 0xFFFD; }
  for (std::size_t k = 1; k < len; ++k) {
    const unsigned char d = static_cast<unsigned char>(Utf8[Pos + k]);
    if ((d & 0xC0) != 0x80) { ++Pos; return 0xFFFD; }
    cp = (cp << 6) | (d & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
  static const char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[len] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) { ++Pos; return 0xFFFD; }
  Pos += len;
  return cp;
}

} // namespace fbclient::sys
