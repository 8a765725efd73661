// UpdateRunTest - whole update runs and the database mode commands on real installations:
// real files, the built payload programs, a real WIN1251 database in the
// private Firebird server, whose start and stop stand for the Firebird
// service. Only the fixed waits are skipped (and, where a case needs
// it, one system call fails).
#include "FbTestServer.h"
#include "SystemDoubles.h"
#include "TestHosts.h"
#include "uDBConnection.h"
#include "uLDM.h"
#include "uUpdateRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const char kService[] = "FirebirdGuardianDefaultInstance";

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

std::string ServerScript() { return "bash " + Quoted(Env("UPDATER_SOURCE_DIR") + "/scripts/fbserver.sh"); }

void EnsureServerRuns() {
  std::system((ServerScript() + " start " + Quoted(fbtest::Root()) + " " + fbtest::Port() + " >/dev/null").c_str());
}

void StopServer() { std::system((ServerScript() + " stop " + Quoted(fbtest::Root()) + " >/dev/null").c_str()); }

std::string ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

void Write(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The payloads the program carries, registered as its resources.
struct Payloads {
  std::string Server = ReadAll(SERVER_PAYLOAD), Tamber = ReadAll(TAMBER_PAYLOAD),
              Zavudavada = ReadAll(ZAVUDAVADA_PAYLOAD), FailingScript = ReadAll(FAILING_SCRIPT_PAYLOAD);
  std::string Damaged = Server.substr(0, Server.size() - 100);
  void Register(const std::string& server) {
    os::RegisterResource("EXEFILE", "FILES", server);
    os::RegisterResource("EXEFILE", "FILES_G", Tamber);
    os::RegisterResource("EXEFILE", "FILES_GC", Zavudavada);
  }
};
Payloads* payloads = nullptr;

// The sample project database (scripts/sample-database.sql): version 106
// release 1 of the project G, UTF8's default collation UNICODE, some data.
// Without UnicodeDefault, UTF8 keeps its own default collation, as on a
// server that no update has touched yet.
std::string MakeTemplate(const std::string& name, bool unicodeDefault) {
  const std::string path = fbtest::CreateDatabase(name, "WIN1251");
  std::string schema = ReadAll(Env("UPDATER_SOURCE_DIR") + "/scripts/sample-database.sql");
  if (!unicodeDefault) schema = schema.substr(schema.find("create table"));
  const std::string out = fbtest::Isql(path, schema);
  if (!out.empty()) throw std::runtime_error("template " + name + ": " + out);
  return path;
}

std::string Query(const std::string& db, const std::string& select) {
  std::string out = fbtest::Isql(db, "set heading off;\n" + select + "\n");
  out.erase(std::remove(out.begin(), out.end(), '\n'), out.end());
  const size_t a = out.find_first_not_of(' '), b = out.find_last_not_of(' ');
  return a == std::string::npos ? std::string() : out.substr(a, b - a + 1);
}

// 0 online, 1 multi-user shutdown, 2 single, 3 full.
std::string ShutdownMode(const std::string& db) { return Query(db, "select mon$shutdown_mode from mon$database;"); }

// The native system without the service waits; single calls fail when a
// case asks for it.
class RunSys : public os::Api {
public:
  std::string FailMoveFrom;      // every move of this path fails
  std::string FailCopyTo;        // every copy to a path ending so fails
  std::string FailCopyFrom;      // every copy from a path ending so fails
  int FailCopiesToTimes = 0;     // only so many copies to FailCopyTo fail (0: every one)
  int FailStartsFrom = 0;        // the n-th start request (1-based) and later ones fail
  int Starts = 0;
  // What the run did, in order: "sleep N", "stop", "start", "replace TARGET"
  // for a file renamed over a server file.
  std::vector<std::string> Events;
  std::string ServerDir;
  void Sleep(std::uint32_t ms) override { Events.push_back("sleep " + std::to_string(ms)); }
  os::Status ServiceStopRequest(os::ServiceHandle h, os::ServiceStatus& s, bool& has) override {
    Events.push_back("stop");
    return os::Api::ServiceStopRequest(h, s, has);
  }
  os::Status FileReplace(const std::string& s, const std::string& t) override {
    if (!ServerDir.empty() && t.rfind(ServerDir, 0) == 0) Events.push_back("replace " + t);
    return os::Api::FileReplace(s, t);
  }
  bool ClockStands = false;      // the clock stands at Clock, so the run's folder has a known name
  std::function<void(const std::string&)> BeforeCopyTo; // called with the target of every copy
  os::LocalDateTime Clock{2025, 12, 9, 14, 30, 5};
  os::LocalDateTime Now() override { return ClockStands ? Clock : os::Api::Now(); }
  os::Status FileMove(const std::string& s, const std::string& t) override {
    return s == FailMoveFrom ? Injected("MoveFileW", s) : os::Api::FileMove(s, t);
  }
  os::Status FileCopy(const std::string& s, const std::string& t, bool f) override {
    if (BeforeCopyTo) BeforeCopyTo(t);
    auto endsWith = [](const std::string& path, const std::string& end) {
      return !end.empty() && path.size() >= end.size() && path.compare(path.size() - end.size(), end.size(), end) == 0;
    };
    if (endsWith(CopyTarget(t), FailCopyTo) && (FailCopiesToTimes == 0 || failedCopiesTo_++ < FailCopiesToTimes))
      return Injected("CopyFileW", CopyTarget(t));
    if (endsWith(s, FailCopyFrom)) return Injected("CopyFileW", CopyTarget(t));
    return os::Api::FileCopy(s, t, f);
  }
  void ClearFaults() {
    FailMoveFrom.clear();
    FailCopyTo.clear();
    FailCopyFrom.clear();
    FailCopiesToTimes = failedCopiesTo_ = 0;
    FailStartsFrom = 0;
    Events.clear();
    ClockStands = false;
    BeforeCopyTo = nullptr;
  }
  os::Status ServiceStartRequest(os::ServiceHandle h) override {
    Events.push_back("start");
    ++Starts;
    if (FailStartsFrom != 0 && Starts >= FailStartsFrom) return Injected("StartServiceW", "");
    return os::Api::ServiceStartRequest(h);
  }

private:
  int failedCopiesTo_ = 0;
};

std::string K(const std::string& key, const std::string& a0 = kNullArg) { return GetMsgText(key, a0); }
std::string U(const std::string& n) { return GetMsgText("uUpdate_UpdateProgramm_" + n); }

class UpdateRun : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    payloads = new Payloads;
    const std::string root = fbtest::Root(), port = fbtest::Port();
    os::DefineService(kService, {ServerScript() + " start " + Quoted(root) + " " + port + " >/dev/null",
                                 ServerScript() + " stop " + Quoted(root) + " >/dev/null",
                                 ServerScript() + " status " + Quoted(root) + " >/dev/null"});
    EnsureServerRuns();
    tamberDb = new std::string(MakeTemplate("run_template.fdb", true));
    oldCollationDb = new std::string(MakeTemplate("run_template_utf8.fdb", false));
  }
  static void TearDownTestSuite() {
    os::ForgetService(kService);
    delete payloads;
    delete tamberDb;
    delete oldCollationDb;
  }
