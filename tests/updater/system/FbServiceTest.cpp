// FbServiceTest - the Firebird service unit: the parsing of a service command line, the
// discovery of the installed server in the registry (simulated natively,
// real keys under Wine), and the order of calls, waits and messages of
// stopping and starting the server.
#include "SystemDoubles.h"
#include "TestHosts.h"
#include "uFbService.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>

#ifdef _WIN32
#include "os/WindowsSupport.h"
#endif

//--- Command line -----------------------------------------------------------

TEST(ServiceCommandLine, GivesTheServerFolderAndThePort) {
  struct {
    const char* ImagePath;
    const char* Dir;
    bool HasPort;
    const char* Port;
  } cases[] = {
      {"C:\\FB\\bin\\fbsrvvskr.exe -s -p 3052", "C:\\FB\\", true, "3052"},
      {"C:\\FB\\bin\\fbserver.exe -p     3053 -s", "C:\\FB\\", true, "3053"},
      {"C:\\FB\\bin\\fbserver.exe -p 3054", "C:\\FB\\", true, "3054"},
      {"C:\\FB\\BIN\\fbserver.exe -p 3050", "", true, "3050"},                // "\bin\" is case-sensitive
      {"\"C:\\Program Files\\FB\\bin\\fbserver.exe\" -s", "\"C:\\Program Files\\FB\\", false, ""},
      {"C:\\a\\bin\\b\\bin\\fbserver.exe", "C:\\a\\", false, ""},            // the first "\bin\"
      {"C:\\FB\\bin\\fbserver.exe -P 3050", "C:\\FB\\", false, ""},          // "-P" is not "-p "
      {"C:\\FB\\bin\\fbserver.exe -p", "C:\\FB\\", false, ""},               // no blank after -p
      {"C:\\FB\\bin\\fbserver.exe -p ", "C:\\FB\\", true, ""},
      {"C:\\FB\\bin\\fbserver.exe -a -p 3050 -p 3099", "C:\\FB\\", true, "3050"}, // the first "-p "
      {"", "", false, ""},
  };
  for (auto& c : cases) {
    EXPECT_EQ(ServerDirOf(c.ImagePath), c.Dir) << c.ImagePath;
    bool found = !c.HasPort;
    EXPECT_EQ(PortOf(c.ImagePath, found), c.Port) << c.ImagePath;
    EXPECT_EQ(found, c.HasPort) << c.ImagePath;
  }
}

//--- Discovery --------------------------------------------------------------

namespace {

const std::string kServices = "SYSTEM\\CurrentControlSet\\Services\\";
const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const std::string kMakerKey = kServices + "NorvelRaruRIvizServer";
const std::string kDefaultKey = kServices + "FirebirdServerDefaultInstance";
const std::string kUninstall1 = kUninstall + "Firebird 2.0 для ПО ГК \"Норвел\"";
const std::string kUninstall2 = kUninstall + "Firebird 2_0 server for Norvel GC";

std::string Fill(std::string text, const std::string& root) {
  for (size_t at; (at = text.find("{ROOT}")) != std::string::npos;) text.replace(at, 6, root);
  return text;
}

#ifdef _WIN32
// Real keys under HKEY_LOCAL_MACHINE, removed again; Root is a real folder.
class Registry {
public:
  ~Registry() {
    for (auto it = created_.rbegin(); it != created_.rend(); ++it)
      RegDeleteTreeW(HKEY_LOCAL_MACHINE, os::win::Widen(*it).c_str());
  }
  std::string Root() const { return dir_.Path(); }
  void Add(const std::string& key, const std::optional<std::string>& imagePath) {
    HKEY h = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, os::win::Widen(key).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              &h, &disposition),
              ERROR_SUCCESS)
        << key;
    if (disposition == REG_CREATED_NEW_KEY) created_.push_back(key);
    if (imagePath) {
      std::wstring v = os::win::Widen(*imagePath);
      RegSetValueExW(h, L"ImagePath", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(v.c_str()),
                     static_cast<DWORD>((v.size() + 1) * sizeof(wchar_t)));
    }
    RegCloseKey(h);
  }
  static constexpr bool CanDenyAccess = false;
  void AddUnreadable(const std::string&) {}

