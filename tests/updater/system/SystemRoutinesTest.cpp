// SystemRoutinesTest - the system routines of uQrxRout: service control loops and process
// termination against simulated services, and files, programs and free space
// against the real system (natively and under Wine).
#include "SystemDoubles.h"
#include "TestHosts.h"
#include "uFbService.h"
#include "uQrxRout.h"

#ifdef _WIN32
#include "os/WindowsSupport.h"
#else
#include <sys/wait.h>
#endif

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <numeric>

namespace fs = std::filesystem;

namespace {

const std::string kDelim(1, os::path::Delim());

std::string ProbePath() {
  std::string exe = os::Sys().ProgramFile();
  return exe.substr(0, exe.find_last_of("\\/") + 1) + "ProcessProbe" +
#ifdef _WIN32
         ".exe";
#else
         "";
#endif
}

std::uint32_t Sum(const std::vector<std::uint32_t>& v) { return std::accumulate(v.begin(), v.end(), 0u); }

} // namespace

//--- Services ---------------------------------------------------------------

struct ServiceCase {
  const char* What;
  std::function<void(ServiceDoubleSys&)> Setup;
  bool Expected;
  std::vector<std::uint32_t> Sleeps;
};

TEST(ServiceStart, WaitsThirtySecondsThenFollowsTheStatusUntilRunning) {
  const ServiceCase cases[] = {
      {"stopped service reports progress, then runs",
       [](ServiceDoubleSys& s) {
         s.Services["FB"].Pending = {{2, 1, 2000}, {2, 2, 3000}};
       },
       true, {30000, 2000, 3000}},
      {"already running: the request fails after the wait",
       [](ServiceDoubleSys& s) { s.Services["FB"].State = os::kServiceRunning; }, false, {30000}},
      {"missing service: the wait still happens", [](ServiceDoubleSys&) {}, false, {30000}},
      {"no service manager: nothing is waited", [](ServiceDoubleSys& s) { s.ManagerFails = true; }, false, {}},
      {"start refused", [](ServiceDoubleSys& s) { s.Services["FB"].StartFails = true; }, false, {30000}},
      {"first query fails: the state counts as stopped",
       [](ServiceDoubleSys& s) { s.Services["FB"].QueryFails = true; }, false, {30000}},
      {"falls back to stopped with its check-point going down",
       [](ServiceDoubleSys& s) {
         s.Services["FB"].Pending = {{2, 3, 500}, {1, 0, 0}};
       },
       false, {30000, 500}},
      {"a zero wait hint is polled at the minimum interval",
       [](ServiceDoubleSys& s) {
         s.Services["FB"].Pending = {{2, 0, 0}, {2, 1, 0}};
       },
       true, {30000, kServiceMinPollMs, kServiceMinPollMs}},
  };
  for (const ServiceCase& c : cases) {
    ServiceDoubleSys sys;
    c.Setup(sys);
    os::ScopedApi use(sys);
    EXPECT_EQ(ServiceStart("", "FB"), c.Expected) << c.What;
    EXPECT_EQ(sys.Sleeps, c.Sleeps) << c.What;
    EXPECT_EQ(sys.OpenHandles, 0) << c.What << ": handles left open";
  }
}

TEST(ServiceStart, OpensTheServiceBeforeTheWaitAndStartsAfterIt) {
  ServiceDoubleSys sys;
  sys.Services["FB"];
  os::ScopedApi use(sys);
  ASSERT_TRUE(ServiceStart("", "FB"));
  const std::vector<std::string> expected = {"manager ", "open FB", "sleep 30000", "start FB", "query FB"};
  EXPECT_EQ(sys.Calls, expected);
}

