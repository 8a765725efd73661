// UpdateEngineTest - the update engine's working folders, folder and file operations with
// backup, and payload extraction, on real files.
#include "SystemDoubles.h"
#include "TestHosts.h"
#include "uLDM.h"
#include "uUpdateRun.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <set>
#ifdef _WIN32
#include "os/WindowsSupport.h"
#endif

namespace fs = std::filesystem;

namespace {

const char D = os::path::Delim();

std::string P(std::initializer_list<std::string> parts) {
  std::string s;
  for (const std::string& p : parts) s += (s.empty() ? "" : std::string(1, D)) + p;
  return s;
}

void Write(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::u8path(path).parent_path());
  std::ofstream f(fs::u8path(path), std::ios::binary | std::ios::trunc);
  f << bytes;
}

bool Exists(const std::string& path) { return fs::exists(fs::u8path(path)); }

// Messages in English, a recording host, and a test folder in the build
// tree (a local, fixed drive wherever the build is).
class Engine : public ::testing::Test {
protected:
  RecordingHost host;
  ScopedHost use{host};
  TLDM ldm{host, BuiltInMessageCatalog()};
  TempDir dir{"."};
  void SetUp() override {
    ldm.SetLanguage(English_Language);
  }
  std::string At(std::initializer_list<std::string> parts) {
    std::string s = dir.Path();
    for (const std::string& p : parts) s += D + p;
    return s;
  }
};

template <typename F>
std::string ErrorOf(F&& f) {
  return MessageOf<EUpdateError>(f);
}

// The native system with single calls that fail or answer as told.
class FaultySys : public os::Api {
public:
  std::string FailDelete, FailMove;
  std::set<std::string> FailCopyTo;
  static constexpr std::uint32_t kAsk = 0xFFFF;
  std::uint32_t Drive = kAsk;
  bool AllFoldersExist = false;
  os::Status FileDelete(const std::string& p) override {
    return p == FailDelete ? Injected("DeleteFileW", p) : os::Api::FileDelete(p);
  }
  os::Status FileMove(const std::string& s, const std::string& t) override {
    return s == FailMove ? Injected("MoveFileW", s) : os::Api::FileMove(s, t);
  }
  os::Status FileCopy(const std::string& s, const std::string& t, bool f) override {
    return FailCopyTo.count(CopyTarget(t)) ? Injected("CopyFileW", CopyTarget(t)) : os::Api::FileCopy(s, t, f);
  }
  std::uint32_t DriveType(const std::string& r) override { return Drive != kAsk ? Drive : os::Api::DriveType(r); }
  bool DirectoryExists(const std::string& p) override { return AllFoldersExist || os::Api::DirectoryExists(p); }
};

} // namespace

TEST_F(Engine, UpdateInitComputesTheWorkingFolders) {
  FixedClockSys clock; // 09.12.2025 14:30:05
  os::ScopedApi use(clock);
  const std::string root = dir.Path();
  struct Case {
    std::string Location;
    std::string RootDir;
    bool Exe, Db;
  } cases[] = {
      {root, root, false, false},
      {root + D, root + D, true, false},   // a trailing delimiter stays on RootDir only
      {root, root, false, true},
      {root, root, true, true},
      {root + D + "Program" + D + "..", root, true, true},
  };
  for (const Case& c : cases) {
    fs::remove_all(fs::u8path(root + D + "Program"));
    fs::remove_all(fs::u8path(root + D + "DB_Data"));
    if (c.Exe) Write(P({root, "Program", "Tamber.exe"}), "exe");
    if (c.Db) Write(P({root, "DB_Data", "Tamber.fdb"}), "db");
    fs::create_directories(fs::u8path(root + D + "Program"));
    host.Log.clear();
    const TWorkingFolders WF = UpdateInit(c.Location, host.Values);
    const std::string tmp = P({root, "Tmp$091225143005"});
    EXPECT_EQ(WF.RootDir, c.RootDir) << c.Location;
    EXPECT_EQ(WF.ProgramDir, P({root, "Program"}));
    EXPECT_EQ(WF.ResourcesDir, P({root, "Resources"}));
    EXPECT_EQ(WF.DBDataDir, P({root, "DB_Data"}));
    EXPECT_EQ(WF.TmpDir, tmp);
    EXPECT_EQ(WF.NewDir, P({tmp, "New"}));
    EXPECT_EQ(WF.OldDir, P({tmp, "Old"}));
    EXPECT_EQ(WF.OldDBDataDir, P({tmp, "Old", "DB_Data"}));
    EXPECT_EQ(WF.WrkDir, P({tmp, "Wrk"}));
    EXPECT_EQ(WF.OldProgramDir, P({tmp, "Old", "Program"}));
    EXPECT_EQ(WF.WrkProgramDir, P({tmp, "Wrk", "Program"}));
    EXPECT_EQ(WF.OldResourcesDir, P({tmp, "Old", "Resources"}));
    EXPECT_EQ(WF.WrkResourcesDir, P({tmp, "Wrk", "Resources"}));
    EXPECT_EQ(WF.WrkDBDataDir, P({tmp, "Wrk", "DB_Data"}));
    EXPECT_EQ(WF.OldOtherDir, P({tmp, "Old", "Other"}));
    EXPECT_EQ(WF.DBConnect, "localhost/3051:" + P({root, "DB_Data", "Tamber.fdb"}));
    EXPECT_EQ(WF.WrkDBConnect, "localhost/3051:" + P({tmp, "Wrk", "DB_Data", "Tamber.fdb"}));
    EXPECT_EQ(WF.ClientPartFound, c.Exe);
    EXPECT_EQ(WF.ServerPartFound, c.Db);
    EXPECT_EQ(host.Log, (std::vector<std::string>{"Initialization of variable values…",
                                                  "Initialization of the variable values has been terminated"}));
  }
}

