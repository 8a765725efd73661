// WindowUpdateTest - Updater_Tamber.exe, as a default build makes it, updates
// a Tamber installation with both parts on the real Firebird server, driven
// only through its window: the client library it finds through server
// discovery, a whole update, a rollback, a database file held open through
// the final swap, a Russian message of the server, and the Service menu.
#include "E2ESupport.h"

#include "TestHosts.h"
#include "uLDM.h"
#include "uMainIds.h"
#include "uUpdate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

using namespace e2e;

// The message catalog in the language the program starts in on this system.
class Texts {
public:
  Texts() : ldm_(host_, BuiltInMessageCatalog()) { ldm_.DataModuleCreate(); }

private:
  RecordingHost host_;
  TLDM ldm_;
};

// CR LF for every line break, as multi-line boxes hold them.
std::string WithCrLf(const std::string& Text) {
  std::string out;
  for (size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] == '\r' || Text[i] == '\n') {
      out += "\r\n";
      if (Text[i] == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
    } else {
      out += Text[i];
    }
  }
  return out;
}

std::string Joined(const std::vector<std::string>& Lines) {
  std::string out;
  for (const std::string& l : Lines) out += l + "\n";
  return out;
}

// A Tamber installation with both parts below the all-users profile folder,
// where the Project menu proposes it, and the Firebird service running.
class WindowUpdate : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(JoinDesktop()) << "the test desktop did not come up";
    server_ = std::make_unique<FirebirdInstance>();
    ASSERT_TRUE(server_->Ready());
    profile_ = fs::u8path(dir_.Path()) / "profile";
    root_ = profile_ / "NorvelSoft" / "TAMBER_RU";
    ASSERT_EQ(MakeInstallation(root_), "");
    db_ = root_ / "DB_Data" / "Tamber.fdb";
  }

  std::map<std::wstring, std::wstring> Env() const { return {{L"ALLUSERSPROFILE", profile_.wstring()}}; }

  // What a run showed in boxes, in order: questions (answered Yes) and
  // messages (closed with OK).
  struct Boxes {
    std::vector<std::string> Questions, Messages;
  };

  // Chooses Tamber, presses Start and answers every question Yes until the
  // run has ended; During is called while it runs.
  Boxes RunUpdate(Updater& U, const std::function<void()>& During = {}) {
    Boxes boxes;
    U.Command(IDM_PROJECT_TAMBER);
    WaitFor([&] { return !U.Text(IDC_E_PROGRAM_LOCATION).empty(); });
    U.Command(IDC_OK_BTN);
    const std::vector<std::string> endings = {WithCrLf(GetMsgText("uMain_Finished_1")),
                                              WithCrLf(GetMsgText("uMain_Finished_3")),
                                              WithCrLf(GetMsgText("uMain_Finished_4"))};
    const bool ended = WaitFor(
        [&] {
          if (During) During();
          if (HWND box = U.Box(0)) {
            const bool question = GetDlgItem(box, IDYES) != nullptr;
            (question ? boxes.Questions : boxes.Messages).push_back(WithCrLf(Updater::BoxText(box)));
            Updater::Answer(box, question ? IDYES : IDOK);
          }
          const std::string status = U.Text(IDC_M_CAPTIONS);
          return IsWindowEnabled(U.Control(IDC_P_BTN)) &&
                 std::find(endings.begin(), endings.end(), status) != endings.end();
        },
        900000);
    EXPECT_TRUE(ended) << "the run did not end\n" << U.Text(IDC_M_LOG);
    // A run that fails shows its ending first and its error box after: the
    // box comes from the window procedure once the run's handler has left.
    if (HWND box = U.Box(3000)) {
      boxes.Messages.push_back(WithCrLf(Updater::BoxText(box)));
      Updater::Answer(box, IDOK);
    }
    return boxes;
  }

  // The run's working folder (Tmp$...), the one there is.
  fs::path RunFolder() const {
    for (const auto& e : fs::directory_iterator(root_))
      if (e.path().filename().string().rfind("Tmp$", 0) == 0) return e.path();
    return {};
  }

  std::string ServerFile(const std::string& Relative) const {
    return ReadFile(fs::path(FirebirdInstance::Root()) / fs::u8path(Relative));
  }

  Texts texts_;
  TempDir dir_;
  std::unique_ptr<FirebirdInstance> server_;
  fs::path profile_, root_, db_;
};