private:
  TempDir dir_;
  std::vector<std::string> created_;
};
#else
// Simulated keys; Root is a folder only this double knows.
class Registry : public os::Api {
public:
  Registry() : use_(*this) {}
  std::string Root() const { return "C:\\Srv"; }
  void Add(const std::string& key, const std::optional<std::string>& imagePath) {
    keys_[key] = imagePath.value_or("");
  }
  static constexpr bool CanDenyAccess = true;
  void AddUnreadable(const std::string& key) { unreadable_.push_back(key); }

  os::RegKeyState LocalMachineKey(const std::string& key) override {
    for (const std::string& u : unreadable_)
      if (u == key) return os::RegKeyState::Unreadable;
    return keys_.count(key) ? os::RegKeyState::Readable : os::RegKeyState::Missing;
  }
  os::Status LocalMachineString(const std::string& key, const std::string& value, std::string& data) override {
    data.clear();
    if (LocalMachineKey(key) != os::RegKeyState::Readable) return Injected("RegOpenKeyExW", key);
    if (value == "ImagePath") data = keys_[key];
    return {};
  }
  bool DirectoryExists(const std::string& path) override { return path == "C:\\Srv\\"; }

private:
  std::map<std::string, std::string> keys_;
  std::vector<std::string> unreadable_;
  os::ScopedApi use_;
};
#endif

struct Key {
  std::string Name;
  std::optional<std::string> ImagePath; // none: the key has no such value
  bool Unreadable = false;
};

struct DiscoveryCase {
  const char* What;
  std::vector<Key> Keys;
  // Expected fields, "{ROOT}" standing for the fixture's folder; the record
  // passed in holds "?" in every field.
  TFBServParams Expected;
  const char* Error = nullptr;
};

const char* const kTypeUnknown = "Тип сервера FireBird определить не удалось.";
const char* const kDamaged =
    "Служба сервера FireBird повреждена или не адаптирована для ПО ГК \"Норвел\". Обновление прервано.";
const TFBServParams kUntouched{"?", "", "?", "?", "?"};

} // namespace