TEST_F(Engine, UpdateInitTakesARelativeLocationAgainstTheCurrentFolder) {
  const std::string name = fs::u8path(dir.Path()).filename().string();
  EXPECT_EQ(UpdateInit(name, host.Values).RootDir, os::Sys().FullPathName(dir.Path()));
  EXPECT_EQ(ErrorOf([&] { UpdateInit(name + D + "missing", host.Values); }),
            "The path to the updatable program \"" + os::Sys().FullPathName(dir.Path()) + D + "missing\" was not found!");
}

TEST_F(Engine, UpdateInitAcceptsOnlyLocalDrives) {
  const std::pair<std::uint32_t, bool> cases[] = {
      {os::kDriveFixed, true},   {os::kDriveRemovable, true}, {os::kDriveRemote, false}, {os::kDriveCdRom, false},
      {os::kDriveRamDisk, false}, {os::kDriveUnknown, false},  {os::kDriveNoRootDir, false},
  };
  FaultySys sys;
  os::ScopedApi use(sys);
  for (auto [type, accepted] : cases) {
    sys.Drive = type;
    std::string error = ErrorOf([&] { UpdateInit(dir.Path(), host.Values); });
    EXPECT_EQ(error, accepted ? "<no error>" : "The path to the updatable program \"" + dir.Path() + "\" is not local!")
        << type;
  }
}

TEST_F(Engine, UpdateInitRejectsNetworkAndRamFolders) {
#ifdef _WIN32
  // A network path (Wine answers "no root folder" for it, Windows "remote").
  FaultySys sys;
  sys.AllFoldersExist = true;
  os::ScopedApi use(sys);
  const std::string unc = "\\\\fileserver\\share\\NorvelSoft\\TAMBER_RU";
  EXPECT_EQ(ErrorOf([&] { UpdateInit(unc, host.Values); }), "The path to the updatable program \"" + unc + "\" is not local!");
#else
  // tmpfs is a RAM disk: it does not survive a restart, so nothing is installed there.
  if (!fs::is_directory("/dev/shm")) GTEST_SKIP() << "no /dev/shm here";
  TempDir shm("/dev/shm");
  EXPECT_EQ(ErrorOf([&] { UpdateInit(shm.Path(), host.Values); }), "The path to the updatable program \"" + shm.Path() + "\" is not local!");
#endif
}

TEST_F(Engine, MyRemoveDirDeletesTheTreeWithReadOnlyFiles) {
  Write(At({"t", "a.txt"}), "a");
  Write(At({"t", "sub", "deeper", "b.txt"}), "b");
  fs::create_directories(fs::u8path(At({"t", "empty"})));
  fs::permissions(fs::u8path(At({"t", "sub", "deeper", "b.txt"})), fs::perms::owner_read, fs::perm_options::replace);
#ifdef _WIN32
  os::Sys().WriteFileAttributes(At({"t", "a.txt"}), os::kAttrHidden | os::kAttrSystem | os::kAttrReadOnly);
#endif
  MyRemoveDir(At({"t"}));
  EXPECT_FALSE(Exists(At({"t"})));
  MyRemoveDir(At({"t"})); // gone already: nothing happens
  MyRemoveDir(At({"never", "there"}));
}

