// PathTest - the path rules of both styles, on every host.
#include "os/Path.h"

#include <gtest/gtest.h>

namespace {
using os::path::Style;

TEST(PathRules, DriveRootInBothStyles) {
  struct {
    Style S;
    const char* Path;
    const char* Root;
  } cases[] = {
      {Style::windows, "C:\\ProgramData\\NorvelSoft", "C:\\"},
      {Style::windows, "d:", "d:\\"},
      {Style::windows, "\\\\server\\share\\x\\y", "\\\\server\\share\\"},
      {Style::windows, "\\\\server\\share", "\\\\server\\share\\"},
      {Style::windows, "//server/share/x", "//server/share\\"},
      {Style::windows, "\\\\server", "\\\\server\\"},
      {Style::posix, "/srv/tamber", "/srv/tamber"},
      {Style::posix, "/", "/"},
      {Style::posix, "//server/share/x", "//server/share/x"},
  };
  for (auto& c : cases) EXPECT_EQ(os::path::DriveRoot(c.Path, c.S), c.Root) << c.Path;
}

TEST(PathRules, DelimitersJoinAndSplitByStyle) {
  struct {
    Style S;
    const char* Parent;
    const char* Joined; // Parent joined with "f.txt"
    const char* Folder; // of Joined
  } cases[] = {
      {Style::windows, "C:\\a", "C:\\a\\f.txt", "C:\\a\\"},
      {Style::windows, "C:\\a\\", "C:\\a\\f.txt", "C:\\a\\"},
      {Style::windows, "C:/a/", "C:/a/f.txt", "C:/a/"},
      {Style::posix, "/a", "/a/f.txt", "/a/"},
      {Style::posix, "/a/", "/a/f.txt", "/a/"},
      // A backslash is part of a POSIX name.
      {Style::posix, "/a\\b", "/a\\b/f.txt", "/a\\b/"},
  };
  for (auto& c : cases) {
    const std::string joined = os::path::Join(c.Parent, "f.txt", c.S);
    EXPECT_EQ(joined, c.Joined) << c.Parent;
    EXPECT_EQ(os::path::FolderOf(joined, c.S), c.Folder) << c.Parent;
    EXPECT_EQ(os::path::FileNameOf(joined, c.S), "f.txt") << c.Parent;
  }
  EXPECT_EQ(os::path::FolderOf("f.txt", Style::windows), "");
  EXPECT_EQ(os::path::Normalized("C:/a\\b/c", Style::windows), "C:\\a\\b\\c");
  EXPECT_EQ(os::path::Normalized("/a\\b/c", Style::posix), "/a\\b/c");
}

TEST(PathRules, OnlyFoldersBelowTheRootAreCreated) {
  using V = std::vector<std::string>;
  struct {
    Style S;
    const char* Path;
    V Folders;
  } cases[] = {
      // A program started from a network share whose Logs folder is missing.
      {Style::windows, "\\\\server\\share\\Tamber\\Logs",
       V{"\\\\server\\share\\Tamber", "\\\\server\\share\\Tamber\\Logs"}},
      {Style::windows, "\\\\server\\share", V{}},
      {Style::windows, "C:\\a\\b\\", V{"C:\\a", "C:\\a\\b"}},
      {Style::windows, "C:/a/b", V{"C:/a", "C:/a/b"}},
      {Style::windows, "rel\\dir", V{"rel", "rel\\dir"}},
      {Style::posix, "/srv/a//b", V{"/srv", "/srv/a", "/srv/a//b"}},
      {Style::posix, "rel/dir", V{"rel", "rel/dir"}},
      {Style::posix, "/", V{}},
  };
  for (auto& c : cases) EXPECT_EQ(os::path::FoldersToCreate(c.Path, c.S), c.Folders) << c.Path;
}

} // namespace