public:
  static std::string* tamberDb;
  static std::string* oldCollationDb;

  RecordingHost host;
  ScopedHost useHost{host};
  TLDM ldm{host, BuiltInMessageCatalog()};
  TempDir dir{"."};
  RunSys sys;
  os::ScopedApi useSys{sys};
  std::string root, server, other;

  void SetUp() override {
    ldm.SetLanguage(English_Language);
    EnsureServerRuns();
    payloads->Register(payloads->Server);
    root = fs::absolute(dir.Path()).lexically_normal().string() + "/TAMBER_RU";
    server = fs::absolute(dir.Path()).lexically_normal().string() + "/Firebird";
    host.Values.ClientLibName = fbtest::ClientLib();
    host.Values.ConnectPrefix = "localhost/" + fbtest::Port() + ":";
    host.Values.ServParams = {server + "/", "SUPER", host.Values.ConnectPrefix, "FBSERVER.EXE", kService};
    sys.ServerDir = server + "/";
    // The server's own folder with an older library and support file.
    Write(server + "/udf/QRX_UDF.dll", "old QRX_UDF");
    Write(server + "/bin/udf_trans_p$2_l$0.fpd", "old support file");
    fs::create_directories(root);
  }
  void TearDown() override { EnsureServerRuns(); }

  void Project(const std::string& code) { host.Values = ProjectSettings(code, host.Values); }
  std::string Db() { return root + "/DB_Data/" + host.Values.DBFileName; }
  void ClientPart() {
    Write(root + "/Program/" + host.Values.ExeFileName, "old client");
    Write(root + "/Program/grids.ini", "[grid]\nwidth=10\n");
    Write(root + "/Program/Reports/r1.mht", "report");
    Write(root + "/Resources/Logo.bmp", "old logo");
  }
  void ServerPart(const std::string& from = "") {
    fs::create_directories(root + "/DB_Data");
    fs::copy_file(from.empty() ? *tamberDb : from, Db(), fs::copy_options::overwrite_existing);
  }
  std::string TmpDir() {
    for (const auto& e : fs::directory_iterator(root))
      if (e.path().filename().string().rfind("Tmp$", 0) == 0) return e.path().string();
    return "<no temporary tree>";
  }
  std::string BackupOf(const std::string& target) { return TmpDir() + "/Old/Other/" + EncodeBackupName(target); }
  bool Has(const std::string& line) { return std::find(host.Log.begin(), host.Log.end(), line) != host.Log.end(); }
  size_t Count(const std::string& line) { return std::count(host.Log.begin(), host.Log.end(), line); }

  // The run's ending: "updated", "abort", "needs user: MESSAGE" or "error: MESSAGE".
  std::string Run() {
    try {
      UpdateProgramm(root, fbtest::Password(), host.Values.ProjectCode);
      return "updated";
    } catch (const EAbort&) {
      return "abort";
    } catch (const EUpdateNeedsUser& e) {
      return std::string("needs user: ") + e.what();
    } catch (const std::exception& e) {
      return std::string("error: ") + e.what();
    }
  }
};
std::string* UpdateRun::tamberDb = nullptr;
std::string* UpdateRun::oldCollationDb = nullptr;