// The log of a whole update with both parts, entry by entry.
std::vector<std::string> WholeUpdateLog(const std::string& NewFolder) {
  auto msg = [](const char* key) { return GetMsgText(std::string("uUpdate_UpdateProgramm_") + key); };
  return {
      GetMsgText("uMain_ClientLibrary_1", FirebirdInstance::Root() + "bin\\fbclient.dll"),
      GetMsgText("uUpdate_UpdateInit_1"), GetMsgText("uUpdate_UpdateInit_4"),
      msg("69"), msg("64"), msg("65"), msg("66"), msg("68"),              // the live database's checks
      msg("08"), msg("18"), msg("19"),                                    // other users, the shutdown
      msg("21"), msg("22"), msg("23"), msg("24"), msg("26"), msg("27"),   // the free space, server stopped
      msg("32"), msg("35"), msg("36"), msg("37"), msg("38"), msg("39"),   // locks, working tree, backup
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
      GetMsgText("uUpdate_UpdateProgramm_41", NewFolder),
      msg("22"), GetMsgText("uUpdate_CopyFileWithBackUp_5"),              // the final swap
      msg("48"), msg("49"),                                               // online again
      GetMsgText("uMain_Finished_2"),
  };
}

// The server files an update replaces, in the server folder and in the
// server payload.
const std::pair<const char*, const char*> kServerFiles[] = {
    {"bin\\udf_trans_p$2_l$0.fpd", "udf_trans_p$2_l$0.fpd"}, {"udf\\QRX_ROUND_UDF.dll", "QRX_ROUND_UDF.dll"},
    {"udf\\QRX_UDF.dll", "QRX_UDF.dll"},                     {"udf\\qrx_udf_date.dll", "qrx_udf_date.dll"},
    {"udf\\QRX_UDF_Str.dll", "QRX_UDF_Str.dll"},             {"udf\\QRX_UDF_u8.dll", "QRX_UDF_u8.dll"},
};
// Two of them an earlier installation had put there.
const std::pair<const char*, const char*> kOldServerFiles[] = {{"bin\\udf_trans_p$2_l$0.fpd", "the old fpd"},
                                                              {"udf\\QRX_UDF.dll", "the old QRX_UDF"}};

TEST_F(WindowUpdate, YesToEachQuestionUpdatesBothPartsOfTheInstallation) {
  for (const auto& [file, content] : kOldServerFiles) WriteFile(fs::path(FirebirdInstance::Root()) / file, content);
  Updater updater(fs::u8path(dir_.Path()) / "program", Env());
  ASSERT_NE(updater.Window(), nullptr);
  const Boxes boxes = RunUpdate(updater);
  EXPECT_EQ(updater.Text(IDC_M_CAPTIONS), WithCrLf(GetMsgText("uMain_Finished_1")));
  Screenshot("e2e-updated");
  EXPECT_EQ(boxes.Questions,
            std::vector<std::string>{WithCrLf(GetMsgText("uUpdate_UpdateProgramm_05", Utf8(root_),
                                                         GetMsgText("uUpdate_UpdateProgramm_01"), "TAMBER"))});
  EXPECT_TRUE(boxes.Messages.empty()) << Joined(boxes.Messages);

  const fs::path run = RunFolder();
  ASSERT_FALSE(run.empty());
  EXPECT_EQ(Joined(LogEntries(updater.LogFile())), Joined(WholeUpdateLog(Utf8(run / "New") + "\\")));

  // The database, updated by the payload's script and online.
  EXPECT_EQ(QueryValue(db_, "select version_no || '.' || release_no from project_info;"), "107.0");
  EXPECT_EQ(QueryValue(db_, "select count(*) from rdb$relation_fields where rdb$field_name = 'LABEL_CODE';"), "1");
  EXPECT_EQ(QueryValue(db_, "select trim(rdb$module_name) from rdb$functions where rdb$function_name = 'UDF_GET_BARCODE';"),
            "UDF_Marklet");
  EXPECT_EQ(QueryValue(db_, "select count(*) from customers;"), "3") << "the data is kept";
  EXPECT_EQ(QueryValue(db_, "select mon$shutdown_mode from mon$database;"), "0") << "online";
  EXPECT_TRUE(FirebirdInstance::ServerAnswers());

  // The new program, resources and server files; the server's old files
  // backed up in Old, a mark for each file that was not there; New gone.
  EXPECT_TRUE(ReadFile(root_ / "Program" / "Tamber.exe") == ReadFile(fs::u8path(NEW_TAMBER_EXE)));
  EXPECT_TRUE(ReadFile(root_ / "Resources" / "Logo.bmp") == ReadFile(fs::u8path(PAYLOAD_SERVER_DIR "/Logo.bmp")));
  for (const auto& [file, payload] : kServerFiles)
    EXPECT_TRUE(ServerFile(file) == ReadFile(fs::u8path(PAYLOAD_SERVER_DIR) / payload)) << file;
  EXPECT_TRUE(fs::exists(fs::path(FirebirdInstance::Root()) / "udf" / "UDF_Marklet.dll"));
  const fs::path backups = run / "Old" / "Other";
  for (const auto& [file, payload] : kServerFiles) {
    const std::string full = FirebirdInstance::Root() + file;
    const bool wasThere = std::any_of(std::begin(kOldServerFiles), std::end(kOldServerFiles),
                                      [&](const auto& old) { return std::string(old.first) == file; });
    EXPECT_TRUE(fs::exists(backups / fs::u8path((wasThere ? "" : kDeletionMarker) + EncodeBackupName(full)))) << file;
  }
  for (const auto& [file, content] : kOldServerFiles)
    EXPECT_EQ(ReadFile(backups / fs::u8path(EncodeBackupName(FirebirdInstance::Root() + file))), content);
  EXPECT_FALSE(fs::exists(run / "New"));
}

