// Path - path rules by style (see Path.h).
#include "os/Path.h"

namespace os::path {

Style Resolve(Style S) {
  if (S != Style::native) return S;
#ifdef _WIN32
  return Style::windows;
#else
  return Style::posix;
#endif
}

char Delim(Style S) { return Resolve(S) == Style::windows ? '\\' : '/'; }

bool IsDelim(char C, Style S) { return C == '/' || (C == '\\' && Resolve(S) == Style::windows); }

std::string Normalized(const std::string& Path, Style S) {
  std::string out = Path;
  if (Resolve(S) == Style::windows)
    for (char& c : out)
      if (c == '/') c = '\\';
  return out;
}

std::string WithDelim(const std::string& Path, Style S) {
  return !Path.empty() && IsDelim(Path.back(), S) ? Path : Path + Delim(S);
}

std::string Join(const std::string& Parent, const std::string& Element, Style S) {
  return WithDelim(Parent, S) + Element;
}

namespace {
size_t AfterLastDelim(const std::string& Path, Style S) {
  size_t i = Path.size();
  while (i > 0 && !IsDelim(Path[i - 1], S)) --i;
  return i;
}
} // namespace

std::string FolderOf(const std::string& Path, Style S) { return Path.substr(0, AfterLastDelim(Path, S)); }

std::string FileNameOf(const std::string& Path, Style S) { return Path.substr(AfterLastDelim(Path, S)); }

std::string DriveRoot(const std::string& Path, Style S) {
  if (Resolve(S) != Style::windows) return Path;
  // "\\server\share\..." : the server and the share.
  if (Path.size() >= 2 && IsDelim(Path[0], S) && IsDelim(Path[1], S)) {
    size_t server = 2;
    while (server < Path.size() && !IsDelim(Path[server], S)) ++server;
    if (server == Path.size()) return WithDelim(Path, S);
    size_t share = server + 1;
    while (share < Path.size() && !IsDelim(Path[share], S)) ++share;
    return WithDelim(Path.substr(0, share), S);
  }
  // "C:..." : the drive letter and colon.
  if (Path.size() >= 2 && Path[1] == ':') return Path.substr(0, 2) + "\\";
  return WithDelim(Path, S);
}

namespace {
// The length of the part of Path that names no folder to create: the
// drive ("C:"), the server and share ("\\\\server\\share") or a leading
// delimiter.
size_t RootLength(const std::string& Path, Style S) {
  if (Resolve(S) == Style::windows) {
    if (Path.size() >= 2 && IsDelim(Path[0], S) && IsDelim(Path[1], S)) {
      size_t i = 2;
      for (int element = 0; element < 2; ++element) {
        while (i < Path.size() && IsDelim(Path[i], S)) ++i;
        while (i < Path.size() && !IsDelim(Path[i], S)) ++i;
      }
      return i;
    }
    if (Path.size() >= 2 && Path[1] == ':') return 2;
  }
  return 0;
}
} // namespace

std::vector<std::string> FoldersToCreate(const std::string& Path, Style S) {
  std::vector<std::string> folders;
  size_t i = RootLength(Path, S);
  while (i < Path.size()) {
    while (i < Path.size() && IsDelim(Path[i], S)) ++i;
    if (i == Path.size()) break;
    while (i < Path.size() && !IsDelim(Path[i], S)) ++i;
    folders.push_back(Path.substr(0, i));
  }
  return folders;
}

} // namespace os::path