TEST_F(UpdateRun, TamberWithBothPartsIsUpdatedStepByStep) {
  Project("TAMBER");
  ClientPart();
  ServerPart();
  ASSERT_EQ(Run(), "updated");

  const std::string tmp = TmpDir(), d = "/";
  const std::string newDir = tmp + "/New";
  const std::vector<std::string> expected = {
      K("uUpdate_UpdateInit_1"), K("uUpdate_UpdateInit_4"),
      U("69"), U("64"), U("65"), U("66"), U("68"),
      U("08"), U("18"), U("19"),
      U("21"), U("22"), U("23"), U("24"), U("26"), U("27"),
      U("32"), U("35"), U("36"), U("37"), U("38"), U("39"),
      "Обновление серверной части",
      "Выполняется скрипт проверки проекта",
      "Завершено выполнение скрипта проверки проекта",
      "Проверка версии базы данных",
      "Выполненяется скрипт проверки версии базы даных",
      "Завершено выполнение скрипта проверки версии базы даных",
      "Остановка службы FireBird.",
      "Служба FireBird остановлена.",
      "Выполняется копирование системных файлов Firebird-сервера",
      "Завершено копирование системных файлов Firebird-сервера",
      "Запуск службы FireBird.",
      "Служба FireBird запущена.",
      "Выполненяется скрипт синхронизации параметров БД",
      "Выполненяется скрипт синхронизации структуры проекта",
      "Завершено обновление серверной части",
      "Обновление клиентской части",
      "Выполняется копирование и замена файлов и каталогов клиентского приложения",
      "Завершено копирование и замена файлов и каталогов клиентского приложения",
      "Завершено обновление клиентской части",
      GetMsgText("uUpdate_UpdateProgramm_41", newDir + d),
      U("22"), K("uUpdate_CopyFileWithBackUp_5"),
      U("48"), U("49"),
  };
  EXPECT_EQ(host.Log, expected);
  ASSERT_EQ(host.Questions.size(), 1u) << "no other user: only the first question";
  EXPECT_EQ(host.Questions[0], GetMsgText("uUpdate_UpdateProgramm_05", root, U("01"), "TAMBER"));
  EXPECT_EQ(host.Defaults[0], TDefaultButton::No);
  EXPECT_FALSE(host.HadErrors());

  // The database: updated, its data kept, online.
  EXPECT_EQ(Query(Db(), "select version_no || '.' || release_no from project_info;"), "107.0");
  EXPECT_EQ(Query(Db(), "select name from customers where id = 1;"), "ООО \"Норвел\"");
  EXPECT_EQ(Query(Db(), "select count(*) from rdb$functions where rdb$function_name = 'UDF_GET_BARCODE';"), "1");
  EXPECT_EQ(ShutdownMode(Db()), "0");
  EXPECT_FALSE(fs::exists(Db() + "_"));
  // The client: the new program from the client payload, the pictures from
  // the server payload, the other files kept.
  EXPECT_EQ(ReadAll(root + "/Program/Tamber.exe"), ReadAll(tmp + "/Wrk/Program/Tamber.exe"));
  EXPECT_NE(ReadAll(root + "/Program/Tamber.exe"), "old client");
  EXPECT_EQ(ReadAll(root + "/Program/Reports/r1.mht"), "report");
  EXPECT_TRUE(fs::exists(root + "/Program/grids.ini")) << "the copy back brings it back";
  for (const std::string& bmp : ClientBitmaps()) EXPECT_TRUE(fs::exists(root + "/Resources/" + bmp)) << bmp;
  EXPECT_NE(ReadAll(root + "/Resources/Logo.bmp"), "old logo");
  // The server's files replaced, each with its backup entry.
  for (const auto& [source, target] : ServerFiles()) EXPECT_TRUE(fs::exists(server + "/" + target)) << target;
  EXPECT_EQ(ReadAll(BackupOf(server + "/udf/QRX_UDF.dll")), "old QRX_UDF");
  EXPECT_TRUE(fs::exists(tmp + "/Old/Other/" + kDeletionMarker + EncodeBackupName(server + "/udf/QRX_UDF_u8.dll")));
  // The backup of this run stays; NewDir is gone, WrkDir stays.
  EXPECT_EQ(ReadAll(tmp + "/Old/Program/Tamber.exe"), "old client");
  EXPECT_EQ(ReadAll(tmp + "/Old/Resources/Logo.bmp"), "old logo");
  EXPECT_EQ(ReadAll(tmp + "/Old/DB_Data/Tamber.fdb").size(), fs::file_size(*tamberDb));
  EXPECT_FALSE(fs::exists(newDir));
  EXPECT_TRUE(fs::exists(tmp + "/Wrk"));
  // Only the user who ran it (and the administrator) may enter the run's folder.
  EXPECT_EQ(fs::status(tmp).permissions(), fs::perms::owner_all);
}

// Runs that differ only in their installation, answers and faults.
struct RunCase {
  const char* Name;
  const char* Project;
  bool Client, Server;
  std::function<void(UpdateRun&)> Arrange;
  // The ending; with Prefix set, only its beginning ({ROOT} stands for the
  // installation folder).
  std::string Ending;
  bool Prefix;
  bool HadErrors;
  std::vector<std::string> Logged; // catalog numbers of the run ("33"), other keys, or fixed texts
  std::vector<std::string> NotLogged;
  std::function<void(UpdateRun&)> Check;
};

// The live database as the run found it: version, structure and mode.
void LiveDatabaseUnchanged(const std::string& db, const std::string& mode = "0") {
  EXPECT_EQ(Query(db, "select version_no || '.' || release_no from project_info;"), "106.1");
  EXPECT_EQ(Query(db, "select count(*) from rdb$relation_fields where rdb$field_name = 'LABEL_CODE';"), "0");
  EXPECT_EQ(ShutdownMode(db), mode);
}

std::string Text(const std::string& keyOrText) {
  if (keyOrText.rfind("uUpdate_", 0) == 0 || keyOrText.rfind("uMain_", 0) == 0) return GetMsgText(keyOrText);
  if (keyOrText.size() == 2 && std::isdigit(static_cast<unsigned char>(keyOrText[0]))) return U(keyOrText);
  return keyOrText;
}

// Whether a log line holds Text.
bool LoggedWith(const std::vector<std::string>& log, const std::string& text) {
  for (const std::string& l : log)
    if (l.find(text) != std::string::npos) return true;
  return false;
}

// Text up to Mark.
std::string UpTo(const std::string& text, const std::string& mark) { return text.substr(0, text.find(mark)); }

class UpdateRunCases : public UpdateRun {
protected:
  void RunAll(const std::vector<RunCase>& cases) {
    for (const RunCase& c : cases) {
      SCOPED_TRACE(c.Name);
      // A fresh installation and server folder for every case.
      fs::remove_all(root);
      fs::remove_all(server);
      SetUp();
      host.Log.clear();
      host.Questions.clear();
      host.Defaults.clear();
      host.Answers.clear();
      host.Status.clear();
      host.Errors = true; // as an earlier failed run left it
      sys.ClearFaults();
      sys.Starts = 0;
      Project(c.Project);
      if (c.Client) ClientPart();
      if (c.Server) ServerPart();
      if (c.Arrange) c.Arrange(*this);
      std::string ending = c.Ending;
      for (size_t p; (p = ending.find("{ROOT}")) != std::string::npos;) ending.replace(p, 6, root);
      const std::string got = Run();
      if (c.Prefix)
        EXPECT_EQ(got.substr(0, ending.size()), ending) << got;
      else
        EXPECT_EQ(got, ending);
      EXPECT_EQ(host.HadErrors(), c.HadErrors);
      for (const std::string& k : c.Logged) EXPECT_TRUE(LoggedWith(host.Log, Text(k))) << "not logged: " << Text(k);
      for (const std::string& k : c.NotLogged) EXPECT_FALSE(LoggedWith(host.Log, Text(k))) << "logged: " << Text(k);
      if (c.Check) c.Check(*this);
      sys.ClearFaults();
      EnsureServerRuns();
    }
  }
};

