// ProgramFilesTest - the files a program writes beside itself from its
// resources: written when missing, never over an existing file, and whole
// or not at all.
#include "SystemDoubles.h"
#include "TestHosts.h"
#include "uProgramFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

const std::string kBytes = "the help file's bytes, long enough to be cut in half";

// The resource the tests write out, registered as a Windows program would
// carry it.
struct HelpResource {
  HelpResource() { os::RegisterResource("TESTHELP", "help", kBytes); }
};

// The native system, except that writing a file fails half-way, as on a
// full disk: half of the bytes are on the disk when the failure comes.
class FullDiskSys : public os::Api {
public:
  os::Status WriteFile(const std::string& Path, const std::string& Data, bool Append) override {
    os::Api::WriteFile(Path, Data.substr(0, Data.size() / 2), Append);
    return Injected("WriteFile", Path);
  }
};

class ProgramFiles : public ::testing::Test {
protected:
  HelpResource resource;
  TempDir dir;
  std::string File() const { return dir.File("help.chm"); }
};

TEST_F(ProgramFiles, AMissingFileIsWrittenAndAnExistingOneLeftAsItIs) {
  WriteMissingFile(dir.Path(), "help.chm", "TESTHELP", "help");
  EXPECT_EQ(ReadFileBytes(File()), kBytes);
  EXPECT_FALSE(fs::exists(fs::u8path(PartFileName(File()))));

  ASSERT_TRUE(os::Sys().WriteFile(File(), "the user's own", false));
  WriteMissingFile(dir.Path(), "help.chm", "TESTHELP", "help");
  EXPECT_EQ(ReadFileBytes(File()), "the user's own");
}

TEST_F(ProgramFiles, APartLeftByAnEarlierStartIsWrittenAnewAndRenamed) {
  ASSERT_TRUE(os::Sys().WriteFile(PartFileName(File()), "the first half of an earlier", false));
  WriteMissingFile(dir.Path(), "help.chm", "TESTHELP", "help");
  EXPECT_EQ(ReadFileBytes(File()), kBytes);
  EXPECT_FALSE(fs::exists(fs::u8path(PartFileName(File()))));
}

TEST_F(ProgramFiles, AWriteThatFailsHalfWayLeavesNoFileForTheNextStartToKeep) {
  {
    FullDiskSys full;
    os::ScopedApi use(full);
    const std::string message = MessageOf<std::runtime_error>([&] {
      WriteMissingFile(dir.Path(), "help.chm", "TESTHELP", "help");
    });
    EXPECT_EQ(message, "Не удалось записать файл " + File() + InjectedCause("WriteFile", PartFileName(File())));
  }
  EXPECT_FALSE(fs::exists(fs::u8path(File())));
  EXPECT_FALSE(fs::exists(fs::u8path(PartFileName(File()))));
  // The next start writes the whole file.
  WriteMissingFile(dir.Path(), "help.chm", "TESTHELP", "help");
  EXPECT_EQ(ReadFileBytes(File()), kBytes);
}

TEST_F(ProgramFiles, ARenameThatFailsRemovesThePartAndSaysWhichFile) {
  // A folder of the file's name: the complete part cannot take its place.
  fs::create_directories(fs::u8path(File()));
  const std::string message = MessageOf<std::runtime_error>([&] {
    WriteMissingFile(dir.Path(), "help.chm", "TESTHELP", "help");
  });
  EXPECT_EQ(WithoutCause(message, PartFileName(File())), "Не удалось записать файл " + File());
  EXPECT_FALSE(fs::exists(fs::u8path(PartFileName(File()))));
  EXPECT_TRUE(fs::is_directory(fs::u8path(File())));
}

TEST_F(ProgramFiles, AMissingResourceIsAnErrorNamingIt) {
  EXPECT_EQ(MessageOf<std::runtime_error>([&] { WriteMissingFile(dir.Path(), "x.dll", "TESTHELP", "nothing"); })
                .rfind("Не удалось прочитать ресурс nothing программы\r", 0),
            0u);
  EXPECT_FALSE(fs::exists(fs::u8path(dir.File("x.dll"))));
}

} // namespace