TEST_F(Engine, MyRemoveDirStopsAtAFileItCannotDelete) {
  Write(At({"t", "keep.txt"}), "k");
  FaultySys sys;
  sys.FailDelete = At({"t", "keep.txt"});
  os::ScopedApi use(sys);
  EXPECT_EQ(ErrorOf([&] { MyRemoveDir(At({"t"})); }), "It is impossible to delete the folder " + At({"t", "keep.txt"}) +
                                                         "!" + InjectedCause("DeleteFileW", At({"t", "keep.txt"})));
  EXPECT_TRUE(Exists(At({"t", "keep.txt"})));
}

#ifndef _WIN32
TEST_F(Engine, MyRemoveDirRemovesLinksWithoutFollowingThem) {
  Write(At({"outside", "precious.fdb"}), "data");
  Write(At({"outside", "file.txt"}), "file");
  fs::create_directories(fs::u8path(At({"t"})));
  fs::create_directory_symlink(fs::u8path(At({"outside"})), fs::u8path(At({"t", "link"})));
  fs::create_symlink(fs::u8path(At({"outside", "file.txt"})), fs::u8path(At({"t", "filelink"})));
  fs::permissions(fs::u8path(At({"outside", "file.txt"})), fs::perms::owner_read, fs::perm_options::replace);
  MyRemoveDir(At({"t"}));
  EXPECT_FALSE(Exists(At({"t"})));
  EXPECT_EQ(ReadFileBytes(At({"outside", "precious.fdb"})), "data");
  EXPECT_EQ(fs::status(fs::u8path(At({"outside", "file.txt"}))).permissions() & fs::perms::owner_write, fs::perms::none);
}
#endif

// A folder the run deletes that is itself a link (planted under a name the
// run will use) is refused: what it points to keeps everything.
TEST_F(Engine, MyRemoveDirRefusesAFolderThatIsALink) {
  Write(At({"outside", "precious.fdb"}), "data");
  Write(At({"outside", "sub", "file.txt"}), "file");
  ASSERT_TRUE(MakeLink(At({"outside"}), At({"Tmp$1"})));
  for (const std::string& dir : {At({"Tmp$1"}), At({"Tmp$1"}) + D})
    EXPECT_EQ(ErrorOf([&] { MyRemoveDir(dir); }), "The path " + dir +
                                                      " is a link (a symbolic link or junction) to another place: the "
                                                      "updater does not follow it, nor write or delete anything through it.");
  EXPECT_EQ(ReadFileBytes(At({"outside", "precious.fdb"})), "data");
  EXPECT_EQ(ReadFileBytes(At({"outside", "sub", "file.txt"})), "file");
  EXPECT_NE(os::Sys().FileAttributes(At({"Tmp$1"})) & os::kAttrReparsePoint, 0u) << "the link stays";
}

// The run's own folder: new, or the run does not use it.
TEST_F(Engine, MyCreateRunDirTakesNoEntryThatIsThereAlready) {
  Write(At({"outside", "precious.fdb"}), "data");
  ASSERT_TRUE(MakeLink(At({"outside"}), At({"Tmp$1"})));
  fs::create_directories(fs::u8path(At({"Tmp$2", "Old", "Other"})));
  for (const std::string& taken : {At({"Tmp$1"}), At({"Tmp$2"})})
    EXPECT_EQ(WithoutCause(ErrorOf([&] { MyCreateRunDir(taken); }), taken),
              "It is impossible to create the folder " + taken + "!");
  EXPECT_TRUE(fs::is_directory(fs::u8path(At({"Tmp$2", "Old", "Other"}))));
  EXPECT_EQ(ReadFileBytes(At({"outside", "precious.fdb"})), "data");
  MyCreateRunDir(At({"Tmp$3"}));
  MyCreateDir(At({"Tmp$3", "New"}));
  EXPECT_TRUE(fs::is_directory(fs::u8path(At({"Tmp$3", "New"}))));
#ifndef _WIN32
  EXPECT_EQ(fs::status(fs::u8path(At({"Tmp$3"}))).permissions(), fs::perms::owner_all);
#endif
}

TEST_F(Engine, MyCreateDirCreatesOneNewFolder) {
  MyCreateDir(At({"new"}));
  EXPECT_TRUE(fs::is_directory(fs::u8path(At({"new"}))));
  EXPECT_EQ(WithoutCause(ErrorOf([&] { MyCreateDir(At({"new"})); }), At({"new"})),
            "It is impossible to create the folder " + At({"new"}) + "!");
  EXPECT_EQ(WithoutCause(ErrorOf([&] { MyCreateDir(At({"no", "parent"})); }), At({"no", "parent"})),
            "It is impossible to create the folder " + At({"no", "parent"}) + "!");
}