TEST_F(UpdateRunCases, EndingsOfWholeRuns) {
  const std::string sync = "\r-------------------------- Errors in the sinchronization script ---------------------------\r";
  const std::string params =
      "\r-------------------------- Errors in the parameters sinchronization script ---------------------------\r";
  RunAll({
      {"client only: the server is never touched, the client payload still runs", "TAMBER", true, false, nullptr,
       "updated", false, false, {"32", "Обновление клиентской части"}, {"21", "Обновление серверной части", "48"},
       [](UpdateRun& t) {
         EXPECT_NE(ReadAll(t.root + "/Program/Tamber.exe"), "old client");
         EXPECT_EQ(ReadAll(t.server + "/udf/QRX_UDF.dll"), "old QRX_UDF");
         ASSERT_EQ(t.host.Questions.size(), 1u);
         EXPECT_NE(t.host.Questions[0].find(U("02")), std::string::npos);
       }},
      {"server only: the client payload is run all the same", "TAMBER", false, true, nullptr, "updated", false, false,
       {"Обновление серверной части", "48", "49"}, {"Обновление клиентской части"},
       [](UpdateRun& t) {
         EXPECT_NE(t.host.Questions.at(0).find(U("03")), std::string::npos);
         EXPECT_EQ(Query(t.Db(), "select version_no from project_info;"), "107");
         EXPECT_EQ(ShutdownMode(t.Db()), "0");
         EXPECT_FALSE(fs::exists(t.root + "/Program"));
       }},
      {"Tamber_Mini: no client payload, the old program stays", "TAMBER_MINI", true, true,
       [](UpdateRun& t) { Query(t.Db(), "update project_info set code = 'M'; commit;"); }, "updated", false, false,
       {"Обновление клиентской части", "49"}, {},
       [](UpdateRun& t) {
         EXPECT_EQ(ReadAll(t.root + "/Program/Tamber_Mini.exe"), "old client");
         EXPECT_TRUE(fs::exists(t.root + "/Resources/Splash.bmp"));
         EXPECT_EQ(Query(t.Db(), "select version_no from project_info;"), "107");
         EXPECT_FALSE(fs::exists(t.TmpDir() + "/New"));
       }},
      {"No to the first question: only the initialisation is logged", "TAMBER", true, true,
       [](UpdateRun& t) { t.host.Answers = {false}; }, "abort", false, false, {}, {"69"},
       [](UpdateRun& t) {
         EXPECT_EQ(t.host.Log.size(), 2u);
         EXPECT_EQ(t.TmpDir(), "<no temporary tree>");
       }},
      {"Classic server, No to the stop question", "TAMBER", true, true,
       [](UpdateRun& t) {
         t.host.Values.ServParams.ServerType = "CLASSIC";
         t.host.Answers = {true, false};
       },
       "abort", false, false, {"14", "16"}, {"17", "18"},
       [](UpdateRun& t) {
         ASSERT_EQ(t.host.Questions.size(), 2u);
         EXPECT_EQ(t.host.Questions[1], U("15"));
         EXPECT_EQ(t.host.Defaults[1], TDefaultButton::Yes);
         LiveDatabaseUnchanged(t.Db());
       }},
      {"Classic server, Yes to the stop question", "ZAVUDAVADA", true, true,
       [](UpdateRun& t) {
         t.host.Values.ServParams.ServerType = "CLASSIC";
         Query(t.Db(), "update project_info set code = 'C'; commit;");
       },
       "updated", false, false, {"14", "17", "18", "19"}, {"08"},
       [](UpdateRun& t) { EXPECT_NE(ReadAll(t.root + "/Program/Zavudavada.exe"), "old client"); }},
      {"another project's database", "TAMBER", true, true,
       [](UpdateRun& t) { Query(t.Db(), "update project_info set code = 'C'; commit;"); },
       // The server's answer follows the text.
       "error: " + U("63") + "\r------- STATEMENT --------\r\nexecute procedure check_project('G')", true, false,
       {"69"}, {"64", "18"}, nullptr},
      {"version check with the user's text between tildes", "TAMBER", true, true,
       [](UpdateRun& t) { Query(t.Db(), "update project_info set version_no = 105; commit;"); },
       "error: Database is too old", false, true,
       {"66", "\r-------------------------- Errors in check versio script ---------------------------\r"}, {"68", "18"},
       nullptr},
      {"version check without tildes: an empty message", "TAMBER", true, true,
       [](UpdateRun& t) {
         Query(t.Db(), "alter exception e_version 'Database is too old'; update project_info set version_no = 105; commit;");
       },
       "error: ", false, true, {"66"}, {"68"}, nullptr},
      {"a locked installation folder", "TAMBER", true, true, [](UpdateRun& t) { t.sys.FailMoveFrom = t.root; },
       "error: " + GetMsgText("uUpdate_UpdateProgramm_33", "{ROOT}") + InjectedCause("MoveFileW", "{ROOT}"), false,
       false, {"32", "48", "49"}, {"35", "36"},
       [](UpdateRun& t) {
         EXPECT_EQ(t.TmpDir(), "<no temporary tree>");
         LiveDatabaseUnchanged(t.Db());
       }},
      {"a link planted under the run's folder name: nothing is deleted or written through it", "TAMBER", true, true,
       [](UpdateRun& t) {
         t.sys.ClockStands = true;
         Write(t.server + "/elsewhere/precious.txt", "precious");
         Write(t.server + "/elsewhere/New/kept.txt", "kept");
         fs::create_directory_symlink(t.server + "/elsewhere", t.root + "/Tmp$091225143005");
       },
       "error: " + GetMsgText("uUpdate_MyCreateDir_1", "{ROOT}/Tmp$091225143005") + "\r", true, false,
       {"35", "36", "48", "49"}, {"37"},
       [](UpdateRun& t) {
         EXPECT_EQ(ReadAll(t.server + "/elsewhere/precious.txt"), "precious");
         EXPECT_EQ(ReadAll(t.server + "/elsewhere/New/kept.txt"), "kept");
         EXPECT_EQ(std::distance(fs::directory_iterator(t.server + "/elsewhere"), fs::directory_iterator()), 2);
         LiveDatabaseUnchanged(t.Db());
         EXPECT_EQ(ReadAll(t.root + "/Program/Tamber.exe"), "old client");
       }},
      {"a folder someone made under the run's folder name is not taken over", "TAMBER", true, false,
       [](UpdateRun& t) {
         t.sys.ClockStands = true;
         Write(t.root + "/Tmp$091225143005/Old/Other/" + EncodeBackupName(t.server + "/udf/QRX_UDF.dll"), "planted");
       },
       "error: " + GetMsgText("uUpdate_MyCreateDir_1", "{ROOT}/Tmp$091225143005") + "\r", true, false, {"36"}, {"37"},
       [](UpdateRun& t) {
         EXPECT_EQ(ReadAll(t.TmpDir() + "/Old/Other/" + EncodeBackupName(t.server + "/udf/QRX_UDF.dll")), "planted");
         EXPECT_EQ(ReadAll(t.server + "/udf/QRX_UDF.dll"), "old QRX_UDF");
         EXPECT_EQ(ReadAll(t.root + "/Program/Tamber.exe"), "old client");
       }},
      {"a database already shut down", "TAMBER", true, true,
       [](UpdateRun& t) {
         DatabaseShutdown(t.host.Values.ClientLibName, t.host.Values.ConnectPrefix + t.Db(), "SYSDBA", fbtest::Password());
       },
       "error: " + U("20") + "\r\r", true, false, {"18"}, {"19", "21"},
       [](UpdateRun& t) { LiveDatabaseUnchanged(t.Db(), "1"); }},
      {"the server does not come back at the end", "TAMBER", true, true,
       [](UpdateRun& t) { t.sys.FailStartsFrom = 3; }, "needs user: Exception Message: " + U("50"), true, false, {"48"},
       {"49"}, nullptr},
      {"a payload program that fails is a failed step", "TAMBER", true, true,
       [](UpdateRun&) { payloads->Register(payloads->Damaged); },
       "error: " + GetMsgText("uUpdate_ExtractFilesFromResource_1", "files") + "\r", true, false, {"36", "48", "49"},
       {"37"},
       [](UpdateRun& t) {
         EXPECT_FALSE(fs::exists(t.TmpDir() + "/New"));
         LiveDatabaseUnchanged(t.Db());
       }},
      {"a file the backup copy skips fails the backup", "TAMBER", true, true,
       [](UpdateRun& t) { t.sys.FailCopyTo = "/Old/Program/grids.ini"; },
       "error: " + UpTo(GetMsgText("uUpdate_CopyFileWithBackUp_4", "{ROOT}/Program/grids.ini", "{X}"), "{X}"), true, false,
       {"38", "48", "49"}, {"39"},
       [](UpdateRun& t) {
         EXPECT_FALSE(fs::exists(t.TmpDir() + "/New"));
         LiveDatabaseUnchanged(t.Db());
       }},
      {"a link in the program folder is named and not followed, not even around in a circle", "TAMBER", true, true,
       [](UpdateRun& t) { fs::create_directory_symlink(t.root, t.root + "/Program/loop"); },
       "error: " + UpTo(GetMsgText("uUpdate_CopyFileWithBackUp_4", "{ROOT}/Program/loop", "{X}"), "{X}"), true, false,
       {"38", "48", "49"}, {"39"},
       [](UpdateRun& t) {
         EXPECT_FALSE(fs::exists(t.TmpDir() + "/Old/Program/loop"));
         EXPECT_EQ(ReadAll(t.root + "/Program/Tamber.exe"), "old client");
         LiveDatabaseUnchanged(t.Db());
       }},
      {"a file the copy back cannot write once: the swap undoes itself, everything as before", "TAMBER", true, true,
       [](UpdateRun& t) {
         t.sys.FailCopyTo = "TAMBER_RU/Program/Reports/r1.mht";
         t.sys.FailCopiesToTimes = 1;
       },
       "error: ", false, true,
       {UpTo(GetMsgText("uUpdate_CopyFileWithBackUp_4", "{X}"), "{X}"), "/Wrk/Program/Reports/r1.mht file to the folder",
        "45", "49"},
       {"47"},
       [](UpdateRun& t) {
         LiveDatabaseUnchanged(t.Db());
         EXPECT_FALSE(fs::exists(t.Db() + "_"));
         EXPECT_EQ(ReadAll(t.root + "/Program/Tamber.exe"), "old client");
         EXPECT_EQ(ReadAll(t.root + "/Program/grids.ini"), "[grid]\nwidth=10\n");
         EXPECT_FALSE(fs::exists(t.root + "/Program/Tamber.chm")) << "a file the update added is taken away";
         EXPECT_EQ(ReadAll(t.root + "/Resources/Logo.bmp"), "old logo");
         EXPECT_EQ(ReadAll(t.server + "/udf/QRX_UDF.dll"), "old QRX_UDF");
         EXPECT_EQ(ReadAll(t.server + "/bin/udf_trans_p$2_l$0.fpd"), "old support file");
       }},
      {"a file the copy back can never write: what is not restored is named", "TAMBER", true, true,
       [](UpdateRun& t) { t.sys.FailCopyTo = "TAMBER_RU/Program/Reports/r1.mht"; },
       "needs user: " + U("47") + "\rException Message: " +
           GetMsgText("uUpdate_RestoreFilesFromBackup_1", "{ROOT}/Program/Reports/r1.mht"),
       true, true, {"45", "49"}, {},
       [](UpdateRun& t) {
         LiveDatabaseUnchanged(t.Db());
         EXPECT_EQ(ReadAll(t.root + "/Program/Tamber.exe"), "old client");
         EXPECT_EQ(ReadAll(t.server + "/udf/QRX_UDF.dll"), "old QRX_UDF");
       }},
      {"a server file that cannot be replaced: the server is started, the files before it restored", "TAMBER", true, true,
       [](UpdateRun& t) { t.sys.FailCopyFrom = "/New/QRX_UDF.dll"; }, "error: ", false, true,
       {"Exception Message: Не удалось выполнить обновление файла: ", "Запуск службы FireBird.", "45", "49"},
       {"Завершено копирование системных файлов Firebird-сервера", "Выполненяется скрипт синхронизации параметров БД"},
       [](UpdateRun& t) {
         EXPECT_TRUE(LoggedWith(t.host.Log, "Не удалось выполнить обновление файла: " + t.server + "/udf/QRX_UDF.dll"));
         EXPECT_EQ(ReadAll(t.server + "/bin/udf_trans_p$2_l$0.fpd"), "old support file");
         EXPECT_FALSE(fs::exists(t.server + "/udf/QRX_ROUND_UDF.dll"));
         EXPECT_EQ(ReadAll(t.server + "/udf/QRX_UDF.dll"), "old QRX_UDF");
         LiveDatabaseUnchanged(t.Db());
       }},
      {"a failing statement in the structure script: rollback", "TAMBER", true, true,
       [](UpdateRun&) { payloads->Register(payloads->FailingScript); }, "error: ", false, true,
       {sync + "------- STATEMENT --------\r\nALTER TABLE NO_SUCH_TABLE ADD NOTE VARCHAR(20)\r\n-------   ERROR   --------\r\n",
        "Exception Message: " + U("40") + "\r" + U("44"), "45", "48", "49"},
       {"41"},
       [sync](UpdateRun& t) {
         // One failing statement: the block holds the engine's four entries for it
         // (the error text spans lines of its own) and nothing else.
         for (const std::string& l : t.host.Log)
           if (l.rfind(sync, 0) == 0) {
             EXPECT_EQ(l.find("------- STATEMENT --------"), l.rfind("------- STATEMENT --------")) << l;
             EXPECT_NE(l.find("-Table NO_SUCH_TABLE does not exist\r\n"), std::string::npos) << l;
           }
         EXPECT_EQ(t.host.Status, std::vector<std::string>{U("43")});
         EXPECT_EQ(ReadAll(t.server + "/udf/QRX_UDF.dll"), "old QRX_UDF");
         EXPECT_EQ(ReadAll(t.server + "/bin/udf_trans_p$2_l$0.fpd"), "old support file");
         EXPECT_FALSE(fs::exists(t.server + "/udf/QRX_UDF_u8.dll")) << "a file the run created is deleted";
         EXPECT_EQ(ReadAll(t.root + "/Program/Tamber.exe"), "old client");
         EXPECT_EQ(ReadAll(t.root + "/Program/grids.ini"), "[grid]\nwidth=10\n") << "the client stage had deleted it";
         EXPECT_FALSE(fs::exists(t.TmpDir() + "/New"));
         EXPECT_FALSE(fs::exists(t.TmpDir() + "/Wrk"));
         EXPECT_TRUE(fs::exists(t.TmpDir() + "/Old/DB_Data/Tamber.fdb"));
         LiveDatabaseUnchanged(t.Db());
         // A library the server has loaded cannot be replaced on Windows:
         // the rollback stops the server before it restores the files.
         const std::vector<std::string>& ev = t.sys.Events;
         const auto restored =
             std::find_if(ev.rbegin(), ev.rend(), [](const std::string& e) { return e.rfind("replace ", 0) == 0; });
         ASSERT_NE(restored, ev.rend());
         const auto service = std::find_if(restored, ev.rend(),
                                           [](const std::string& e) { return e == "stop" || e == "start"; });
         ASSERT_NE(service, ev.rend());
         EXPECT_EQ(*service, "stop") << "the server runs while its files are restored";
       }},
      {"entries that appear in the backup folder during the run are not restored: only what the run backed up", "TAMBER",
       true, true,
       [](UpdateRun& t) {
         payloads->Register(payloads->FailingScript);
         Write(t.server + "/victim.txt", "precious");
         Write(t.server + "/overwritten.txt", "original");
         t.sys.BeforeCopyTo = [&t](const std::string& target) {
           if (target.find("/Old/Other/") == std::string::npos) return;
           const std::string other = target.substr(0, target.rfind('/'));
           Write(other + "/" + kDeletionMarker + EncodeBackupName(t.server + "/victim.txt"), "");
           Write(other + "/" + EncodeBackupName(t.server + "/overwritten.txt"), "planted");
         };
       },
       "error: ", false, true, {"45", "49"}, {},
       [](UpdateRun& t) {
         EXPECT_EQ(ReadAll(t.server + "/victim.txt"), "precious");
         EXPECT_EQ(ReadAll(t.server + "/overwritten.txt"), "original");
         EXPECT_EQ(ReadAll(t.server + "/udf/QRX_UDF.dll"), "old QRX_UDF") << "what the run backed up is restored";
         EXPECT_FALSE(fs::exists(t.server + "/udf/QRX_UDF_u8.dll")) << "what the run created is deleted";
         LiveDatabaseUnchanged(t.Db());
       }},
      {"Firebird 3 refuses the parameter synchronisation on a UTF8 default collation", "TAMBER", true, true,
       [](UpdateRun& t) { t.ServerPart(*oldCollationDb); }, "error: ", false, true,
       {params + "------- STATEMENT --------\r\n", "UPDATE operation is not allowed for system table RDB$CHARACTER_SETS",
        "45"},
       {}, [](UpdateRun& t) { LiveDatabaseUnchanged(t.Db()); }},
  });
}

