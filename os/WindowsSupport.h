// WindowsSupport - the one way to include <windows.h>.
// Pins the Windows version, keeps <windows.h> lean, and holds the UTF-8 /
// UTF-16 conversions used at every W call, plus the one RAII holder of
// handles with its traits per kind of handle. Only the OS layer and the
// Windows-only tests include it.
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

#include "os/OsLayer.h"

#include <string>

namespace os::win {

// The failure of Call about Path with the thread's last error number, read
// at once. A call that failed without setting one (Wine leaves it 0 in
// places) gets ERROR_FUNCTION_FAILED, so that a failure is never told as
// "The operation completed successfully".
Status LastFailure(const char* Call, const std::string& Path);

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

// Owns a handle of one kind: Traits gives its type, the values that mean "no
// handle" and how it is released (CloseHandle, FindClose, RegCloseKey,
// CloseServiceHandle). Copying is deleted; moving hands the handle over.
template <typename Traits>
class ScopedResource {
public:
  using Type = typename Traits::Type;
  ScopedResource() = default;
  explicit ScopedResource(Type h) : h_(h) {}
  ~ScopedResource() { Reset(); }
  ScopedResource(const ScopedResource&) = delete;
  ScopedResource& operator=(const ScopedResource&) = delete;
  ScopedResource(ScopedResource&& o) noexcept : h_(o.Release()) {}
  ScopedResource& operator=(ScopedResource&& o) noexcept {
    if (this != &o) {
      Reset();
      h_ = o.Release();
    }
    return *this;
  }
  bool Valid() const { return Traits::IsValid(h_); }
  Type Get() const { return h_; }
  // For the out-parameter of an opening call; releases what was held.
  Type* Receive() {
    Reset();
    return &h_;
  }
  // Gives the handle up without closing it.
  Type Release() {
    Type h = h_;
    h_ = Traits::Invalid();
    return h;
  }
  void Reset() {
    if (Valid()) Traits::Close(h_);
    h_ = Traits::Invalid();
  }

private:
  Type h_ = Traits::Invalid();
};

// Kernel objects: files, processes, snapshots, tokens. Their opening calls
// answer either INVALID_HANDLE_VALUE or NULL for "none".
struct KernelHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Type h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void Close(Type h) { CloseHandle(h); }
};
struct FindHandleTraits {
  using Type = HANDLE;
  static Type Invalid() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Type h) { return h != INVALID_HANDLE_VALUE; }
  static void Close(Type h) { FindClose(h); }
};
struct RegKeyTraits {
  using Type = HKEY;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { RegCloseKey(h); }
};
struct ServiceHandleTraits {
  using Type = SC_HANDLE;
  static Type Invalid() { return nullptr; }
  static bool IsValid(Type h) { return h != nullptr; }
  static void Close(Type h) { CloseServiceHandle(h); }
};
using ScopedHandle = ScopedResource<KernelHandleTraits>;
using ScopedFindHandle = ScopedResource<FindHandleTraits>;
using ScopedRegKey = ScopedResource<RegKeyTraits>;
using ScopedServiceHandle = ScopedResource<ServiceHandleTraits>;

} // namespace os::win
