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
#include <vector>

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

#ifdef _WIN32
namespace {
std::string UnixPathUnderWine(const std::string& Path);
bool RunUnderWine(const std::string& Command);

// The links MakeLink made under Wine, as Linux paths.
std::vector<std::string>& WineLinks() {
  static std::vector<std::string> links;
  return links;
}

// Removes the links below Folder, each link itself, before the folder goes:
// the C++ library's remove_all walks into a link to a folder and does not
// come back from one to a file under Wine, and Wine, deleting a link to a
// folder, deletes the folder it points to instead. Under Wine the links
// MakeLink made there are removed by the system's rm; elsewhere every link
// (a reparse point) found below Folder.
void RemoveLinksBelow(const std::wstring& Folder) {
  if (const std::string unix = UnixPathUnderWine(os::win::Narrow(Folder)); !unix.empty()) {
    std::string command = "rm -f";
    auto& links = WineLinks();
    for (auto it = links.begin(); it != links.end();) {
      if (it->rfind(unix + "/", 0) != 0) {
        ++it;
        continue;
      }
      command += " '" + *it + "'";
      it = links.erase(it);
    }
    if (command != "rm -f") RunUnderWine(command);
    return;
  }
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW((Folder + L"\\*").c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = fd.cFileName, path = Folder + L"\\" + name;
    if (name == L"." || name == L"..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
      (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(path.c_str()) : DeleteFileW(path.c_str());
    else if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      RemoveLinksBelow(path);
  } while (FindNextFileW(find, &fd));
  FindClose(find);
}
} // namespace
#endif

TempDir::~TempDir() {
#ifdef _WIN32
  RemoveLinksBelow(os::win::Widen(path_));
#endif
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
// Runs a shell command line of Linux programs (paths in single quotes) from
// the Windows side (under Wine) and waits until it has ended: Wine can neither wait for a Linux
// program nor tell its exit code, so the shell leaves a mark when it is done.
bool RunUnderWine(const std::string& Command) {
  char temp[MAX_PATH];
  if (!GetTempPathA(MAX_PATH, temp)) return false;
  const std::string mark = std::string(temp) + "wine-run-" + std::to_string(GetCurrentProcessId()) + "-" +
                           std::to_string(GetTickCount64()) + ".done";
  // The shell's command is one argument of a Windows command line: its
  // quotes are escaped.
  std::string quoted;
  for (char c : Command + "; : > '" + UnixPathUnderWine(mark) + "'") quoted += c == '"' ? std::string("\\\"") : std::string(1, c);
  std::wstring line = os::win::Widen("Z:\\bin\\sh -c \"" + quoted + "\"");
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &si, &pi))
    return false;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  for (int i = 0; i < 400; ++i) {
    if (GetFileAttributesA(mark.c_str()) != INVALID_FILE_ATTRIBUTES) {
      DeleteFileA(mark.c_str());
      return true;
    }
    Sleep(25);
  }
  return false;
}

// The Linux path of a Windows path under Wine; empty elsewhere.
std::string UnixPathUnderWine(const std::string& Path) {
  using ToUnix = char*(CDECL*)(LPCWSTR);
  const auto toUnix =
      reinterpret_cast<ToUnix>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
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
  if (!RunUnderWine("ln -s '" + target + "' '" + unixLink + "'")) return false;
  WineLinks().push_back(unixLink);
  return GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
  if (folder)
    fs::create_directory_symlink(fs::u8path(Target), fs::u8path(Link), ec);
  else
    fs::create_symlink(fs::u8path(Target), fs::u8path(Link), ec);
  return !ec;
#endif
}

void RemoveLink(const std::string& Link) {
#ifdef _WIN32
  if (const std::string unix = UnixPathUnderWine(Link); !unix.empty()) {
    RunUnderWine("rm -f '" + unix + "'");
    return;
  }
#endif
  std::error_code ec;
  fs::remove(fs::u8path(Link), ec);
}
