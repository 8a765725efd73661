// OsLayerTest - the file, folder, disk and resource calls of the operating-system layer,
// against the real system (natively and under Wine).
#include "TestHosts.h"
#ifdef _WIN32
#include "os/WindowsSupport.h"

#include <aclapi.h>
#else
#include <sys/stat.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#ifndef _WIN32
extern const unsigned char resource_sample[];
extern const std::size_t resource_sample_size;
#endif

namespace fs = std::filesystem;

namespace {
const std::string kDelim(1, os::path::Delim());
constexpr char kSampleBytes[] = "bytes linked into the program\n\001\002\000\003";
const std::string kSample(kSampleBytes, sizeof kSampleBytes - 1);

std::string Utf8(const fs::path& p) {
  std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}
} // namespace

TEST(FolderList, ListsMatchingEntriesWithAttributesAndSizes) {
  TempDir dir;
  ASSERT_TRUE(os::Sys().WriteFile(dir.File("a.txt"), "12345", false));
  ASSERT_TRUE(os::Sys().WriteFile(dir.File("b.log"), "", false));
  ASSERT_TRUE(os::Sys().CreateDirectories(dir.File("sub")));

  std::vector<os::FolderEntry> all;
  ASSERT_TRUE(os::Sys().FolderList(dir.Path(), "*", all));
  std::sort(all.begin(), all.end(), [](auto& x, auto& y) { return x.Name < y.Name; });
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].Name, "a.txt");
  EXPECT_EQ(all[0].Size, 5u);
  EXPECT_FALSE(all[0].Attributes & os::kAttrDirectory);
  EXPECT_EQ(all[2].Name, "sub");
  EXPECT_TRUE(all[2].Attributes & os::kAttrDirectory);

  std::vector<os::FolderEntry> txt;
  ASSERT_TRUE(os::Sys().FolderList(dir.Path(), "*.txt", txt));
  ASSERT_EQ(txt.size(), 1u);
  EXPECT_EQ(txt[0].Name, "a.txt");

  std::vector<os::FolderEntry> none;
  EXPECT_TRUE(os::Sys().FolderList(dir.Path(), "*.fdb", none));
  EXPECT_TRUE(none.empty());
  EXPECT_FALSE(os::Sys().FolderList(dir.File("missing"), "*", none));
}

TEST(FileDeleteAndDirectoryRemove, RemoveOnlyWhatCanGo) {
  TempDir dir;
  const std::string file = dir.File("f.dll"), sub = dir.File("sub");
  ASSERT_TRUE(os::Sys().WriteFile(file, "x", false));
  ASSERT_TRUE(os::Sys().CreateDirectories(sub + kDelim + "inner"));
  EXPECT_TRUE(os::Sys().FileDelete(file));
  EXPECT_FALSE(os::Sys().FileExists(file));
  EXPECT_FALSE(os::Sys().FileDelete(file));
  EXPECT_FALSE(os::Sys().DirectoryRemove(sub)) << "not empty";
  EXPECT_TRUE(os::Sys().DirectoryRemove(sub + kDelim + "inner"));
  EXPECT_TRUE(os::Sys().DirectoryRemove(sub));
  EXPECT_FALSE(os::Sys().DirectoryExists(sub));
}

// A link is told from what it points to, and never followed by IsLink.
TEST(Links, IsLinkTellsTheLinkFromWhatItPointsTo) {
  TempDir dir;
  const std::string folder = dir.File("folder"), file = dir.File("file.txt");
  ASSERT_TRUE(os::Sys().CreateFolder(folder));
  ASSERT_TRUE(os::Sys().WriteFile(file, "x", false));
  ASSERT_TRUE(MakeLink(folder, dir.File("folder-link")));
  EXPECT_TRUE(os::Sys().IsLink(dir.File("folder-link")));
  EXPECT_TRUE(os::Sys().IsLink(dir.File("folder-link") + kDelim)) << "a trailing delimiter does not follow it";
  EXPECT_TRUE(os::Sys().DirectoryExists(dir.File("folder-link"))) << "what it points to is still seen through it";
  EXPECT_NE(os::Sys().FileAttributes(dir.File("folder-link")) & os::kAttrReparsePoint, 0u);
  for (const std::string& plain : {folder, file, dir.File("missing"), dir.Path()})
    EXPECT_FALSE(os::Sys().IsLink(plain)) << plain;
#ifndef _WIN32
  ASSERT_TRUE(MakeLink(file, dir.File("file-link")));
  EXPECT_TRUE(os::Sys().IsLink(dir.File("file-link")));
  ASSERT_TRUE(MakeLink(dir.File("missing"), dir.File("dangling")));
  EXPECT_TRUE(os::Sys().IsLink(dir.File("dangling")));
#endif
}