TEST_F(WindowUpdate, AFailingScriptIsRolledBackWithoutAnErrorBox) {
  // Someone added the payload script's new column by hand: its first
  // statement fails.
  ASSERT_EQ(Isql(db_, "alter table customers add label_code varchar(80);"), "");
  for (const auto& [file, content] : kOldServerFiles) WriteFile(fs::path(FirebirdInstance::Root()) / file, content);
  Updater updater(fs::u8path(dir_.Path()) / "program", Env());
  ASSERT_NE(updater.Window(), nullptr);
  const Boxes boxes = RunUpdate(updater);
  EXPECT_EQ(updater.Text(IDC_M_CAPTIONS), WithCrLf(GetMsgText("uMain_Finished_3")));
  Screenshot("e2e-rolled-back");
  EXPECT_EQ(boxes.Questions.size(), 1u);
  EXPECT_TRUE(boxes.Messages.empty()) << "an error box: " << Joined(boxes.Messages);

  const std::string log = Joined(LogEntries(updater.LogFile()));
  for (const std::string& logged :
       {std::string("Errors in the sinchronization script"), std::string("LABEL_CODE"),
        GetMsgText("uUpdate_UpdateProgramm_44"), GetMsgText("uUpdate_UpdateProgramm_45"),
        GetMsgText("uUpdate_UpdateProgramm_49")})
    EXPECT_NE(log.find(logged), std::string::npos) << logged << "\n" << log;
  EXPECT_EQ(log.find(GetMsgText("uMain_Finished_2")), std::string::npos);

  // The live database as it was, online; the server's files restored, the
  // ones the run had added removed; the program unchanged.
  EXPECT_EQ(QueryValue(db_, "select version_no || '.' || release_no from project_info;"), "106.1");
  EXPECT_EQ(QueryValue(db_, "select count(*) from rdb$functions where rdb$function_name = 'UDF_GET_BARCODE';"), "0");
  EXPECT_EQ(QueryValue(db_, "select mon$shutdown_mode from mon$database;"), "0") << "online";
  for (const auto& [file, content] : kOldServerFiles) EXPECT_EQ(ServerFile(file), content) << file;
  for (const auto& [file, payload] : kServerFiles) {
    if (std::none_of(std::begin(kOldServerFiles), std::end(kOldServerFiles),
                     [&](const auto& old) { return std::string(old.first) == file; })) {
      EXPECT_FALSE(fs::exists(fs::path(FirebirdInstance::Root()) / file)) << file;
    }
  }
  EXPECT_FALSE(fs::exists(fs::path(FirebirdInstance::Root()) / "udf" / "UDF_Marklet.dll"));
  EXPECT_NE(ReadFile(root_ / "Program" / "Tamber.exe").find("Tamber 106.1"), std::string::npos) << "the old program";
  EXPECT_TRUE(FirebirdInstance::ServerAnswers());
}