TEST(ServiceStop, FollowsTheStatusUntilStopped) {
  const ServiceCase cases[] = {
      {"running service stops after its wait hints",
       [](ServiceDoubleSys& s) {
         s.Services["FB"].State = os::kServiceRunning;
         s.Services["FB"].Pending = {{3, 1, 1500}, {3, 2, 1500}};
       },
       true, {1500, 1500}},
      {"already stopped: true at once", [](ServiceDoubleSys& s) { s.Services["FB"]; }, true, {}},
      {"missing service", [](ServiceDoubleSys&) {}, false, {}},
      {"no service manager", [](ServiceDoubleSys& s) { s.ManagerFails = true; }, false, {}},
      {"refused without a status",
       [](ServiceDoubleSys& s) { s.Services["FB"].StopReportsNothing = true; }, false, {}},
      {"the query after the stop fails: the stop's own status counts",
       [](ServiceDoubleSys& s) {
         s.Services["FB"].State = os::kServiceRunning;
         s.Services["FB"].QueryFails = true;
       },
       false, {}},
  };
  for (const ServiceCase& c : cases) {
    ServiceDoubleSys sys;
    c.Setup(sys);
    os::ScopedApi use(sys);
    EXPECT_EQ(ServiceStop("", "FB"), c.Expected) << c.What;
    EXPECT_EQ(sys.Sleeps, c.Sleeps) << c.What;
    EXPECT_EQ(sys.OpenHandles, 0) << c.What << ": handles left open";
  }
}

// A service that stays pending without its check-point going down would
// keep the loops polling; they give up after the overall limit.
TEST(ServiceWaitLoops, EndAtTheOverallLimitWhenAServiceStaysPending) {
  {
    ServiceDoubleSys sys;
    FakeService& s = sys.Services["FB"];
    s.State = os::kServiceRunning;
    s.StopStaysRunning = true;
    // An absurd wait hint is cut to what is left of the limit.
    s.Pending = {{3, 7, 0xFFFFFFFFu}, {3, 7, 0xFFFFFFFFu}};
    os::ScopedApi use(sys);
    EXPECT_FALSE(ServiceStop("", "FB"));
    EXPECT_EQ(Sum(sys.Sleeps), kServiceWaitLimitMs);
  }
  {
    ServiceDoubleSys sys;
    FakeService& s = sys.Services["FB"];
    for (int i = 0; i < 100; ++i) s.Pending.push_back({2, 5, 5000});
    os::ScopedApi use(sys);
    EXPECT_FALSE(ServiceStart("", "FB"));
    EXPECT_EQ(Sum(sys.Sleeps), 30000 + kServiceWaitLimitMs);
    EXPECT_EQ(sys.OpenHandles, 0);
  }
}

TEST(ServiceGetStatus, ReportsTheStateOrStoppedWhenItCannotBeAsked) {
  struct {
    const char* What;
    std::function<void(ServiceDoubleSys&)> Setup;
    int Expected;
  } cases[] = {
      {"running", [](ServiceDoubleSys& s) { s.Services["FB"].State = os::kServiceRunning; }, 4},
      {"start pending", [](ServiceDoubleSys& s) { s.Services["FB"].State = os::kServiceStartPending; }, 2},
      {"missing service", [](ServiceDoubleSys&) {}, 1},
      {"no manager", [](ServiceDoubleSys& s) { s.ManagerFails = true; }, 1},
      {"query fails",
       [](ServiceDoubleSys& s) {
         s.Services["FB"].State = os::kServiceRunning;
         s.Services["FB"].QueryFails = true;
       },
       1},
  };
  for (auto& c : cases) {
    ServiceDoubleSys sys;
    c.Setup(sys);
    os::ScopedApi use(sys);
    EXPECT_EQ(ServiceGetStatus("", "FB"), c.Expected) << c.What;
    EXPECT_EQ(sys.OpenHandles, 0) << c.What;
  }
}

//--- Processes and privilege ------------------------------------------------