TEST(GetFBServParams, FindsTheMakersServiceOrAnAcceptedDefaultInstance) {
  const std::string maker = "NorvelRaruRIvizServer", guardian = "FirebirdGuardianDefaultInstance";
  const std::vector<DiscoveryCase> cases = {
      {"maker's SuperServer",
       {{kMakerKey, "{ROOT}\\bin\\fbsrvvskr.exe -s -p 3052"}},
       {"{ROOT}\\", "SUPER", "localhost/3052:", "FBSRVVSKR.EXE", maker}},
      {"maker's Classic, blanks before the port",
       {{kMakerKey, "{ROOT}\\bin\\FB_Inet_SrvVskr.exe -p   3053 -x"}},
       {"{ROOT}\\", "CLASSIC", "localhost/3053:", "FB_INET_SRVVSKR.EXE", maker}},
      {"maker's command line naming both executables: CLASSIC stands",
       {{kMakerKey, "{ROOT}\\bin\\fb_inet_srvvskr.exe fbsrvvskr.exe -p 3052"}},
       {"{ROOT}\\", "CLASSIC", "localhost/3052:", "FB_INET_SRVVSKR.EXE", maker}},
      {"maker's service without -p listens on the product's port",
       {{kMakerKey, "{ROOT}\\bin\\fbsrvvskr.exe -s"}},
       {"{ROOT}\\", "SUPER", "localhost/3051:", "FBSRVVSKR.EXE", maker}},
      {"maker's service with upper-case \\BIN\\", {{kMakerKey, "{ROOT}\\BIN\\fbsrvvskr.exe -p 3052"}}, {}, kDamaged},
      {"maker's service with a quoted command line",
       {{kMakerKey, "\"{ROOT}\\bin\\fbsrvvskr.exe\" -p 3052"}}, {}, kDamaged},
      {"maker's service in a folder that is gone",
       {{kMakerKey, "{ROOT}\\gone\\bin\\fbsrvvskr.exe -p 3052"}}, {}, kDamaged},
      {"maker's service naming another server", {{kMakerKey, "{ROOT}\\bin\\fbserver.exe"}}, {}, kTypeUnknown},
      {"maker's service without ImagePath", {{kMakerKey, std::nullopt}}, {}, kTypeUnknown},
      {"default instance, first uninstall name",
       {{kUninstall1, std::nullopt}, {kDefaultKey, "{ROOT}\\bin\\fbserver.exe -a -p 3050"}},
       {"{ROOT}\\", "SUPER", "localhost/3050:", "FBSERVER.EXE", guardian}},
      {"default instance, second uninstall name, no -p",
       {{kUninstall2, std::nullopt}, {kDefaultKey, "C:\\Nowhere\\bin\\FB_INET_SERVER.EXE -i"}},
       {"C:\\Nowhere\\", "CLASSIC", "localhost/3051:", "FB_INET_SERVER.EXE", guardian}},
      {"default instance with upper-case \\BIN\\ has no folder",
       {{kUninstall1, std::nullopt}, {kDefaultKey, "C:\\FB\\BIN\\fbserver.exe -p 3050"}},
       {"", "SUPER", "localhost/3050:", "FBSERVER.EXE", guardian}},
      {"default instance naming another server",
       {{kUninstall2, std::nullopt}, {kDefaultKey, "C:\\FB\\bin\\fbsrvvskr.exe"}},
       {"?", "", "?", "?", guardian}, kTypeUnknown},
      {"default instance without the maker's uninstall entry", {{kDefaultKey, "C:\\FB\\bin\\fbserver.exe"}},
       kUntouched},
      {"uninstall entry without a default instance", {{kUninstall1, std::nullopt}}, kUntouched},
      {"nothing installed", {}, kUntouched},
      {"both kinds: the maker's service wins",
       {{kMakerKey, "{ROOT}\\bin\\fbsrvvskr.exe -p 3052"},
        {kUninstall1, std::nullopt},
        {kDefaultKey, "C:\\FB\\bin\\fbserver.exe -p 3050"}},
       {"{ROOT}\\", "SUPER", "localhost/3052:", "FBSRVVSKR.EXE", maker}},
  };
  std::vector<DiscoveryCase> all = cases;
  if (Registry::CanDenyAccess) {
    all.push_back({"unreadable maker's key: the first uninstall name is taken untested",
                   {{kMakerKey, "", true}, {kUninstall2, std::nullopt}, {kDefaultKey, "C:\\FB\\bin\\fbserver.exe"}},
                   {},
                   kDamaged});
    all.push_back({"unreadable maker's key with the first uninstall name present",
                   {{kMakerKey, "", true}, {kUninstall1, std::nullopt}, {kDefaultKey, "C:\\FB\\bin\\fbserver.exe"}},
                   {"C:\\FB\\", "SUPER", "localhost/3051:", "FBSERVER.EXE", guardian}});
    all.push_back({"unreadable uninstall entry",
                   {{kUninstall1, "", true}, {kDefaultKey, "C:\\FB\\bin\\fbserver.exe"}}, {}, kDamaged});
  }
  for (const DiscoveryCase& c : all) {
    Registry reg;
    for (const Key& k : c.Keys) {
      if (k.Unreadable)
        reg.AddUnreadable(k.Name);
      else
        reg.Add(k.Name, k.ImagePath ? std::optional<std::string>(Fill(*k.ImagePath, reg.Root())) : std::nullopt);
    }
    TFBServParams p{"?", "?", "?", "?", "?"};
    try {
      GetFBServParams(p);
      EXPECT_EQ(c.Error, nullptr) << c.What << ": no error";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), c.Error ? c.Error : "(none)") << c.What;
      if (c.Expected.ServiceName.empty()) continue;
    }
    EXPECT_EQ(p.ServerDir, Fill(c.Expected.ServerDir, reg.Root())) << c.What;
    EXPECT_EQ(p.ServerType, c.Expected.ServerType) << c.What;
    EXPECT_EQ(p.ServerHost, c.Expected.ServerHost) << c.What;
    EXPECT_EQ(p.ServerExe, c.Expected.ServerExe) << c.What;
    EXPECT_EQ(p.ServiceName, c.Expected.ServiceName) << c.What;
  }
}

//--- Stop and start ---------------------------------------------------------