// The live database file stays locked through the whole swap: eleven
// attempts, then the installation is put back as a rollback would.
TEST_F(UpdateRun, ASwapThatCannotReplaceTheDatabaseIsAFailureAndRestoresTheServerFiles) {
  Project("TAMBER");
  ClientPart();
  ServerPart();
  // Renames of the live file fail only in the swap: the lock check renames
  // the folder, not the file.
  sys.FailMoveFrom = Db();
  EXPECT_EQ(Run(), "error: ");
  EXPECT_TRUE(host.HadErrors());
  EXPECT_EQ(Count(K("uUpdate_CopyFileWithBackUp_5")), 11u);
  EXPECT_EQ(std::count(sys.Events.begin(), sys.Events.end(), "sleep " + std::to_string(kRenamePauseMs)), 10)
      << "a pause between two attempts, a few seconds in all";
  EXPECT_TRUE(Has(GetMsgText("uUpdate_CopyFileWithBackUp_3", host.Values.ConnectPrefix + Db()) +
                  InjectedCause("MoveFileW", Db())))
      << "the last attempt's failure is named";
  EXPECT_TRUE(Has(U("45")));
  EXPECT_TRUE(Has(U("49")));
  EXPECT_EQ(ReadAll(server + "/udf/QRX_UDF.dll"), "old QRX_UDF");
  EXPECT_EQ(ReadAll(root + "/Program/Tamber.exe"), "old client") << "the folders are not copied back";
  sys.FailMoveFrom.clear();
  LiveDatabaseUnchanged(Db());
}