TEST_F(Engine, MyCopyDirMergesTheTreeIntoTheTarget) {
  Write(At({"src", "a.txt"}), "new a");
  Write(At({"src", "sub", "b.txt"}), "b");
  fs::create_directories(fs::u8path(At({"src", "empty"})));
  Write(At({"dst", "a.txt"}), "old a");
  Write(At({"dst", "extra.txt"}), "extra");
  fs::permissions(fs::u8path(At({"dst", "a.txt"})), fs::perms::owner_read, fs::perm_options::replace);
#ifdef _WIN32
  os::Sys().WriteFileAttributes(At({"src", "sub", "b.txt"}), os::kAttrHidden | os::kAttrSystem);
#endif
  MyCopyDir(At({"src"}), At({"dst"}));
  EXPECT_EQ(ReadFileBytes(At({"dst", "a.txt"})), "new a");
  EXPECT_EQ(ReadFileBytes(At({"dst", "sub", "b.txt"})), "b");
  EXPECT_EQ(ReadFileBytes(At({"dst", "extra.txt"})), "extra");
  EXPECT_TRUE(fs::is_directory(fs::u8path(At({"dst", "empty"}))));
  MyCopyDir(At({"src"}), At({"deep", "new", "dst"})); // missing parents are created
  EXPECT_EQ(ReadFileBytes(At({"deep", "new", "dst", "sub", "b.txt"})), "b");

  EXPECT_EQ(ErrorOf([&] { MyCopyDir(At({"missing"}), At({"dst"})); }),
            "The " + At({"missing"}) + D + " folder does not exist!");
  Write(At({"blocker"}), "a file where the target folder should be");
  EXPECT_EQ(WithoutCause(ErrorOf([&] { MyCopyDir(At({"src"}), At({"blocker", "dst"})); }), At({"blocker"})),
            "It is impossible to create the folder " + At({"blocker", "dst"}) + D + "!");
}

// A copy reads nothing through a link in the tree it copies and writes
// nothing through a link planted in the tree it writes: links in the source
// are skipped and named, a target folder that is a link stops the copy, a
// target file with another name for it (a link) is skipped.
TEST_F(Engine, MyCopyDirNeverGoesThroughALink) {
  Write(At({"outside", "secret.txt"}), "secret");
  Write(At({"src", "a.txt"}), "new a");
  Write(At({"src", "sub", "b.txt"}), "new b");
  ASSERT_TRUE(MakeLink(At({"outside"}), At({"src", "linked"})));
  const bool fileLinks = MakeLink(At({"outside", "secret.txt"}), At({"src", "secret.txt"})) &&
                         (os::Sys().FileAttributes(At({"src", "secret.txt"})) & os::kAttrReparsePoint);
  // (Under Wine a link to a file is not seen as one.)

  std::vector<TCopySkipped> skipped = MyCopyDir(At({"src"}), At({"dst"}));
  std::set<std::string> names;
  for (const TCopySkipped& s : skipped) {
    names.insert(s.Source);
    EXPECT_NE(os::Describe(s.Why.Failure()).find("a link to another place"), std::string::npos) << s.Source;
  }
  std::set<std::string> expected = {At({"src", "linked"})};
  if (fileLinks) expected.insert(At({"src", "secret.txt"}));
  EXPECT_EQ(names, expected);
  EXPECT_FALSE(Exists(At({"dst", "linked"})));
  if (fileLinks) {
    EXPECT_FALSE(Exists(At({"dst", "secret.txt"})));
  }
  EXPECT_EQ(ReadFileBytes(At({"dst", "sub", "b.txt"})), "new b");
  EXPECT_NE(ErrorOf([&] { MyCopyDirComplete(At({"src"}), At({"dst"})); }).find(At({"src", "linked"})), std::string::npos);

  // A planted folder link in the target tree: the copy stops there.
  const std::string link = "The path ";
  fs::create_directories(fs::u8path(At({"live"})));
  fs::create_directories(fs::u8path(At({"elsewhere"})));
  ASSERT_TRUE(MakeLink(At({"elsewhere"}), At({"live", "sub"})));
  EXPECT_EQ(ErrorOf([&] { MyCopyDir(At({"src"}), At({"live"})); }).rfind(link + At({"live", "sub"}) + D + " is a link", 0), 0u);
  EXPECT_TRUE(fs::is_empty(fs::u8path(At({"elsewhere"}))));
  // A target file with a second name elsewhere is not written into: the
  // copy is renamed over the name in the tree, which leaves the other name
  // and its content alone.
  Write(At({"victim.txt"}), "precious");
  fs::create_directories(fs::u8path(At({"live2"})));
  fs::create_hard_link(fs::u8path(At({"victim.txt"})), fs::u8path(At({"live2", "a.txt"})));
  RemoveLink(At({"src", "linked"}));
  RemoveLink(At({"src", "secret.txt"}));
  skipped = MyCopyDir(At({"src"}), At({"live2"}));
  EXPECT_TRUE(skipped.empty());
  EXPECT_EQ(ReadFileBytes(At({"victim.txt"})), "precious");
  EXPECT_EQ(ReadFileBytes(At({"live2", "a.txt"})), ReadFileBytes(At({"src", "a.txt"})));
  // Neither tree is entered through a link at its top.
  ASSERT_TRUE(MakeLink(At({"outside"}), At({"outside-link"})));
  EXPECT_EQ(ErrorOf([&] { MyCopyDir(At({"outside-link"}), At({"dst3"})); }).rfind(link + At({"outside-link"}) + D + " is a link", 0), 0u);
  EXPECT_EQ(ErrorOf([&] { MyCopyDir(At({"src"}), At({"outside-link"})); }).rfind(link + At({"outside-link"}) + D + " is a link", 0), 0u);
  EXPECT_FALSE(Exists(At({"outside", "a.txt"})));
  EXPECT_FALSE(Exists(At({"dst3"})));
}