TEST(KillTask, TerminatesEveryMatchAndReportsTheLastOutcome) {
  const std::vector<os::ProcessEntry> processes = {
      {10, "C:\\FB\\bin\\FBSERVER.EXE", {}}, {11, "explorer.exe", {}}, {12, "fbserver.exe", {}},
      {13, "C:\\other\\x.exe", {}}};
  struct {
    const char* What;
    std::string Name;
    std::vector<std::uint32_t> Failing;
    bool SnapshotFails;
    int Expected;
    std::vector<std::string> Terminated;
  } cases[] = {
      {"file name in another letter case, any folder", "FbServer.exe", {}, false, 1,
       {"terminate 10 0", "terminate 12 0"}},
      {"the last termination decides: failed", "fbserver.exe", {12}, false, 0,
       {"terminate 10 0", "terminate 12 0"}},
      {"the last termination decides: succeeded", "fbserver.exe", {10}, false, 1,
       {"terminate 10 0", "terminate 12 0"}},
      {"whole path", "c:\\other\\X.EXE", {}, false, 1, {"terminate 13 0"}},
      {"no match", "fb_inet_server.exe", {}, false, -1, {}},
      {"no snapshot", "fbserver.exe", {}, true, -1, {}},
  };
  for (auto& c : cases) {
    ServiceDoubleSys sys;
    sys.Processes = processes;
    sys.TerminateFailsFor = c.Failing;
    sys.SnapshotFails = c.SnapshotFails;
    os::ScopedApi use(sys);
    EXPECT_EQ(KillTask(c.Name), c.Expected) << c.What;
    std::vector<std::string> terminated;
    for (const std::string& call : sys.Calls)
      if (call.rfind("terminate", 0) == 0) terminated.push_back(call);
    EXPECT_EQ(terminated, c.Terminated) << c.What;
  }
}

// The probe sleeping, to be terminated. On Windows it is started without a
// console: a terminated process's console host under Wine can outlive it and
// keep the test's output open, so that CTest waits for it.
class SleepingChild {
public:
  explicit SleepingChild(const std::string& exe) {
#ifdef _WIN32
    std::wstring line = L"\"" + os::win::Widen(exe) + L"\" sleep";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &si, &pi)) {
      CloseHandle(pi.hThread);
      process_ = os::win::ScopedHandle(pi.hProcess);
    }
#else
    process_ = os::Sys().StartProcess(exe, " sleep", "", 0);
#endif
  }
  bool Started() const {
#ifdef _WIN32
    return process_.Valid();
#else
    return static_cast<bool>(process_);
#endif
  }
  bool Running() {
#ifdef _WIN32
    return WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT;
#else
    int status = 0;
    return waitpid(static_cast<pid_t>(process_.Get()), &status, WNOHANG) == 0;
#endif
  }
  std::uint32_t Wait() {
#ifdef _WIN32
    WaitForSingleObject(process_.Get(), INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process_.Get(), &code);
    return code;
#else
    return os::Sys().WaitForExit(process_);
#endif
  }

private:
#ifdef _WIN32
  os::win::ScopedHandle process_;
#else
  os::Process process_;
#endif
};

TEST(KillTask, EndsARealChildNamedInAnotherLetterCase) {
  TempDir dir;
  const std::string name = "KillProbe" + std::to_string(std::hash<std::string>{}(dir.Path()) % 1000000) +
#ifdef _WIN32
                           ".exe";
#else
                           "";
#endif
  const std::string exe = dir.File(name);
  fs::copy_file(fs::u8path(ProbePath()), fs::u8path(exe));
  SleepingChild child(exe);
  ASSERT_TRUE(child.Started());
  std::string lower = name;
  for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  int result = -1;
  // The child may need a moment to appear in the snapshot.
  for (int i = 0; i < 50 && result == -1; ++i) {
    result = KillTask(lower);
    if (result == -1) os::Sys().Sleep(100);
  }
  EXPECT_EQ(result, 1);
#ifdef _WIN32
  EXPECT_EQ(child.Wait(), 0u); // terminated with exit code 0
#else
  EXPECT_EQ(child.Wait(), 128u + 9u); // killed
#endif
  EXPECT_EQ(KillTask(lower), -1);
}