// A private folder is new (never an entry that was there, a link included)
// and only its owner and the administrators may enter it.
TEST(CreatePrivateFolder, MakesANewFolderOnlyTheUserAndTheAdministratorsMayEnter) {
  TempDir dir;
  const std::string outside = dir.File("outside");
  ASSERT_TRUE(os::Sys().CreateFolder(outside));
  ASSERT_TRUE(os::Sys().WriteFile(dir.File("file"), "x", false));
  ASSERT_TRUE(MakeLink(outside, dir.File("link")));
  for (const std::string& taken : {outside, dir.File("file"), dir.File("link"), dir.File("no") + kDelim + "parent"})
    EXPECT_FALSE(os::Sys().CreatePrivateFolder(taken)) << taken;
  EXPECT_TRUE(fs::is_empty(fs::u8path(outside))) << "nothing was made through the link";

  const std::string priv = dir.File("private");
#ifndef _WIN32
  const mode_t mask = umask(0); // no umask takes away what a private folder must not have
  const os::Status created = os::Sys().CreatePrivateFolder(priv);
  umask(mask);
  ASSERT_TRUE(created) << os::Describe(created.Failure());
  EXPECT_EQ(fs::status(fs::u8path(priv)).permissions(), fs::perms::owner_all);
#else
  ASSERT_TRUE(os::Sys().CreatePrivateFolder(priv));
  EXPECT_TRUE(os::Sys().DirectoryExists(priv));
  // Nobody but the user, the administrators and the system is let in: no
  // entry of the access list allows anything to Everyone, the users, the
  // authenticated users or the interactive users. A folder made the plain
  // way lets Everyone in, which shows that the list is really read.
  auto othersAllowed = [](const std::string& path) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (GetNamedSecurityInfoW(os::win::Widen(path).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &dacl, nullptr, &sd) != ERROR_SUCCESS)
      return std::string("<unreadable>");
    std::string others;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
      void* ace = nullptr;
      if (!GetAce(dacl, i, &ace) || static_cast<ACE_HEADER*>(ace)->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
      PSID sid = &static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart;
      for (WELL_KNOWN_SID_TYPE who : {WinWorldSid, WinBuiltinUsersSid, WinAuthenticatedUserSid, WinInteractiveSid})
        if (IsWellKnownSid(sid, who)) others += std::to_string(who) + " ";
    }
    if (!dacl) others = "<no list: everybody>";
    LocalFree(sd);
    return others;
  };
  EXPECT_EQ(othersAllowed(priv), "");
  ASSERT_TRUE(os::Sys().CreateFolder(dir.File("plain")));
  EXPECT_NE(othersAllowed(dir.File("plain")), "");
#endif
  EXPECT_FALSE(os::Sys().CreatePrivateFolder(priv)) << "it exists now";
}

