// LibraryTest - a library loaded by its full path finds the libraries it
// needs in its own folder, although that folder is neither the program's
// nor on the search path: a Firebird server's client is loaded so, from the
// server's bin folder, beside the runtime libraries it imports.
#include <gtest/gtest.h>

#include "TestHosts.h"
#include "os/OsLayer.h"

#include <filesystem>

namespace {

namespace fs = std::filesystem;

TEST(Library, AFullPathFindsTheLibrariesItNeedsInItsOwnFolder) {
  TempDir dir;
  // Without the library it needs beside it, the load fails and names the
  // path. (First: once loaded, the needed library is found by its name.)
  const fs::path alone = fs::u8path(dir.Path()) / "alone";
  fs::create_directories(alone);
  fs::copy_file(fs::u8path(OS_LIBRARY_USER), alone / "os_library_user.dll");
  os::Library missing = os::Sys().LoadSharedLibrary((alone / "os_library_user.dll").string());
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.Why().Failure().Path, (alone / "os_library_user.dll").string());

  const fs::path folder = fs::u8path(dir.Path()) / "Firebird" / "bin";
  fs::create_directories(folder);
  fs::copy_file(fs::u8path(OS_LIBRARY_USER), folder / "os_library_user.dll");
  fs::copy_file(fs::u8path(OS_LIBRARY_LEAF), folder / "os_library_leaf.dll");
  os::Library lib = os::Sys().LoadSharedLibrary((folder / "os_library_user.dll").string());
  ASSERT_TRUE(lib) << lib.Why().Failure().Text;
  using Answer = int(__cdecl*)();
  const auto answer = reinterpret_cast<Answer>(os::Sys().Symbol(lib, "user_answer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 43);
}

} // namespace