// A process matches by its program's name in any letter case and only when
// its program file lies in the folder, which is compared as a folder (not
// as the beginning of a text) and, on Windows, in any letter case.
TEST(KillTaskInFolder, EndsOnlyTheProcessesWhoseProgramLiesInTheFolder) {
  const std::string fb = "FB" + kDelim, bin = "bin" + kDelim;
  const std::vector<os::ProcessEntry> processes = {
      {10, "fbserver.exe", fb + bin + "fbserver.exe"},
      {11, "fbserver.exe", "FB2" + kDelim + bin + "fbserver.exe"},
      {12, "FBSERVER.EXE", fb + "FBSERVER.EXE"},
      {13, "fbserver.exe", ""}, // the system did not tell where its program lies
      {14, "fb_inet_server.exe", fb + bin + "fb_inet_server.exe"},
  };
  struct {
    const char* What;
    std::string Folder;
    std::vector<std::uint32_t> Failing;
    int Expected;
    std::vector<std::string> Terminated;
  } cases[] = {
      {"below the folder, in any depth; not a folder whose name only begins alike", fb, {}, 1,
       {"terminate 10 0", "terminate 12 0"}},
      {"the folder without its delimiter", "FB", {}, 1, {"terminate 10 0", "terminate 12 0"}},
      {"another installation's folder", "FB2" + kDelim, {}, 1, {"terminate 11 0"}},
      {"the last termination decides", fb, {12}, 0, {"terminate 10 0", "terminate 12 0"}},
      {"no process of the name in the folder", "elsewhere" + kDelim, {}, -1, {}},
      {"no folder: nothing matches", "", {}, -1, {}},
#ifdef _WIN32
      {"a Windows folder in another letter case", "fb\\", {}, 1, {"terminate 10 0", "terminate 12 0"}},
#else
      {"a POSIX folder in another letter case is another folder", "fb/", {}, -1, {}},
#endif
  };
  for (auto& c : cases) {
    ServiceDoubleSys sys;
    sys.Processes = processes;
    sys.TerminateFailsFor = c.Failing;
    os::ScopedApi use(sys);
    EXPECT_EQ(KillTaskInFolder("FbServer.exe", c.Folder), c.Expected) << c.What;
    std::vector<std::string> terminated;
    for (const std::string& call : sys.Calls)
      if (call.rfind("terminate", 0) == 0) terminated.push_back(call);
    EXPECT_EQ(terminated, c.Terminated) << c.What;
  }
}

// Two installations of the server on one computer, their programs of the
// same name: stopping one server ends the processes of its folder only.
TEST(StopFBService, EndsTheServerProcessesOfItsOwnFolderOnly) {
  TempDir dir;
  const std::string name = "FbProbe" + std::to_string(std::hash<std::string>{}(dir.Path()) % 1000000) +
#ifdef _WIN32
                           ".exe";
#else
                           "";
#endif
  std::string exe[2];
  for (int i = 0; i < 2; ++i) {
    const std::string bin = dir.File(i == 0 ? "Firebird" : "Other Firebird") + kDelim + "bin";
    fs::create_directories(fs::u8path(bin));
    exe[i] = bin + kDelim + name;
    fs::copy_file(fs::u8path(ProbePath()), fs::u8path(exe[i]));
  }
  SleepingChild ours(exe[0]), theirs(exe[1]);
  ASSERT_TRUE(ours.Started());
  ASSERT_TRUE(theirs.Started());
  // Both must have started their program before the stop.
  for (int i = 0, seen = 0; i < 50 && seen < 2; ++i) {
    std::vector<os::ProcessEntry> all;
    os::Sys().ProcessSnapshot(all);
    seen = 0;
    for (const os::ProcessEntry& p : all) seen += os::path::FileNameOf(p.ExeFile) == name;
    if (seen < 2) os::Sys().Sleep(100);
  }

  ServiceDoubleSys sys;
  sys.RealProcesses = true;
  sys.Services["FirebirdGuardianDefaultInstance"].State = os::kServiceRunning;
  {
    os::ScopedApi use(sys);
    RecordingHost host;
    StopFBService({dir.File("Firebird") + kDelim, "SUPER", "localhost/3051:", name, "FirebirdGuardianDefaultInstance"},
                  false, host);
  }
#ifdef _WIN32
  EXPECT_EQ(ours.Wait(), 0u);
#else
  EXPECT_EQ(ours.Wait(), 128u + 9u);
#endif
  os::Sys().Sleep(200);
  EXPECT_TRUE(theirs.Running()) << "the other installation's server was ended";
  KillTask(name);
  theirs.Wait();
}