// The updated copy cannot be moved in: the live file is put back.
TEST_F(UpdateRun, ASwapThatCannotMoveTheUpdateInPutsTheLiveDatabaseBack) {
  Project("TAMBER");
  ServerPart();
  struct Sys : RunSys {
    os::Status FileMove(const std::string& s, const std::string& t) override {
      if (s.find("/Wrk/DB_Data/") != std::string::npos) return Injected("MoveFileW", s);
      return RunSys::FileMove(s, t);
    }
  } failingMove;
  os::ScopedApi use(failingMove);
  EXPECT_EQ(Run(), "error: ");
  const std::string updated = TmpDir() + "/Wrk/DB_Data/Tamber.fdb";
  EXPECT_TRUE(Has(GetMsgText("uUpdate_CopyFileWithBackUp_4", updated, root + "/DB_Data") +
                  InjectedCause("MoveFileW", updated)));
  // The live database is back under its name: nobody is told to move a
  // database by hand.
  EXPECT_FALSE(LoggedWith(host.Log, GetMsgText("uUpdate_UpdateProgramm_61", TmpDir() + "/Wrk/DB_Data/", root + "/DB_Data/")));
  EXPECT_TRUE(Has(U("45")));
  EXPECT_FALSE(fs::exists(Db() + "_"));
  EXPECT_EQ(ReadAll(server + "/udf/QRX_UDF.dll"), "old QRX_UDF");
  LiveDatabaseUnchanged(Db());
}

