// Path - path rules that differ only by the style of the path.
// Portable text rules on paths: which characters delimit elements, how an
// element is appended, which root folder decides the kind of drive. Every
// rule takes the path style as a parameter, so that the Windows rules run
// (and are tested) on any host; Style::native is the style of the system
// the program runs on. Nothing here touches the file system.
#pragma once

#include <string>
#include <vector>

namespace os::path {

enum class Style {
  native,  // the running system's: windows on Windows, posix elsewhere
  posix,   // '/' only
  windows, // '\' preferred, '/' accepted; drive letters and \\server\share
};

// Style with native resolved to the running system's style.
Style Resolve(Style S);

// The delimiter a path of this style is written with.
char Delim(Style S = Style::native);
// Whether C delimits elements: '/' always; '\' on Windows only.
bool IsDelim(char C, Style S = Style::native);

// Path with every delimiter written as Delim(S) (on Windows '/' becomes '\';
// a POSIX path is returned as it is).
std::string Normalized(const std::string& Path, Style S = Style::native);

// Path with one delimiter at its end (kept when it has one already).
std::string WithDelim(const std::string& Path, Style S = Style::native);
// Parent, one delimiter unless Parent ends in one, and Element.
std::string Join(const std::string& Parent, const std::string& Element, Style S = Style::native);

// Everything up to and including the last delimiter ("" when Path has none).
std::string FolderOf(const std::string& Path, Style S = Style::native);
// Everything after the last delimiter.
std::string FileNameOf(const std::string& Path, Style S = Style::native);

// The root folder whose drive type decides whether a path is on a local
// drive: on Windows the drive ("C:\") or the server and share
// ("\\server\share\") of the path, each with its delimiter; on POSIX, where
// every folder belongs to some mounted file system, the path itself.
std::string DriveRoot(const std::string& Path, Style S = Style::native);

// The folders that creating Path with its missing parents may have to
// create, from the first element below the root down to Path itself: never
// the drive, the server or the share of a network path (which cannot be
// created), nor the POSIX root.
std::vector<std::string> FoldersToCreate(const std::string& Path, Style S = Style::native);

} // namespace os::path