TEST_F(WindowUpdate, ADatabaseFileHeldOpenThroughTheFinalSwapEndsInARollback) {
  // Another Windows program opens the live database file, sharing nothing,
  // once the run has removed its New folder (the final swap begins), and
  // keeps it open until the run has ended.
  Updater updater(fs::u8path(dir_.Path()) / "program", Env());
  ASSERT_NE(updater.Window(), nullptr);
  const std::string swapBegins = GetMsgText("uUpdate_UpdateProgramm_41", "");
  const std::string swapBeginsText = swapBegins.substr(0, swapBegins.find('"'));
  os::win::ScopedHandle held;
  const Boxes boxes = RunUpdate(updater, [&] {
    if (held.Valid()) return;
    const std::string log = ReadFile(fs::u8path(updater.LogFile()));
    if (log.find(swapBeginsText) == std::string::npos) return;
    held = os::win::ScopedHandle(CreateFileW(db_.wstring().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held.Valid()) << GetLastError();
  });
  ASSERT_TRUE(held.Valid()) << "the swap was not seen";
  held.Reset();
  Screenshot("e2e-database-held-open");
  // The lock check tries again and again, then gives up: the run is rolled
  // back, ends with errors and shows no box; the live database is the one
  // from before the run, online.
  EXPECT_EQ(updater.Text(IDC_M_CAPTIONS), WithCrLf(GetMsgText("uMain_Finished_3")));
  EXPECT_TRUE(boxes.Messages.empty()) << "an error box: " << Joined(boxes.Messages);
  const std::string log = Joined(LogEntries(updater.LogFile()));
  EXPECT_NE(log.find("MoveFileW \"" + Utf8(db_) + "\""), std::string::npos) << log;
  EXPECT_EQ(log.find(GetMsgText("uMain_Finished_2")), std::string::npos) << log;
  EXPECT_NE(log.find(GetMsgText("uUpdate_UpdateProgramm_49")), std::string::npos) << "online again\n" << log;
  EXPECT_NE(ReadFile(root_ / "Program" / "Tamber.exe").find("Tamber 106.1"), std::string::npos) << "the old program";
  EXPECT_EQ(QueryValue(db_, "select version_no || '.' || release_no from project_info;"), "106.1");
  EXPECT_EQ(QueryValue(db_, "select mon$shutdown_mode from mon$database;"), "0") << "online";
}

// The database of another version: the project's own check raises an
// exception whose Russian message holds the words meant for the user
// between tildes. The message comes in the connection's character set,
// whatever the system's locale.
TEST_F(WindowUpdate, ARussianServerMessageReadsCorrectlyInTheLogAndTheBox) {
  ASSERT_EQ(Isql(db_, "update project_info set version_no = 105;\n"
                      "create or alter exception e_version 'Проверка версии: ~База данных устарела~ (нужна 106.1)';\n"
                      "commit;"),
            "");
  Updater updater(fs::u8path(dir_.Path()) / "program", Env());
  ASSERT_NE(updater.Window(), nullptr);
  const Boxes boxes = RunUpdate(updater);
  Screenshot("e2e-russian-message");
  EXPECT_EQ(boxes.Messages, std::vector<std::string>{"База данных устарела"});
  const std::string log = ReadFile(fs::u8path(updater.LogFile()));
  EXPECT_NE(log.find("Проверка версии: ~База данных устарела~ (нужна 106.1)"), std::string::npos) << log;
  EXPECT_NE(updater.Text(IDC_M_LOG).find("Проверка версии: ~База данных устарела~ (нужна 106.1)"), std::string::npos);
  EXPECT_EQ(QueryValue(db_, "select mon$shutdown_mode from mon$database;"), "0") << "never shut down";
}

TEST_F(WindowUpdate, TheServiceMenuSwitchesTheRealDatabaseAndStopsAndStartsTheServer) {
  Updater updater(fs::u8path(dir_.Path()) / "program", Env());
  ASSERT_NE(updater.Window(), nullptr);
  updater.Command(IDM_PROJECT_TAMBER);
  ASSERT_TRUE(WaitFor([&] { return !updater.Text(IDC_E_PROGRAM_LOCATION).empty(); }));
  const std::string mode = "select mon$shutdown_mode from mon$database;";
  const struct {
    const char* Name;
    int Command;
    std::string Box;
    std::function<bool()> Effect;
  } steps[] = {
      {"shutdown", IDM_OPERATIONS_SHUTDOWN, GetMsgText("uUpdate_UpdateShutdown_4"),
       [&] { return QueryValue(db_, mode) == "1"; }},
      {"shutdown again", IDM_OPERATIONS_SHUTDOWN, GetMsgText("uUpdate_UpdateShutdown_6"),
       [&] { return QueryValue(db_, mode) == "1"; }},
      {"online", IDM_OPERATIONS_ONLINE, GetMsgText("uUpdate_UpdateOnLine_04"),
       [&] { return QueryValue(db_, mode) == "0"; }},
      {"online again", IDM_OPERATIONS_ONLINE, GetMsgText("uUpdate_UpdateOnLine_06"),
       [&] { return QueryValue(db_, mode) == "0"; }},
      {"stop service", IDM_OPERATIONS_STOP, "Служба сервера FireBird остановлена.",
       [&] { return FirebirdInstance::GuardianState() == SERVICE_STOPPED && !FirebirdInstance::ServerAnswers(); }},
      {"start service", IDM_OPERATIONS_START, "Служба сервера FireBird запущена.",
       [&] { return FirebirdInstance::GuardianState() == SERVICE_RUNNING && FirebirdInstance::ServerAnswers(); }},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.Name);
    updater.Command(step.Command);
    HWND box = updater.Box(180000);
    ASSERT_NE(box, nullptr) << updater.Text(IDC_M_LOG);
    EXPECT_EQ(WithCrLf(Updater::BoxText(box)), WithCrLf(step.Box));
    Updater::Answer(box, IDOK);
    EXPECT_TRUE(step.Effect());
  }
  Screenshot("e2e-service-menu");
}

} // namespace