TEST(BackupNames, EncodeAndDecodeInBothStyles) {
  using os::path::Style;
  struct Case {
    Style S;
    const char* Path;
    const char* Encoded;
    const char* Decoded; // nullptr: Path itself
  } cases[] = {
      {Style::windows, "C:\\Program Files\\Firebird\\bin\\udf_trans_p$2_l$0.fpd",
       "C{3A}{5C}Program Files{5C}Firebird{5C}bin{5C}udf_trans_p$2_l$0.fpd", nullptr},
      {Style::windows, "C:\\Program Files\\Firebird\\udf\\QRX_UDF.dll",
       "C{3A}{5C}Program Files{5C}Firebird{5C}udf{5C}QRX_UDF.dll", nullptr},
      {Style::windows, "\\\\server\\share\\f.dll", "{5C}{5C}server{5C}share{5C}f.dll", nullptr},
      // A target written with '/' gets the entry of its '\' spelling, so its
      // deletion marker is found and honoured by the restore.
      {Style::windows, "C:/Program Files/Firebird/udf/new.dll", "C{3A}{5C}Program Files{5C}Firebird{5C}udf{5C}new.dll",
       "C:\\Program Files\\Firebird\\udf\\new.dll"},
      {Style::posix, "/opt/firebird/bin/udf_trans_p$2_l$0.fpd", "{2F}opt{2F}firebird{2F}bin{2F}udf_trans_p$2_l$0.fpd",
       nullptr},
      {Style::posix, "/srv/a:b/Ф.dll", "{2F}srv{2F}a{3A}b{2F}Ф.dll", nullptr},
      {Style::posix, "/srv/back\\slash", "{2F}srv{2F}back\\slash", nullptr},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncodeBackupName(c.Path, c.S), c.Encoded) << c.Path;
    EXPECT_EQ(DecodeBackupName(c.Encoded, c.S), c.Decoded ? c.Decoded : c.Path) << c.Path;
  }
}

TEST_F(Engine, CopyFileWithBackUpRecordsAndRestoreUndoes) {
  const std::string target = At({"server", "udf", "QRX_UDF.dll"});
  const std::string created = At({"server", "bin", "udf_trans_p$2_l$0.fpd"});
  const std::string backup = At({"Tmp", "Old", "Other"});
  Write(target, "old library");
  fs::create_directories(fs::u8path(At({"server", "bin"})));
  Write(At({"New", "QRX_UDF.dll"}), "new library");
  Write(At({"New", "second.dll"}), "second library");
  Write(At({"New", "udf_trans_p$2_l$0.fpd"}), "new support file");

  EXPECT_TRUE(CopyFileWithBackUp(At({"New", "QRX_UDF.dll"}), target, backup));
  EXPECT_EQ(ReadFileBytes(target), "new library");
  EXPECT_EQ(ReadFileBytes(os::path::Join(backup, EncodeBackupName(target))), "old library");
  // The same target again: the entry holds the state after the first replacement.
  EXPECT_TRUE(CopyFileWithBackUp(At({"New", "second.dll"}), target, backup));
  EXPECT_EQ(ReadFileBytes(os::path::Join(backup, EncodeBackupName(target))), "new library");

  EXPECT_TRUE(CopyFileWithBackUp(At({"New", "udf_trans_p$2_l$0.fpd"}), created, backup));
  EXPECT_EQ(ReadFileBytes(os::path::Join(backup, kDeletionMarker + EncodeBackupName(created))), "");
  EXPECT_EQ(ReadFileBytes(created), "new support file");
  // A new file that came read-only goes all the same.
  ASSERT_TRUE(os::Sys().WriteFileAttributes(created, os::kAttrReadOnly));

  EXPECT_TRUE(RestoreFilesFromBackup(backup).empty());
  EXPECT_EQ(ReadFileBytes(target), "new library");
  EXPECT_FALSE(Exists(created));
  EXPECT_TRUE(Exists(os::path::Join(backup, EncodeBackupName(target)))); // entries stay

  EXPECT_FALSE(CopyFileWithBackUp(At({"New", "missing.dll"}), At({"server", "udf", "x.dll"}), backup));
}