TEST(SetDebugPrivilege, EnablesOrKeepsOnlyTheUsedForAccessBit) {
  ServiceDoubleSys sys;
  os::ScopedApi use(sys);
  SetDebugPrivilege(true);
  SetDebugPrivilege(false);
  const std::vector<std::string> expected = {"privilege SeDebugPrivilege 00000002",
                                             "privilege SeDebugPrivilege 80000000"};
  EXPECT_EQ(sys.Calls, expected);
}

TEST(GetSystemDir, EndsWithTheDelimiterOrRaises) {
  struct NoSystemDir : os::Api {
    std::string SystemFolder() override { return {}; }
  } broken;
  std::string dir = GetSystemDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), os::path::Delim());
  EXPECT_TRUE(os::Sys().DirectoryExists(dir));
  os::ScopedApi use(broken);
  try {
    GetSystemDir();
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Невозможно определить путь к системной папке!");
  }
}

//--- Copy and move ----------------------------------------------------------

namespace {
void WriteText(const std::string& path, const std::string& text) { ASSERT_TRUE(os::Sys().WriteFile(path, text, false)); }
} // namespace

TEST(CopyFileClearAttr, ReplacesAProtectedTargetWhichTakesTheSourceAttributes) {
  TempDir dir;
  const std::string src = dir.File("new.dll"), dst = dir.File("old.dll");
  WriteText(src, "new contents");
  WriteText(dst, "old");
  const std::uint32_t sourceAttrs = os::Sys().FileAttributes(src);
  ASSERT_TRUE(os::Sys().WriteFileAttributes(dst, os::kAttrReadOnly | os::kAttrHidden));
  ASSERT_TRUE(os::Sys().FileAttributes(dst) & os::kAttrReadOnly);

  EXPECT_TRUE(CopyFileClearAttr(src, dst));
  EXPECT_EQ(ReadFileBytes(dst), "new contents");
  EXPECT_EQ(os::Sys().FileAttributes(dst), sourceAttrs);

  EXPECT_TRUE(CopyFileClearAttr(src, dir.File("fresh.dll"))); // no target yet
  EXPECT_FALSE(CopyFileClearAttr(dir.File("missing.dll"), dst));
  EXPECT_EQ(ReadFileBytes(dst), "new contents");
}

// The copy is written beside the target, put on the disk and renamed over
// it: the target is whole at every moment, and a failure anywhere leaves it
// as it was, with nothing left beside it.
TEST(CopyFileDurably, ReplacesTheTargetInOneStepOrNotAtAll) {
  TempDir dir;
  const std::string src = dir.File("new.dll"), dst = dir.File("old.dll"), temporary = dst + ".$upd";
  WriteText(src, "new contents");
  WriteText(dst, "old");
  ASSERT_TRUE(os::Sys().WriteFileAttributes(dst, os::kAttrReadOnly));
  WriteText(temporary, "left by a run that died"); // is of no use and goes
  const std::uint32_t sourceAttrs = os::Sys().FileAttributes(src);

  struct Sys : os::Api {
    std::string Fail; // "flush" or "rename"
    std::vector<std::string> Calls;
    os::Status FlushFile(const std::string& p) override {
      Calls.push_back("flush " + p);
      return Fail == "flush" ? Injected("FlushFileBuffers", p) : os::Api::FlushFile(p);
    }
    os::Status FileReplace(const std::string& s, const std::string& t) override {
      Calls.push_back("rename " + s + " " + t);
      return Fail == "rename" ? Injected("MoveFileExW", t) : os::Api::FileReplace(s, t);
    }
  } sys;
  os::ScopedApi use(sys);
  for (const char* fail : {"flush", "rename"}) {
    sys.Fail = fail;
    EXPECT_FALSE(CopyFileDurably(src, dst)) << fail;
    EXPECT_EQ(ReadFileBytes(dst), "old") << fail;
    EXPECT_FALSE(os::Sys().FileExists(temporary)) << fail;
  }
  sys.Fail.clear();
  sys.Calls.clear();
  EXPECT_TRUE(CopyFileDurably(src, dst));
  EXPECT_EQ(ReadFileBytes(dst), "new contents");
  EXPECT_EQ(os::Sys().FileAttributes(dst), sourceAttrs);
  EXPECT_FALSE(os::Sys().FileExists(temporary));
  EXPECT_EQ(sys.Calls, (std::vector<std::string>{"flush " + temporary, "rename " + temporary + " " + dst}))
      << "flushed before it is renamed";
  EXPECT_FALSE(CopyFileDurably(dir.File("missing.dll"), dst));
  EXPECT_EQ(ReadFileBytes(dst), "new contents");
}

