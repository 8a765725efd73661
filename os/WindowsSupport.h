//===- WindowsSupport.h - the one way to include <windows.h> -------------===//
//
// Pins the Windows version, keeps <windows.h> lean, and holds the UTF-8 /
// UTF-16 conversions used at every W call, plus the RAII holders of handles.
//
//===----------------------------------------------------------------------===//
#pragma once
#ifndef _WIN32
#error "WindowsSupport.h is for Windows builds only"
#endif

#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601 // Windows 7
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

namespace os::win {

// UTF-8 to UTF-16; invalid sequences become U+FFFD.
inline std::wstring Widen(const std::string& s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

// UTF-16 to UTF-8.
inline std::string Narrow(const wchar_t* w, size_t len) {
  if (len == 0) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(len), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(len), s.data(), n, nullptr, nullptr);
  return s;
}
inline std::string Narrow(const std::wstring& w) { return Narrow(w.data(), w.size()); }

// Owns a kernel HANDLE; copying is deleted.
class ScopedHandle {
public:
  ScopedHandle() = default;
  explicit ScopedHandle(HANDLE h) : h_(h) {}
  ~ScopedHandle() { Reset(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ScopedHandle(ScopedHandle&& o) noexcept : h_(o.h_) { o.h_ = INVALID_HANDLE_VALUE; }
  ScopedHandle& operator=(ScopedHandle&& o) noexcept {
    if (this != &o) { Reset(); h_ = o.h_; o.h_ = INVALID_HANDLE_VALUE; }
    return *this;
  }
  bool Valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE Get() const { return h_; }
  void Reset() {
    if (Valid()) CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
  }

private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};

// Owns a handle of another kind: Traits gives its invalid value and how it is
// released (FindClose, RegCloseKey, CloseServiceHandle). Copying is deleted.
template <typename Traits>
class ScopedResource {
public:
  using Type = typename Traits::Type;
  ScopedResource() = default;
  explicit ScopedResource(Type h) : h_(h) {}
  ~ScopedResource() { Reset(); }
  ScopedResource(const ScopedResource&) = delete;
  ScopedResource& operator=(const ScopedResource&) = delete;
  bool Valid() const { return h_ != Traits::Invalid(); }
  Type Get() const { return h_; }
  // For the out-parameter of an opening call; releases what was held.
  Type* Receive() {
    Reset();
    return &h_;
  }
  void Reset() {
    if (Valid()) Traits::Close(h_);
    h_ = Traits::Invalid();
  }

private:
  Type h_ = Traits::Invalid();
};

struct FindHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Type h) { FindClose(h); }
};
struct RegKeyTraits {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { RegCloseKey(h); }
};
struct ServiceHandleTraits {
  using Type = SC_HANDLE;
  static Type Invalid() { return nullptr; }
  static void Close(Type h) { CloseServiceHandle(h); }
};
using ScopedFindHandle = ScopedResource<FindHandleTraits>;
using ScopedRegKey = ScopedResource<RegKeyTraits>;
using ScopedServiceHandle = ScopedResource<ServiceHandleTraits>;

} // namespace os::win