// Another user works in the database of a SuperServer: listed in the question.
TEST_F(UpdateRun, TheUsersQuestionNamesTheOtherAttachments) {
  Project("TAMBER");
  ServerPart();
  auto attach = [&] {
    auto c = std::make_unique<TDBConnection>(host.Values.ConnectPrefix + Db(), "SYSDBA", fbtest::Password(), "");
    c->Connect(host.Values.ClientLibName);
    return c;
  };
  {
    auto a = attach(), b = attach();
    host.Answers = {true, false};
    EXPECT_EQ(Run(), "abort");
    ASSERT_EQ(host.Questions.size(), 2u);
    EXPECT_EQ(host.Questions[1], GetMsgText("uUpdate_UpdateProgramm_11", U("10") + "SYSDBA; SYSDBA"));
    EXPECT_EQ(host.Defaults[1], TDefaultButton::Yes);
    EXPECT_TRUE(Has(U("12")));
    EXPECT_EQ(fbtest::OtherAttachments(Db()), 2);
  }
  host.Log.clear();
  auto a = attach();
  EXPECT_EQ(Run(), "updated");
  EXPECT_TRUE(Has(U("13")));
  EXPECT_EQ(Query(Db(), "select version_no from project_info;"), "107");
}

// The run log fails for good right after the database was shut down (a disk
// that is full, a file someone locked): the run goes on to its end, with or
// without a failure, and says once that the log could not be written.
TEST_F(UpdateRun, ALogThatCannotBeWrittenNeverStopsTheRunNorItsCleanUp) {
  Project("TAMBER");
  for (bool failingScript : {false, true}) {
    SCOPED_TRACE(failingScript ? "a run that rolls back" : "a run that updates");
    fs::remove_all(root);
    fs::remove_all(server);
    SetUp();
    ClientPart();
    ServerPart();
    if (failingScript) payloads->Register(payloads->FailingScript);
    host.Log.clear();
    host.Shown.clear();
    host.FailLogAfter(U("19"));
    EXPECT_EQ(Run(), failingScript ? "error: " : "updated");
    host.FailLogAfter("");
    EXPECT_EQ(host.Log.back(), U("19"));
    EXPECT_EQ(host.Shown, (std::vector<std::pair<TMsgDlgType, std::string>>{
                              {TMsgDlgType::Warning, RecordingHost::kLogFailure}}));
    EXPECT_EQ(ShutdownMode(Db()), "0");
    if (failingScript) {
      LiveDatabaseUnchanged(Db());
      EXPECT_EQ(ReadAll(server + "/udf/QRX_UDF.dll"), "old QRX_UDF");
      EXPECT_EQ(ReadAll(root + "/Program/grids.ini"), "[grid]\nwidth=10\n");
    } else {
      EXPECT_EQ(Query(Db(), "select version_no from project_info;"), "107");
      EXPECT_NE(ReadAll(root + "/Program/Tamber.exe"), "old client") << "the new client is in place";
    }
    EXPECT_FALSE(fs::exists(TmpDir() + "/New"));
  }
}