TEST(MoveFileClearAttr, NeverReplacesAnExistingTarget) {
  TempDir dir;
  const std::string src = dir.File("a.fdb"), dst = dir.File("b.fdb");
  WriteText(src, "source");
  WriteText(dst, "target");
  EXPECT_FALSE(MoveFileClearAttr(src, dst));
  EXPECT_EQ(ReadFileBytes(src), "source");
  EXPECT_EQ(ReadFileBytes(dst), "target");

  const std::string moved = dir.File("c.fdb");
  EXPECT_TRUE(MoveFileClearAttr(src, moved));
  EXPECT_EQ(ReadFileBytes(moved), "source");
  EXPECT_FALSE(os::Sys().FileExists(src));
}

//--- Running a program ------------------------------------------------------

namespace {

std::string ReadBack(const std::string& path) {
  std::string s = ReadFileBytes(path);
  while (!s.empty() && (s.back() == '\\' || s.back() == '/')) s.pop_back();
  return s;
}
} // namespace

TEST(ExecAndWait, ReturnsTheExitCodeAndRunsInTheProgramsOwnFolder) {
  TempDir dir;
  struct {
    const char* What;
    std::string Folder; // below the temporary folder
  } cases[] = {{"plain folder", "bin"}, {"folder with blanks", "dir with blanks"}};
  for (auto& c : cases) {
    const std::string folder = dir.File(c.Folder);
    ASSERT_TRUE(os::Sys().CreateDirectories(folder));
    const std::string exe = folder + kDelim + fs::u8path(ProbePath()).filename().string();
    fs::copy_file(fs::u8path(ProbePath()), fs::u8path(exe), fs::copy_options::overwrite_existing);
    const std::string out = dir.File("cwd.txt");
    RecordingHost host;
    ScopedHost use(host);
    EXPECT_EQ(ExecAndWait(exe, " exit 7 \"" + out + "\"", 1), 7) << c.What;
    EXPECT_TRUE(fs::equivalent(fs::u8path(ReadBack(out)), fs::u8path(folder))) << c.What << ": " << ReadBack(out);
    EXPECT_EQ(host.PendingMessageCalls, 2) << c.What;
  }
}

TEST(ExecAndWait, ExpandsARelativePathAgainstTheCurrentFolder) {
  TempDir dir;
  const std::string folder = dir.File("sub dir");
  ASSERT_TRUE(os::Sys().CreateDirectories(folder));
  const std::string name = fs::u8path(ProbePath()).filename().string();
  fs::copy_file(fs::u8path(ProbePath()), fs::u8path(folder + kDelim + name));
  const std::string out = dir.File("cwd.txt");
  const fs::path before = fs::current_path();
  fs::current_path(fs::u8path(dir.Path()));
  int code = -1;
  try {
    code = ExecAndWait("sub dir" + kDelim + name, " exit 0 \"" + out + "\"", 1);
  } catch (...) {
  }
  fs::current_path(before);
  EXPECT_EQ(code, 0);
  EXPECT_TRUE(fs::equivalent(fs::u8path(ReadBack(out)), fs::u8path(folder))) << ReadBack(out);
}