namespace {

const std::string kCannotStop =
    "Невозможно остановить службу сервера FireBird. Попробуйте перезагрузить компьютер и снова запустить "
    "приложение.";
const std::string kCannotStart =
    "Невозможно запустить службу сервера FireBird. Попробуйте перезагрузить компьютер и снова запустить "
    "приложение.";

// The server folder the discovery found, and that of another installation,
// as paths of the system the tests run on.
#ifdef _WIN32
const std::string kServerDir = "C:\\FB\\", kOtherServerDir = "D:\\Other Firebird\\";
#else
const std::string kServerDir = "/opt/FB/", kOtherServerDir = "/srv/Other Firebird/";
#endif
const std::string kBin = std::string("bin") + os::path::Delim();
const TFBServParams kMaker{kServerDir, "SUPER", "localhost/3051:", "FBSRVVSKR.EXE", "NorvelRaruRIvizServer"};

// The server's service running, with a leftover server process, and the
// server of another installation on the same computer, whose program has
// the same name.
void RunningServer(ServiceDoubleSys& s) {
  s.Services["NorvelRaruRIvizServer"].State = os::kServiceRunning;
  s.Processes = {{70, "explorer.exe", "C:\\Windows\\explorer.exe"},
                 {77, "fbsrvvskr.exe", kServerDir + kBin + "fbsrvvskr.exe"},
                 {78, "FBSRVVSKR.EXE", kOtherServerDir + kBin + "FBSRVVSKR.EXE"}};
}

struct SequenceCase {
  const char* What;
  std::function<void(ServiceDoubleSys&)> Setup;
  TFBServParams Params;
  std::optional<std::string> Error; // none: succeeds
  std::vector<std::uint32_t> Sleeps;
};

std::string RunCase(const SequenceCase& c, bool start, bool showMsg, ServiceDoubleSys& sys, RecordingHost& dlg) {
  c.Setup(sys);
  os::ScopedApi use(sys);
  try {
    if (start)
      StartFBService(c.Params, showMsg, dlg);
    else
      StopFBService(c.Params, showMsg, dlg);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return {};
}

} // namespace

TEST(StopFBService, StopsTerminatesChecksAndWaits) {
  ServiceDoubleSys sys;
  RecordingHost dlg;
  const SequenceCase c{"running", RunningServer, kMaker, std::nullopt, {15000}};
  EXPECT_EQ(RunCase(c, false, true, sys, dlg), "");
  const std::vector<std::string> expected = {
      "manager ", "open NorvelRaruRIvizServer", "stop NorvelRaruRIvizServer", "query NorvelRaruRIvizServer",
      "privilege SeDebugPrivilege 00000002", "snapshot", "terminate 77 0", "privilege SeDebugPrivilege 80000000",
      "manager ", "open NorvelRaruRIvizServer", "query NorvelRaruRIvizServer", "sleep 15000"};
  EXPECT_EQ(sys.Calls, expected);
  ASSERT_EQ(dlg.Shown.size(), 1u);
  EXPECT_EQ(dlg.Shown[0].first, TMsgDlgType::Custom);
  EXPECT_EQ(dlg.Shown[0].second, "Служба сервера FireBird остановлена.");
}

TEST(StopFBService, FailsWithItsMessagesAndShowsNothingThen) {
  const SequenceCase cases[] = {
      {"already stopped: passes and still waits",
       [](ServiceDoubleSys& s) { s.Services["NorvelRaruRIvizServer"]; }, kMaker, std::nullopt, {15000}},
      {"empty record", [](ServiceDoubleSys&) {}, TFBServParams{}, kCannotStop + InjectedCause("OpenServiceW", ""), {}},
      {"a server process cannot be terminated",
       [](ServiceDoubleSys& s) {
         RunningServer(s);
         s.TerminateFailsFor = {77};
       },
       kMaker,
       "Не удалось остановить процесс(ы):FBSRVVSKR.EXE сервера FireBird. \rВыполните остановку вручную и повторите "
       "попытку.",
       {}},
      {"the service runs again after the processes were ended",
       [](ServiceDoubleSys& s) {
         RunningServer(s);
         FakeService& f = s.Services["NorvelRaruRIvizServer"];
         f.StopStaysRunning = true;
         f.Pending = {{os::kServiceStopped, 0, 0}};
       },
       kMaker, "Служба сервера FireBird не остановлена!", {}},
  };
  for (const SequenceCase& c : cases) {
    ServiceDoubleSys sys;
    RecordingHost dlg;
    EXPECT_EQ(RunCase(c, false, true, sys, dlg), c.Error.value_or("")) << c.What;
    EXPECT_EQ(sys.Sleeps, c.Sleeps) << c.What;
    EXPECT_EQ(dlg.Shown.size(), c.Error ? 0u : 1u) << c.What;
    // The privilege is given back also when terminating failed.
    int on = 0, off = 0;
    for (const std::string& call : sys.Calls) {
      on += call == "privilege SeDebugPrivilege 00000002";
      off += call == "privilege SeDebugPrivilege 80000000";
    }
    EXPECT_EQ(on, off) << c.What;
  }
}

TEST(StartFBService, RestartsWithTheWaitsInOrder) {
  const SequenceCase cases[] = {
      {"running: stopped first", RunningServer, kMaker, std::nullopt, {15000, 30000, 15000}},
      {"stopped: the inner stop succeeds and waits before the start",
       [](ServiceDoubleSys& s) { s.Services["NorvelRaruRIvizServer"]; }, kMaker, std::nullopt, {15000, 30000, 15000}},
      {"a process the inner stop cannot end is no obstacle",
       [](ServiceDoubleSys& s) {
         RunningServer(s);
         s.TerminateFailsFor = {77};
       },
       kMaker, std::nullopt, {30000, 15000}},
      {"missing service: the inner stop fails at once, the start fails", [](ServiceDoubleSys&) {}, kMaker,
       kCannotStart + InjectedCause("OpenServiceW", "NorvelRaruRIvizServer"), {30000}},
      {"started, but none of the server's services runs",
       [](ServiceDoubleSys& s) { s.Services["OtherServer"]; },
       TFBServParams{"", "", "", "OTHER.EXE", "OtherServer"}, "Служба сервера FireBird не запущена!",
       {15000, 30000}},
  };
  for (const SequenceCase& c : cases) {
    for (bool showMsg : {false, true}) {
      ServiceDoubleSys sys;
      RecordingHost dlg;
      EXPECT_EQ(RunCase(c, true, showMsg, sys, dlg), c.Error.value_or("")) << c.What;
      EXPECT_EQ(sys.Sleeps, c.Sleeps) << c.What;
      if (showMsg && !c.Error) {
        ASSERT_EQ(dlg.Shown.size(), 1u) << c.What;
        EXPECT_EQ(dlg.Shown[0].first, TMsgDlgType::Custom);
        EXPECT_EQ(dlg.Shown[0].second, "Служба сервера FireBird запущена.");
      } else {
        EXPECT_TRUE(dlg.Shown.empty()) << c.What << " (ShowMsg " << showMsg << ")";
      }
    }
  }
}

TEST(IsFBServiceRunning, AsksTheThreeServicesInOrderUntilOneRuns) {
  struct {
    const char* Running; // nullptr: none
    bool Expected;
    std::vector<std::string> Asked;
  } cases[] = {
      {nullptr, false,
       {"FirebirdGuardianDefaultInstance", "FirebirdServerDefaultInstance", "NorvelRaruRIvizServer"}},
      {"FirebirdGuardianDefaultInstance", true, {"FirebirdGuardianDefaultInstance"}},
      {"FirebirdServerDefaultInstance", true, {"FirebirdGuardianDefaultInstance", "FirebirdServerDefaultInstance"}},
      {"NorvelRaruRIvizServer", true,
       {"FirebirdGuardianDefaultInstance", "FirebirdServerDefaultInstance", "NorvelRaruRIvizServer"}},
  };
  for (auto& c : cases) {
    ServiceDoubleSys sys;
    for (const char* name : {"FirebirdGuardianDefaultInstance", "FirebirdServerDefaultInstance", "NorvelRaruRIvizServer"})
      sys.Services[name].State = c.Running && std::string(name) == c.Running ? os::kServiceRunning : os::kServiceStopped;
    os::ScopedApi use(sys);
    EXPECT_EQ(IsFBServiceRunning(), c.Expected) << (c.Running ? c.Running : "none");
    std::vector<std::string> asked;
    for (const std::string& call : sys.Calls)
      if (call.rfind("open ", 0) == 0) asked.push_back(call.substr(5));
    EXPECT_EQ(asked, c.Asked) << (c.Running ? c.Running : "none");
  }
}