// A copy over a link planted at its target fails and leaves the file the
// link points to as it was: its bytes and its permissions.
TEST(FileCopy, NeverWritesThroughALinkAtTheTarget) {
  TempDir dir;
  const std::string source = dir.File("new.dll"), victim = dir.File("victim.txt");
  ASSERT_TRUE(os::Sys().WriteFile(source, "new bytes", false));
  ASSERT_TRUE(os::Sys().WriteFile(victim, "precious", false));
  std::vector<std::string> links;
  std::error_code ec;
  fs::create_hard_link(fs::u8path(victim), fs::u8path(dir.File("hard.dll")), ec);
  if (!ec) links.push_back(dir.File("hard.dll"));
  // Under Wine a link to a file shows as the file itself: only the hard link
  // can be told there.
  if (MakeLink(victim, dir.File("soft.dll")) && os::Sys().IsLink(dir.File("soft.dll")))
    links.push_back(dir.File("soft.dll"));
  ASSERT_FALSE(links.empty());
  for (const std::string& link : links) {
    const os::Status copied = os::Sys().FileCopy(source, link, false);
    EXPECT_FALSE(copied) << link;
    EXPECT_NE(os::Describe(copied.Failure()).find("a link to another place"), std::string::npos)
        << os::Describe(copied.Failure());
    EXPECT_EQ(ReadFileBytes(victim), "precious") << link;
  }
#ifndef _WIN32
  // The read-only bit of a link is not set on what it points to.
  const fs::perms before = fs::status(fs::u8path(victim)).permissions();
  EXPECT_FALSE(os::Sys().WriteFileAttributes(dir.File("soft.dll"), os::kAttrReadOnly));
  EXPECT_EQ(fs::status(fs::u8path(victim)).permissions(), before);
#endif
  // A plain target is replaced as before.
  EXPECT_TRUE(os::Sys().FileCopy(source, dir.File("plain.dll"), false));
  EXPECT_TRUE(os::Sys().FileCopy(source, dir.File("plain.dll"), false));
  EXPECT_EQ(ReadFileBytes(dir.File("plain.dll")), "new bytes");
}

TEST(FullPathName, ResolvesAgainstTheCurrentFolder) {
  TempDir dir;
  const fs::path before = fs::current_path();
  fs::current_path(fs::u8path(dir.Path()));
  const std::string cwd = Utf8(fs::current_path());
  const std::string a = os::Sys().FullPathName("x" + kDelim + ".." + kDelim + "y.exe");
  const std::string b = os::Sys().FullPathName("." + kDelim + "y.exe");
  fs::current_path(before);
  EXPECT_EQ(a, cwd + kDelim + "y.exe");
  EXPECT_EQ(b, cwd + kDelim + "y.exe");
}

TEST(DiskQueries, KnowTheDriveOfTheTemporaryFolder) {
  TempDir dir;
#ifdef _WIN32
  const std::string root = dir.Path().substr(0, 3); // "C:\"
#else
  const std::string root = "/";
#endif
  EXPECT_EQ(os::Sys().DriveType(root), os::kDriveFixed) << root;
  std::uint64_t free = 0;
  EXPECT_TRUE(os::Sys().DiskFreeBytes(dir.Path(), free));
  EXPECT_GT(free, 0u);
  EXPECT_FALSE(os::Sys().DiskFreeBytes(dir.File("missing") + kDelim + "deeper", free));
}

#ifdef _WIN32
TEST(Failures, NameTheCallThePathAndAnErrorThatIsNeverSuccess) {
  SetLastError(ERROR_SHARING_VIOLATION);
  const os::Status held = os::win::LastFailure("MoveFileW", "C:\\Tamber\\DB_Data\\Tamber.fdb");
  ASSERT_FALSE(held);
  EXPECT_EQ(held.Failure().Code, static_cast<std::uint32_t>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(os::Describe(held.Failure()), "MoveFileW \"C:\\Tamber\\DB_Data\\Tamber.fdb\": " +
                                              os::SystemErrorText(ERROR_SHARING_VIOLATION) + " (32)");
  // A call that failed without setting an error number.
  SetLastError(ERROR_SUCCESS);
  const os::Status silent = os::win::LastFailure("CopyFileW", "x");
  ASSERT_FALSE(silent);
  EXPECT_EQ(silent.Failure().Code, static_cast<std::uint32_t>(ERROR_FUNCTION_FAILED));
  EXPECT_NE(silent.Failure().Text, os::SystemErrorText(ERROR_SUCCESS));
}
#endif

TEST(ProgramResource, ReadsTheBytesLinkedIntoTheProgram) {
#ifndef _WIN32
  os::RegisterResource("EXEFILE", "SAMPLE",
                       std::string_view(reinterpret_cast<const char*>(resource_sample), resource_sample_size));
#endif
  std::string_view data;
  ASSERT_TRUE(os::Sys().ProgramResource("exefile", "Sample", data));
  EXPECT_EQ(std::string(data), kSample);
  EXPECT_FALSE(os::Sys().ProgramResource("DLL", "SAMPLE", data));
  EXPECT_FALSE(os::Sys().ProgramResource("EXEFILE", "MISSING", data));
}