TEST_F(Engine, RestoreGivesBackTheOldBytesAndAttributes) {
  const std::string target = At({"server", "udf", "QRX_UDF_Str.dll"});
  Write(target, "old bytes");
  Write(At({"New", "QRX_UDF_Str.dll"}), "new bytes");
  std::uint32_t attributes = os::kAttrReadOnly;
#ifdef _WIN32
  attributes |= os::kAttrHidden;
#endif
  ASSERT_TRUE(os::Sys().WriteFileAttributes(target, attributes));
  ASSERT_TRUE(CopyFileWithBackUp(At({"New", "QRX_UDF_Str.dll"}), target, At({"Other"})));
  EXPECT_EQ(ReadFileBytes(target), "new bytes");
  EXPECT_TRUE(RestoreFilesFromBackup(At({"Other"})).empty());
  EXPECT_EQ(ReadFileBytes(target), "old bytes");
  EXPECT_EQ(os::Sys().FileAttributes(target) & attributes, attributes);
}

TEST_F(Engine, CopyFileWithBackUpFailsBeforeTouchingTheTarget) {
  const std::string target = At({"server", "udf", "QRX_UDF.dll"});
  const std::string backup = At({"Old", "Other"});
  Write(target, "old");
  Write(At({"New", "QRX_UDF.dll"}), "new");
  FaultySys sys;
  os::ScopedApi use(sys);
  struct Case {
    const char* What;
    std::string Target, Backup;
    std::function<void()> Arrange;
    std::string Message;
    std::string SystemCause; // the path a failure in the system's own words names
  } cases[] = {
      {"target folder missing", At({"nowhere", "f.dll"}), backup, [] {},
       "The folder " + At({"nowhere", "f.dll"}) + " does not exist!", ""},
      {"file held open", target, backup, [&] { sys.FailMove = target; },
       "It is impossible to get the full access to the file " + target +
           ".\r\nPlease exit all applications which can use this file" + InjectedCause("MoveFileW", target), ""},
      {"backup copy fails", target, backup, [&] { sys.FailMove.clear(); sys.FailCopyTo = {os::path::Join(backup, EncodeBackupName(target))}; },
       "It is impossible to copy the " + target + " file to the folder " + backup + "!" +
           InjectedCause("CopyFileW", os::path::Join(backup, EncodeBackupName(target))), ""},
      {"backup folder cannot be made", target, At({"New", "QRX_UDF.dll", "Other"}), [] {},
       "The folder " + At({"New", "QRX_UDF.dll", "Other"}) + " cannot be created!", At({"New", "QRX_UDF.dll"})},
  };
  for (const Case& c : cases) {
    c.Arrange();
    std::string error = ErrorOf([&] { CopyFileWithBackUp(At({"New", "QRX_UDF.dll"}), c.Target, c.Backup); });
    if (!c.SystemCause.empty()) error = WithoutCause(error, c.SystemCause);
    EXPECT_EQ(error, c.Message) << c.What;
    EXPECT_EQ(ReadFileBytes(target), "old") << c.What;
  }
}

