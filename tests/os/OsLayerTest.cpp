// OsLayerTest - the file, folder, disk and resource calls of the operating-system layer,
// against the real system (natively and under Wine).
#include "TestHosts.h"
#ifdef _WIN32
#include "os/WindowsSupport.h"
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
