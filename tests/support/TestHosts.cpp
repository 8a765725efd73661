// TestHosts - the temporary folder and file helpers of the test doubles (see TestHosts.h).
#include "TestHosts.h"

#ifdef _WIN32
#include "os/WindowsSupport.h"
#endif

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

TempDir::TempDir(const std::string& Base) {
  static std::atomic<unsigned> counter{0};
  std::mt19937_64 rng(static_cast<unsigned long long>(
      std::chrono::steady_clock::now().time_since_epoch().count()));
  for (;;) {
    fs::path base = Base.empty() ? fs::temp_directory_path() : fs::absolute(fs::u8path(Base)).lexically_normal();
    fs::path p = base /
                 ("updater-test-" + std::to_string(rng() % 1000000000ULL) + "-" + std::to_string(counter++));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = p.make_preferred().string();
      return;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(fs::path(path_), ec);
}

std::string ReadFileBytes(const std::string& Path) {
  std::ifstream f(fs::path(Path), std::ios::binary);
  if (!f) return "<missing>";
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

std::string WithoutCause(const std::string& Message, const std::string& Path) {
  const std::size_t cr = Message.rfind('\r');
  if (cr != std::string::npos && Message.find(" \"" + Path, cr) != std::string::npos)
    return Message.substr(0, cr);
  return "<no cause naming " + Path + "> " + Message;
}

#ifdef _WIN32
namespace {
// The Linux path of a Windows path under Wine; empty elsewhere.
std::string UnixPathUnderWine(const std::string& Path) {
  using ToUnix = char*(CDECL*)(LPCWSTR);
  const auto toUnix =
      reinterpret_cast<ToUnix>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name"));
  if (!toUnix) return {};
  char* unix = toUnix(os::win::Widen(Path).c_str());
  if (!unix) return {};
  std::string result = unix;
  HeapFree(GetProcessHeap(), 0, unix);
  return result;
}
} // namespace
#endif

bool MakeLink(const std::string& Target, const std::string& Link) {
  std::error_code ec;
  const bool folder = fs::is_directory(fs::u8path(Target), ec);
#ifdef _WIN32
  const std::wstring link = os::win::Widen(Link);
  if (CreateSymbolicLinkW(link.c_str(), os::win::Widen(Target).c_str(), folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) &&
      GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES)
    return true;
  const std::string target = UnixPathUnderWine(Target), unixLink = UnixPathUnderWine(Link);
  if (target.empty() || unixLink.empty()) return false;
  std::wstring line = os::win::Widen("Z:\\bin\\ln -s \"" + target + "\" \"" + unixLink + "\"");
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &si, &pi))
    return false;
  WaitForSingleObject(pi.hProcess, INFINITE);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  // Wine's exit code of a Linux program says nothing: the link decides.
  return GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
  if (folder)
    fs::create_directory_symlink(fs::u8path(Target), fs::u8path(Link), ec);
  else
    fs::create_symlink(fs::u8path(Target), fs::u8path(Link), ec);
  return !ec;
#endif
}