// The lock check's rename back never succeeds: the run says where the
// installation is, keeps that in its message when the final step fails too
// (the database cannot be reached under the folder's other name), and
// nothing else of the run happens.
TEST_F(UpdateRun, ALockCheckThatCannotRenameBackSaysWhereTheInstallationIs) {
  Project("TAMBER");
  ClientPart();
  ServerPart();
  sys.FailMoveFrom = root + "_";
  const std::string got = Run();
  sys.FailMoveFrom.clear();
  const std::string where = GetMsgText("uUpdate_UpdateProgramm_70", root + "_", root);
  EXPECT_EQ(got.rfind("needs user: ", 0), 0u) << got;
  EXPECT_NE(got.find(U("34") + InjectedCause("MoveFileW", root + "_") + "\r" + where), std::string::npos) << got;
  EXPECT_NE(got.find(U("50")), std::string::npos) << got;
  EXPECT_FALSE(fs::exists(root));
  fs::rename(root + "_", root);
  EXPECT_EQ(TmpDir(), "<no temporary tree>");
  LiveDatabaseUnchanged(Db(), "1");
}

// A "<database>_" file left by an earlier run neither blocks the swap nor
// goes: the swap takes another name for the live file while it swaps.
TEST_F(UpdateRun, AFileLeftBesideTheDatabaseByAnEarlierRunDoesNotBlockTheSwap) {
  Project("TAMBER");
  ServerPart();
  Write(Db() + "_", "left by an earlier run");
  fs::permissions(Db() + "_", fs::perms::owner_read, fs::perm_options::replace);
  EXPECT_EQ(Run(), "updated");
  EXPECT_EQ(Count(K("uUpdate_CopyFileWithBackUp_5")), 1u);
  EXPECT_EQ(Query(Db(), "select version_no from project_info;"), "107");
  EXPECT_EQ(ReadAll(Db() + "_"), "left by an earlier run");
  EXPECT_FALSE(fs::exists(Db() + "_2")) << "the old database went after the swap";
}

//--- The database mode commands --------------------------------------------------

struct ModeCase {
  const char* Name;
  bool Online;                        // the command: online, else shutdown
  std::function<void(UpdateRun&)> Arrange;
  std::string Ending;                 // "done", or "error: " + the beginning of the message
  std::vector<std::string> Logged;    // keys
  std::vector<std::pair<TMsgDlgType, std::string>> Shown;
  std::string ModeAfter;              // "" when not looked at
  std::string LogFailsAfter;          // the log fails after the entry of this key
};

TEST_F(UpdateRun, DatabaseModeCommands) {
  const std::vector<ModeCase> cases = {
      {"shutdown", false, nullptr, "done", {"uUpdate_UpdateShutdown_1", "uUpdate_UpdateShutdown_3"},
       {{TMsgDlgType::Information, K("uUpdate_UpdateShutdown_4")}}, "1", ""},
      {"shutdown again: already in that mode", false, nullptr, "done",
       {"uUpdate_UpdateShutdown_1", "uUpdate_UpdateShutdown_5"}, {{TMsgDlgType::Warning, K("uUpdate_UpdateShutdown_6")}},
       "1", ""},
      {"online", true, nullptr, "done", {"uUpdate_UpdateOnLine_01", "uUpdate_UpdateOnLine_03"},
       {{TMsgDlgType::Information, K("uUpdate_UpdateOnLine_04")}}, "0", ""},
      {"online again: already in that mode", true, nullptr, "done",
       {"uUpdate_UpdateOnLine_01", "uUpdate_UpdateOnLine_05"}, {{TMsgDlgType::Warning, K("uUpdate_UpdateOnLine_06")}},
       "0", ""},
      {"wrong password", false, nullptr,
       "error: Your user name and password are not defined", {"uUpdate_UpdateShutdown_1"}, {}, "0", ""},
      {"server stopped", true, [](UpdateRun&) { StopServer(); }, "error: ", {"uUpdate_UpdateOnLine_01"}, {}, "", ""},
      {"client-only installation", true, [](UpdateRun& t) { fs::remove(t.Db()); },
       "error: " + K("uUpdate_UpdateOnLine_02"), {"uUpdate_UpdateOnLine_01"}, {}, "", ""},
      {"client-only installation, shutdown", false, [](UpdateRun& t) { fs::remove(t.Db()); },
       "error: " + K("uUpdate_UpdateShutdown_2"), {"uUpdate_UpdateShutdown_1"}, {}, "", ""},
      {"a log that fails once the command has begun: the switch is done and told", false, nullptr, "done",
       {"uUpdate_UpdateShutdown_1"},
       {{TMsgDlgType::Information, K("uUpdate_UpdateShutdown_4")}, {TMsgDlgType::Warning, RecordingHost::kLogFailure}},
       "1", K("uUpdate_UpdateShutdown_1")},
      {"online again after it", true, nullptr, "done", {"uUpdate_UpdateOnLine_01", "uUpdate_UpdateOnLine_03"},
       {{TMsgDlgType::Information, K("uUpdate_UpdateOnLine_04")}}, "0", ""},
  };
  Project("TAMBER");
  ClientPart();
  ServerPart();
  for (const ModeCase& c : cases) {
    SCOPED_TRACE(c.Name);
    host.FailLogAfter(c.LogFailsAfter);
    host.Log.clear();
    host.Shown.clear();
    if (c.Arrange) c.Arrange(*this);
    const std::string password = std::string(c.Name) == "wrong password" ? "wrong" : fbtest::Password();
    std::string got = "done";
    try {
      if (c.Online)
        UpdateOnLine(root, password);
      else
        UpdateShutdown(root, password);
    } catch (const std::exception& e) {
      got = std::string("error: ") + e.what();
    }
    EXPECT_EQ(got.substr(0, c.Ending.size()), c.Ending) << got;
    std::vector<std::string> expected = {K("uUpdate_UpdateInit_1"), K("uUpdate_UpdateInit_4")};
    for (const std::string& k : c.Logged) expected.push_back(K(k));
    EXPECT_EQ(host.Log, expected);
    EXPECT_EQ(host.Shown, c.Shown);
    EnsureServerRuns();
    if (!c.ModeAfter.empty()) {
      EXPECT_EQ(ShutdownMode(Db()), c.ModeAfter);
    }
    if (!fs::exists(Db())) ServerPart();
  }
}

} // namespace