TEST(ExecAndWait, RaisesWhenTheProgramCannotBeStarted) {
  TempDir dir;
  try {
    ExecAndWait(dir.File("no such program.exe"), "", 1);
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(WithoutCause(e.what(), dir.File("no such program.exe")), "Невозможно запустить внешнюю программу!");
  }
}

//--- Sizes and free space ---------------------------------------------------

TEST(GetFileSizeScaled, ShiftsTheSizeOrGivesMinusOne) {
  TempDir dir;
  const std::string file = dir.File("db.fdb");
  WriteText(file, std::string((3u << 20) + 5, 'x'));
  EXPECT_EQ(GetFileSizeScaled(file, 0), (3 << 20) + 5);
  EXPECT_EQ(GetFileSizeScaled(file, 20), 3);
  EXPECT_EQ(GetFileSizeScaled(dir.File("missing.fdb"), 20), -1);
}

namespace {
// A database file of SizeMb mebibytes (or none) on a drive with FreeMb free.
struct FreeSpaceSys : os::Api {
  std::int64_t SizeMb = 0;
  std::int64_t FreeMb = 0;
  bool FreeUnknown = false;
  os::Status FileSizeExclusive(const std::string& path, std::uint64_t& size) override {
    if (SizeMb < 0) return Injected("CreateFileW", path);
    size = static_cast<std::uint64_t>(SizeMb) << 20;
    return {};
  }
  os::Status DiskFreeBytes(const std::string& path, std::uint64_t& freeBytes) override {
    EXPECT_EQ(path, "C:\\");
    if (FreeUnknown) return Injected("GetDiskFreeSpaceExW", path);
    freeBytes = (static_cast<std::uint64_t>(FreeMb) << 20) + 1234; // a part mebibyte is dropped
    return {};
  }
};
} // namespace

TEST(CheckFreeSize, NeedsFactorTimesTheFileSizeInWholeMebibytes) {
  struct {
    const char* What;
    std::int64_t SizeMb, FreeMb;
    bool FreeUnknown;
    int Factor;
    std::int64_t ExtraMb; // what the caller writes besides
    const char* Error; // nullptr: passes
  } cases[] = {
      {"one mebibyte short", 1000, 2999, false, 3, 0,
       "Для записи файла на диск \"C:\\\" требуется не менее 3000 МБ свободного места!"},
      {"exactly enough", 1000, 3000, false, 3, 0, nullptr},
      {"factor 2", 700, 1399, false, 2, 0,
       "Для записи файла на диск \"C:\\\" требуется не менее 1400 МБ свободного места!"},
      {"enough for the database, not for the copies besides", 1000, 3000, false, 3, 1,
       "Для записи файла на диск \"C:\\\" требуется не менее 3001 МБ свободного места!"},
      {"a file that cannot be opened cannot be checked: an empty message", -1, 1000000, false, 3, 0, ""},
      {"free space unknown counts as none", 10, 0, true, 2, 0,
       "Для записи файла на диск \"C:\\\" требуется не менее 20 МБ свободного места!"},
  };
  for (auto& c : cases) {
    FreeSpaceSys sys;
    sys.SizeMb = c.SizeMb;
    sys.FreeMb = c.FreeMb;
    sys.FreeUnknown = c.FreeUnknown;
    os::ScopedApi use(sys);
    RecordingHost host;
    ScopedHost useHost(host);
    try {
      CheckFreeSize("C:\\db\\TAMBER.FDB", "C:\\", static_cast<std::uint8_t>(c.Factor), c.ExtraMb);
      EXPECT_EQ(c.Error, nullptr) << c.What << ": passed";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), c.Error ? c.Error : "(none)") << c.What;
    }
    EXPECT_EQ(host.PendingMessageCalls, 1) << c.What;
  }
}