#ifdef _WIN32
TEST_F(Engine, CopyFileWithBackUpRefusesAFileHeldOpenByAnother) {
  const std::string target = At({"udf", "QRX_UDF.dll"});
  Write(target, "old");
  Write(At({"New", "QRX_UDF.dll"}), "new");
  HANDLE h = CreateFileW(fs::u8path(target).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  std::string error = ErrorOf([&] { CopyFileWithBackUp(At({"New", "QRX_UDF.dll"}), target, At({"Other"})); });
  CloseHandle(h);
  EXPECT_EQ(error.substr(0, 53), "It is impossible to get the full access to the file " + target.substr(0, 1));
  EXPECT_EQ(ReadFileBytes(target), "old");
  EXPECT_TRUE(fs::is_empty(fs::u8path(At({"Other"}))));
}
#endif

TEST_F(Engine, RestoreGoesOnPastFailuresAndRestoresHiddenEntries) {
  const std::string backup = At({"Other"});
  const std::string a = At({"live", "a.dll"}), b = At({"gone", "b.dll"}), c = At({"live", "c.dll"});
  Write(a, "a before");
  Write(c, "c before");
  fs::create_directories(fs::u8path(At({"gone"})));
  Write(b, "b before");
  Write(At({"New", "x"}), "new");
  for (const std::string& t : {a, b, c}) ASSERT_TRUE(CopyFileWithBackUp(At({"New", "x"}), t, backup));
#ifdef _WIN32
  os::Sys().WriteFileAttributes(os::path::Join(backup, EncodeBackupName(c)), os::kAttrHidden | os::kAttrSystem);
#endif
  fs::remove_all(fs::u8path(At({"gone"}))); // b's folder has gone: its restore fails
  std::vector<std::string> failed = RestoreFilesFromBackup(backup);
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(WithoutCause(failed[0], b), "The restoration of the file failed: " + b);
  EXPECT_EQ(ReadFileBytes(a), "a before");
  EXPECT_EQ(ReadFileBytes(c), "c before");
  EXPECT_TRUE(RestoreFilesFromBackup(At({"no", "backup"})).empty());
}

// The restore undoes what the list names, and nothing else that lies in the
// backup folder: a deletion marker or a copy planted there is left alone.
TEST_F(Engine, RestoreUndoesOnlyTheEntriesItWasGiven) {
  const std::string backup = At({"Other"});
  const std::string replaced = At({"server", "udf", "QRX_UDF.dll"}), created = At({"server", "udf", "new.dll"});
  const std::string victim = At({"elsewhere", "victim.txt"}), overwritten = At({"elsewhere", "overwritten.txt"});
  Write(replaced, "old library");
  Write(victim, "precious");
  Write(overwritten, "original");
  Write(At({"New", "x.dll"}), "new");
  std::vector<std::string> written;
  ASSERT_TRUE(CopyFileWithBackUp(At({"New", "x.dll"}), replaced, backup, written));
  ASSERT_TRUE(CopyFileWithBackUp(At({"New", "x.dll"}), created, backup, written));
  ASSERT_TRUE(CopyFileWithBackUp(At({"New", "x.dll"}), replaced, backup, written)); // the same target again
  EXPECT_EQ(written, (std::vector<std::string>{EncodeBackupName(replaced), kDeletionMarker + EncodeBackupName(created),
                                               EncodeBackupName(replaced)}));
  Write(os::path::Join(backup, kDeletionMarker + EncodeBackupName(victim)), "");
  Write(os::path::Join(backup, EncodeBackupName(overwritten)), "planted");
  // A marker the run recorded counts even when its file has gone.
  fs::remove(fs::u8path(os::path::Join(backup, kDeletionMarker + EncodeBackupName(created))));

  EXPECT_TRUE(RestoreFilesFromBackup(backup, written).empty());
  EXPECT_EQ(ReadFileBytes(replaced), "new") << "the entry holds the state after the first replacement";
  EXPECT_FALSE(Exists(created));
  EXPECT_EQ(ReadFileBytes(victim), "precious");
  EXPECT_EQ(ReadFileBytes(overwritten), "original");
  EXPECT_TRUE(RestoreFilesFromBackup(backup, {}).empty());
  EXPECT_EQ(ReadFileBytes(victim), "precious");
}

TEST(AppendExceptionMessage, JoinsWithACarriageReturn) {
  EXPECT_EQ(AppendExceptionMessage("", "first"), "Exception Message: first");
  EXPECT_EQ(AppendExceptionMessage("Exception Message: first", "second"),
            "Exception Message: first\rException Message: second");
}

TEST_F(Engine, ExtractFilesFromResourceWritesThePayload) {
#ifndef _WIN32
  os::RegisterResource("EXEFILE", "FILES", "server payload bytes");
  os::RegisterResource("EXEFILE", "FILES_G", "tamber payload bytes");
#endif
  const std::string file = At({"New", "files.exe"});
  Write(file, "an older, longer file of the same name");
  ExtractFilesFromResource(file, "");
  EXPECT_EQ(ReadFileBytes(file), "server payload bytes");
  ExtractFilesFromResource(At({"New", "files_g.exe"}), "files_g");
  EXPECT_EQ(ReadFileBytes(At({"New", "files_g.exe"})), "tamber payload bytes");

  std::string error = ErrorOf([&] { ExtractFilesFromResource(At({"New", "x.exe"}), "files_gx"); });
  const std::string first = "Error of working with the resource \"files_gx\"!\r";
  EXPECT_EQ(error.substr(0, first.size()), first);
  EXPECT_GT(error.size(), first.size()) << "the system's message follows";
  error = ErrorOf([&] { ExtractFilesFromResource(At({"no", "folder", "files.exe"}), ""); });
  EXPECT_EQ(error.substr(0, 44), "Error of working with the resource \"files\"!\r");
}

TEST_F(Engine, MyCopyDirReportsTheFilesItSkipped) {
  Write(At({"src", "a.txt"}), "a");
  Write(At({"src", "sub", "b.txt"}), "b");
  Write(At({"src", "sub", "c.txt"}), "c");
  FaultySys sys;
  sys.FailCopyTo = {At({"dst", "sub", "b.txt"})};
  os::ScopedApi use(sys);
  const std::vector<TCopySkipped> skipped = MyCopyDir(At({"src"}), At({"dst"}));
  ASSERT_EQ(skipped.size(), 1u);
  EXPECT_EQ(skipped[0].Source, At({"src", "sub", "b.txt"}));
  EXPECT_EQ(skipped[0].Target, At({"dst", "sub", "b.txt"}));
  EXPECT_EQ(ReadFileBytes(At({"dst", "sub", "c.txt"})), "c") << "the walk goes on past a skipped file";
  EXPECT_EQ(ErrorOf([&] { MyCopyDirComplete(At({"src"}), At({"dst2"})); }), "<no error>");
  // Every file that was not copied is named, each with its cause, in the
  // order of the walk.
  sys.FailCopyTo = {At({"dst3", "a.txt"}), At({"dst3", "sub", "b.txt"})};
  const std::string error = ErrorOf([&] { MyCopyDirComplete(At({"src"}), At({"dst3"})); });
  const std::string a = "It is impossible to copy the " + At({"src", "a.txt"}) + " file to the folder " +
                        At({"dst3"}) + "!" + InjectedCause("CopyFileW", At({"dst3", "a.txt"}));
  const std::string b = "It is impossible to copy the " + At({"src", "sub", "b.txt"}) + " file to the folder " +
                        At({"dst3", "sub"}) + "!" + InjectedCause("CopyFileW", At({"dst3", "sub", "b.txt"}));
  EXPECT_TRUE(error == a + "\r" + b || error == b + "\r" + a) << error;
}

TEST(Projects, TheSettingsEachProjectPutsIntoTheWindow) {
  struct Case {
    const char* Code;
    const char* Db;
    const char* Exe;
    int Factor;
  } cases[] = {{"TAMBER", "Tamber.fdb", "Tamber.exe", 2},
               {"zavudavada", "Zavudavada.fdb", "Zavudavada.exe", 3},
               {"TAMBER_MINI", "Tamber_Mini.fdb", "Tamber_Mini.exe", 2}};
  TUpdateSettings base;
  base.ClientLibName = "fbclient.dll";
  for (const Case& c : cases) {
    TUpdateSettings s = ProjectSettings(c.Code, base);
    EXPECT_EQ(s.DBFileName, c.Db);
    EXPECT_EQ(s.ExeFileName, c.Exe);
    EXPECT_EQ(s.SpaceFactor, c.Factor);
    EXPECT_EQ(s.ClientLibName, "fbclient.dll") << "the rest is kept";
  }
  EXPECT_THROW(ProjectSettings("OTHER"), std::invalid_argument);
}

TEST(RunTexts, ReportBlocksAndTheUsersText) {
  const TScriptLog buffer = {"------- STATEMENT --------", "execute procedure Check_Versio(106, 1)",
                             "-------   ERROR   --------", "exception 1\n-~Database is too old~"};
  const std::string block = OutputBlock("--- header ---", buffer);
  EXPECT_EQ(block, "\r--- header ---\r------- STATEMENT --------\r\nexecute procedure Check_Versio(106, 1)\r\n"
                   "-------   ERROR   --------\r\nexception 1\n-~Database is too old~\r\n");
  const std::pair<const char*, const char*> tildes[] = {
      {block.c_str(), "Database is too old"}, {"no tilde", ""}, {"one ~ only", ""}, {"~~", ""}, {"a~b~c~d", "b"}};
  for (auto [text, between] : tildes) EXPECT_EQ(TextBetweenTildes(text), between) << text;
  EXPECT_EQ(ProjectCheckScript("ZAVUDAVADA"), "execute procedure check_project('C')");
  EXPECT_EQ(ProjectCheckScript("TAMBER"), "execute procedure check_project('G')");
  EXPECT_EQ(ProjectCheckScript("TAMBER_MINI"), "execute procedure check_project('M')");
}
