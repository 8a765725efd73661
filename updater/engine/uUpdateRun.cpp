// uUpdateRun - the update run and its stages, and the database mode commands
// (see uUpdateRun.h and uUpdate.h).
//
// The run changes the live installation only at its end: it copies the
// program, resource and database folders into a working tree, updates the
// copies there, and only when every check and script has passed puts the
// updated database in place and copies the updated folders back. Before
// that it changes only the database's mode, the server's own files (each
// backed up so the rollback can restore it) and the client's "grids.ini".
//
// Every step is reported through the host's SaveExceptionToLog; the server
// and client stages report in fixed Russian texts, the run itself in
// catalog texts.
#include "uUpdateRun.h"

#include "os/OsLayer.h"
#include "os/StringExtras.h"
#include "uFbService.h"
#include "uLDM.h"
#include "uQrxRout.h"
#include "uRecovery.h"
#include "uSqlScript.h"

#include <exception>
#include <functional>

namespace {

const char kUser[] = "SYSDBA";

std::string Msg(const std::string& key) { return GetMsgText("uUpdate_UpdateProgramm_" + key); }

using os::path::Join;
using os::path::WithDelim;

// The bytes of every file below Dir (what a listing shows; a folder that
// cannot be listed counts as empty). A link is not followed: the copies
// skip it, and a link to a folder above it would never end.
std::uint64_t TreeBytes(const std::string& Dir) {
  std::vector<os::FolderEntry> entries;
  os::Sys().FolderList(Dir, "*", entries);
  std::uint64_t bytes = 0;
  for (const os::FolderEntry& e : entries)
    if (!(e.Attributes & os::kAttrReparsePoint))
      bytes += (e.Attributes & os::kAttrDirectory) ? TreeBytes(Join(Dir, e.Name)) : e.Size;
  return bytes;
}

} // namespace

//--- Names and texts of the run ------------------------------------------------

const std::vector<std::pair<std::string, std::string>>& ServerFiles() {
  const std::string d(1, os::path::Delim());
  // The barcode library is built for the server's platform and carries its
  // module suffix; the other files come from the maker as they are.
  const std::string marklet = std::string("UDF_Marklet") + os::SharedLibrarySuffix();
  static const std::vector<std::pair<std::string, std::string>> files = {
      {"udf_trans_p$2_l$0.fpd", "bin" + d + "udf_trans_p$2_l$0.fpd"},
      {"QRX_ROUND_UDF.dll", "udf" + d + "QRX_ROUND_UDF.dll"},
      {"QRX_UDF.dll", "udf" + d + "QRX_UDF.dll"},
      {"qrx_udf_date.dll", "udf" + d + "qrx_udf_date.dll"},
      {"QRX_UDF_Str.dll", "udf" + d + "QRX_UDF_Str.dll"},
      {"QRX_UDF_u8.dll", "udf" + d + "QRX_UDF_u8.dll"},
      {marklet, "udf" + d + marklet},
  };
  return files;
}

const std::vector<std::string>& ClientBitmaps() {
  static const std::vector<std::string> bitmaps = {"Splash.bmp",      "Logo.bmp",    "Report_Header.bmp",
                                                   "Label_Frame.bmp", "Toolbar.bmp", "About.bmp"};
  return bitmaps;
}

std::string ProjectCheckScript(const std::string& ProjectCode) {
  const char letter = ProjectCode == "ZAVUDAVADA" ? 'C' : ProjectCode == "TAMBER_MINI" ? 'M' : 'G';
  return std::string("execute procedure check_project('") + letter + "')";
}

std::string BufferText(const TScriptLog& Buffer) {
  std::string text;
  for (const std::string& line : Buffer) text += line + "\r\n";
  return text;
}

std::string OutputBlock(const std::string& Header, const TScriptLog& Buffer) {
  return "\r" + Header + "\r" + BufferText(Buffer);
}

std::string TextBetweenTildes(const std::string& Text) {
  const size_t first = Text.find('~');
  if (first == std::string::npos) return {};
  const std::string after = Text.substr(first + 1);
  const size_t second = after.find('~');
  return second == std::string::npos ? std::string() : after.substr(0, second);
}

//--- The run object ---------------------------------------------------------------------

TUpdateRun::TUpdateRun(IHost& Host, std::string ProgramLocation, const std::string& Password,
                       std::string ProjectCode)
    : host_(Host), settings_(Host.Settings()), location_(std::move(ProgramLocation)),
      projectCode_(std::move(ProjectCode)), live_{settings_.ClientLibName, "", kUser, Password, ""} {}

// A log entry that cannot be written never ends the run: the run goes on,
// and the first such failure is reported once, when the run ends.
void TUpdateRun::Log(const std::string& Text) {
  try {
    host_.SaveExceptionToLog(Text);
  } catch (const std::exception& e) {
    if (logFailure_.empty()) logFailure_ = e.what();
  }
}

void TUpdateRun::ReportLogFailure() {
  if (logFailure_.empty()) return;
  try {
    host_.ShowMessage(TMsgDlgType::Warning, logFailure_);
  } catch (...) {
  }
  logFailure_.clear();
}

//--- Before anything is changed ------------------------------------------------------------

void TUpdateRun::AskToStart() {
  std::string parts;
  if (wf_.ClientPartFound && wf_.ServerPartFound)
    parts = Msg("01");
  else if (wf_.ClientPartFound)
    parts = Msg("02");
  else if (wf_.ServerPartFound)
    parts = Msg("03");
  else
    throw EUpdateError(GetMsgText("uUpdate_UpdateProgramm_04", location_, projectCode_));
  if (!host_.AskYesNo(TMsgDlgType::Information, GetMsgText("uUpdate_UpdateProgramm_05", location_, parts, projectCode_),
                      TDefaultButton::No))
    throw EAbort(Msg("06"));
}

// The live database checks of the run.
void TUpdateRun::CheckLiveDatabase() {
  TScriptLog buffer;
  Log(Msg("69"));
  try {
    RunScriptText(live_, "WIN1251", ProjectCheckScript(projectCode_), &buffer, 0);
  } catch (...) {
    Log(Msg("62"));
    throw;
  }
  // What the server answered follows: another project's code, or the error
  // that kept the check from running at all.
  if (!buffer.empty()) throw EUpdateError(Msg("63") + "\r" + std::string(os::Trim(BufferText(buffer))));
  Log(Msg("64"));
  Log(Msg("65"));
  Log(Msg("66"));
  try {
    RunScriptText(live_, "WIN1251", kVersionCheckScript, &buffer, 0);
  } catch (...) {
    Log(Msg("67"));
    throw;
  }
  if (!buffer.empty()) {
    const std::string block =
        OutputBlock("-------------------------- Errors in check versio script ---------------------------", buffer);
    Log(block);
    host_.SetHadErrors(true);
    throw EUpdateError(TextBetweenTildes(block));
  }
  Log(Msg("68"));
}

// Other users: listed and asked about on a SuperServer, warned about on
// every other server; then the database is shut down.
void TUpdateRun::DisconnectUsersAndShutdown() {
  if (settings_.ServParams.ServerType == "SUPER") {
    Log(Msg("08"));
    host_.ProcessMessages();
    std::vector<std::string> users;
    GetAttachedUsers(live_, users);
    if (!users.empty()) {
      Log(Msg("09"));
      host_.ProcessMessages();
      std::string text = Msg("10");
      for (size_t i = 0; i < users.size(); ++i) text += (i ? "; " : "") + users[i];
      host_.ProcessMessages();
      if (!host_.AskYesNo(TMsgDlgType::Warning, GetMsgText("uUpdate_UpdateProgramm_11", text), TDefaultButton::Yes)) {
        Log(Msg("12"));
        throw EAbort(Msg("06"));
      }
      Log(Msg("13"));
      host_.ProcessMessages();
    }
  } else {
    Log(Msg("14"));
    host_.ProcessMessages();
    if (!host_.AskYesNo(TMsgDlgType::Warning, Msg("15"), TDefaultButton::Yes)) {
      Log(Msg("16"));
      throw EAbort(Msg("06"));
    }
    Log(Msg("17"));
    host_.ProcessMessages();
  }
  Log(Msg("18"));
  Journal(TJournalStep::Shutdown);
  try {
    DatabaseShutdown(live_);
  } catch (const std::exception& e) {
    throw EUpdateError(Msg("20") + "\r\r" + e.what());
  }
  Log(Msg("19"));
}

// The free space is measured with the server stopped, so the database file
// can be opened alone; the server is started again whatever the check says.
void TUpdateRun::CheckFreeSpace() {
  std::string errorText;
  bool failed = false;
  std::string failure;
  try {
    Log(Msg("21"));
    StopFBService(settings_.ServParams, false, host_);
    Log(Msg("22"));
    std::string checkFailure;
    bool checkFailed = false;
    try {
      Log(Msg("23"));
      // Besides the database copies, the run copies the program and its
      // resources twice: into the backup and into the working tree.
      std::int64_t copiesMb = 0;
      if (wf_.ClientPartFound)
        copiesMb = static_cast<std::int64_t>(
            ((TreeBytes(wf_.ProgramDir) + TreeBytes(wf_.ResourcesDir)) * 2 + (1u << 20) - 1) >> 20);
      try {
        CheckFreeSize(Join(wf_.DBDataDir, settings_.DBFileName), os::path::DriveRoot(wf_.DBDataDir),
                      settings_.SpaceFactor, copiesMb);
      } catch (const EFileSizeUnknown& e) {
        throw EUpdateError(Msg("25") + "\r" + e.what());
      }
      Log(Msg("24"));
    } catch (const std::exception& e) {
      checkFailed = true;
      checkFailure = e.what();
    }
    // A failing start replaces the failure of the check.
    Log(Msg("26"));
    StartFBService(settings_.ServParams, false, host_);
    Log(Msg("27"));
    if (checkFailed) throw EUpdateError(checkFailure);
  } catch (const std::exception& e) {
    failed = true;
    failure = e.what();
  }
  if (!failed) return;
  errorText = AppendExceptionMessage(errorText, failure);
  try {
    Log(Msg("28"));
    DatabaseOnline(live_);
    Log(Msg("29"));
  } catch (const std::exception& e) {
    host_.ProcessMessages();
    host_.ShowMessage(TMsgDlgType::Error, Msg("30"));
    errorText = AppendExceptionMessage(errorText, Msg("31") + "\rOriginal Message: " + e.what());
    throw EUpdateNeedsUser(errorText);
  }
  throw EUpdateError(errorText);
}

//--- From the lock check on -----------------------------------------------------------------

// Renaming the installation folder fails while anything in it is held open.
void TUpdateRun::CheckLocks() {
  Log(Msg("32"));
  const std::string root = WithoutDelim(wf_.RootDir);
  Journal(TJournalStep::Lock, root + "_");
  if (const os::Status moved = os::Sys().FileMove(root, root + "_"); !moved)
    throw EUpdateError(os::WithCause(GetMsgText("uUpdate_UpdateProgramm_33", wf_.RootDir), moved));
  // The journal lies in the folder and has its name while the folder has.
  journal_.Moved(JournalFileName(root + "_"));
  // The folder must get its name back: a program that looks into it in
  // between (a scanner, an indexer) is waited out for a few seconds; when it
  // still cannot, the user is told where the installation is.
  if (const os::Status back = MoveWithRetries(root + "_", root, 11, nullptr); !back)
    throw EUpdateNeedsUser(os::WithCause(Msg("34"), back) + "\r" +
                           GetMsgText("uUpdate_UpdateProgramm_70", root + "_", root));
  journal_.Moved(JournalFileName(root));
  Journal(TJournalStep::Unlock);
  Log(Msg("35"));
}

// The temporary tree, the server payload and the backup and working copies.
void TUpdateRun::PrepareTrees() {
  Log(Msg("36"));
  // The run's folder is new or the run stops: an entry of its name (a link
  // planted there included) is neither removed nor used, and nothing below
  // it is removed when this fails.
  MyCreateRunDir(wf_.TmpDir);
  treeMade_ = true;
  try {
    for (const std::string* dir : {&wf_.NewDir, &wf_.OldDir, &wf_.OldDBDataDir, &wf_.WrkDir}) MyCreateDir(*dir);
    const std::string payload = Join(wf_.NewDir, "files.exe");
    ExtractFilesFromResource(payload, "");
    RunPayload(payload, "files", 1);
    Log(Msg("37"));
    Log(Msg("38"));
    if (wf_.ClientPartFound) {
      MyCopyDirComplete(wf_.ProgramDir, wf_.OldProgramDir);
      MyCopyDirComplete(wf_.ProgramDir, wf_.WrkProgramDir);
      // An installation without resources has nothing to back up and gets
      // none; a resource folder that is there but cannot be copied stops the
      // run like the program's, before anything live has changed: the
      // update would otherwise leave the resources old beside a new
      // program.
      try {
        MyCopyDirComplete(wf_.ResourcesDir, wf_.OldResourcesDir);
        resourcesBackedUp_ = true;
        MyCopyDirComplete(wf_.ResourcesDir, wf_.WrkResourcesDir);
      } catch (const std::exception& e) {
        if (os::Sys().DirectoryExists(wf_.ResourcesDir)) throw;
        Log(e.what());
      }
    }
    if (wf_.ServerPartFound) {
      MyCopyDirComplete(wf_.DBDataDir, wf_.OldDBDataDir);
      MyCopyDirComplete(wf_.DBDataDir, wf_.WrkDBDataDir);
    }
  } catch (const std::exception& e) {
    errorText_ = AppendExceptionMessage(errorText_, e.what());
    try {
      MyRemoveDir(wf_.NewDir);
    } catch (const std::exception& removal) {
      errorText_ = AppendExceptionMessage(errorText_, removal.what());
    }
    throw;
  }
  Log(Msg("39"));
}

void TUpdateRun::RunClientPayload() {
  std::string name;
  if (projectCode_ == "ZAVUDAVADA")
    name = "files_gc";
  else if (projectCode_ == "TAMBER")
    name = "files_g";
  else
    return; // Tamber_Mini has no client payload
  const std::string file = Join(wf_.NewDir, name + ".exe");
  ExtractFilesFromResource(file, name);
  RunPayload(file, name, 0);
}

//--- The server-part stage -------------------------------------------------------

// One script of the server-part stage: what is logged before it, how it
// runs, what is logged when it fails, and what its output means.
struct TUpdateRun::TServerScript {
  enum class TScript { ProjectCheck, VersionCheck, ParamsSync, Structure };
  const char* Title;   // logged first, or nullptr
  const char* Running; // logged before the run
  TScript Script;
  const char* CharSet;
  const char* Failed;  // logged when the run raises; the error goes on
  // The header of the report block that output is logged under (the run
  // then has errors); nullptr: output means the database belongs to another
  // project, and the stage ends.
  const char* OutputHeader;
  const char* Finished; // logged after the run, or nullptr
};

void TUpdateRun::RunServerScript(const TServerScript& Step) {
  if (Step.Title) Log(Step.Title);
  Log(Step.Running);
  try {
    // Scripts go to the engine as the whole text of a list: one line each,
    // ending in a line break; the structure script is the payload's file.
    switch (Step.Script) {
    case TServerScript::TScript::ProjectCheck:
      RunScriptText(work_, Step.CharSet, ProjectCheckScript(settings_.ProjectCode) + "\r\n", &buffer_, 0);
      break;
    case TServerScript::TScript::VersionCheck:
      RunScriptText(work_, Step.CharSet, kVersionCheckScript + "\r\n", &buffer_, 0);
      break;
    case TServerScript::TScript::ParamsSync:
      RunScriptText(work_, Step.CharSet, kParamsSyncScript + "\r\n", &buffer_, 0);
      break;
    case TServerScript::TScript::Structure:
      RunScriptFile(work_, Step.CharSet, Join(wf_.NewDir, "script.sql"), &buffer_, 0);
      break;
    }
  } catch (...) {
    Log(Step.Failed);
    throw;
  }
  if (!buffer_.empty()) {
    // What the server answered follows, as in the check of the live
    // database.
    if (!Step.OutputHeader)
      throw EUpdateError("Файл базы данных не соответствует выбранному проекту!\r" +
                         std::string(os::Trim(BufferText(buffer_))));
    Log(OutputBlock(Step.OutputHeader, buffer_));
    buffer_.clear();
    host_.SetHadErrors(true);
  }
  if (Step.Finished) Log(Step.Finished);
}

// The server is started again also when a file could not be replaced; that
// failure goes on afterwards.
void TUpdateRun::ReplaceServerFiles() {
  Log("Остановка службы FireBird.");
  StopFBService(settings_.ServParams, false, host_);
  Log("Служба FireBird остановлена.");
  std::exception_ptr copyFailure;
  try {
    Log("Выполняется копирование системных файлов Firebird-сервера");
    const std::string serverDir = WithDelim(settings_.ServParams.ServerDir);
    for (const auto& [source, target] : ServerFiles()) {
      // The backup entry the replacement makes: a copy of the file, or the
      // mark that it did not exist.
      const std::string entry =
          (os::Sys().FileExists(serverDir + target) ? "" : kDeletionMarker) + EncodeBackupName(serverDir + target);
      Journal(TJournalStep::ServerFile, serverDir + target, entry);
      if (const os::Status copied =
              CopyFileWithBackUp(Join(wf_.NewDir, source), serverDir + target, wf_.OldOtherDir, backupEntries_);
          !copied)
        throw EUpdateError(os::WithCause("Не удалось выполнить обновление файла: " + serverDir + target, copied));
    }
    Log("Завершено копирование системных файлов Firebird-сервера");
  } catch (...) {
    copyFailure = std::current_exception();
  }
  Log("Запуск службы FireBird.");
  StartFBService(settings_.ServParams, false, host_);
  Log("Служба FireBird запущена.");
  if (copyFailure) std::rethrow_exception(copyFailure);
}

void TUpdateRun::UpdateServerPart() {
  using S = TServerScript::TScript;
  static const TServerScript kChecks[] = {
      {nullptr, "Выполняется скрипт проверки проекта", S::ProjectCheck, "WIN1251",
       "скрипт проверки проекта вызвал ошибку!", nullptr, "Завершено выполнение скрипта проверки проекта"},
      {"Проверка версии базы данных", "Выполненяется скрипт проверки версии базы даных", S::VersionCheck, "WIN1251",
       "Скрипт проверки версии базы даных вызвал ошибку!",
       "-------------------------- Errors in the Apply-grants script ---------------------------",
       "Завершено выполнение скрипта проверки версии базы даных"},
  };
  static const TServerScript kUpdates[] = {
      {nullptr, "Выполненяется скрипт синхронизации параметров БД", S::ParamsSync, "UTF8",
       "скрипт синхронизации параметров БД вызвал ошибку!",
       "-------------------------- Errors in the parameters sinchronization script ---------------------------",
       nullptr},
      {nullptr, "Выполненяется скрипт синхронизации структуры проекта", S::Structure, "UTF8",
       "Скрипт синхронизации структуры проекта вызвал ошибку!",
       "-------------------------- Errors in the sinchronization script ---------------------------", nullptr},
  };
  Log("Обновление серверной части");
  for (const TServerScript& step : kChecks) RunServerScript(step);
  ReplaceServerFiles();
  for (const TServerScript& step : kUpdates) RunServerScript(step);
  Log("Завершено обновление серверной части");
}

//--- The client-part stage -------------------------------------------------------

void TUpdateRun::UpdateClientPart() {
  Log("Обновление клиентской части");
  Log("Выполняется копирование и замена файлов и каталогов клиентского приложения");
  // A file the payloads did not deliver is simply not copied: the working
  // copy keeps its old one. A delivered file that cannot be copied fails
  // the stage: the copy-back would mix old and new files and call it an
  // update.
  auto deliver = [&](const std::string& Name, const std::string& Folder) {
    const std::string source = Join(wf_.NewDir, Name);
    if (!os::Sys().FileExists(source)) return;
    if (const os::Status copied = CopyFileClearAttr(source, Join(Folder, Name)); !copied)
      throw EUpdateError(os::WithCause(GetMsgText("uUpdate_CopyFileWithBackUp_4", source, Folder), copied));
  };
  deliver(settings_.ExeFileName, wf_.WrkProgramDir);
  std::string help = settings_.ExeFileName;
  const size_t dot = help.rfind('.');
  help = (dot == std::string::npos ? help : help.substr(0, dot)) + ".chm";
  deliver(help, wf_.WrkProgramDir);
  // An installation without resources has no working copy of them to update.
  if (os::Sys().DirectoryExists(wf_.WrkResourcesDir))
    for (const std::string& bitmap : ClientBitmaps()) deliver(bitmap, wf_.WrkResourcesDir);
  Journal(TJournalStep::Grids);
  os::Sys().FileDelete(Join(wf_.ProgramDir, "grids.ini"));
  Log("Завершено копирование и замена файлов и каталогов клиентского приложения");
  Log("Завершено обновление клиентской части");
}

//--- The final swap ----------------------------------------------------------------
//
// The live database is replaced so that at every moment one complete
// database file sits at the live path or can be put back there without the
// user: the live file is renamed aside, the updated copy moved in, the
// updated folders copied back, and only then the old file deleted. A swap
// that cannot finish undoes itself: the folders get their files from the
// run's backup, the old database its name, the server its files, so the
// installation is as it was before the run; what cannot be undone is named,
// and the run then needs the user.

void TUpdateRun::FinalSwap() {
  os::Api& sys = os::Sys();
  try {
    MyRemoveDir(wf_.NewDir);
    Log(GetMsgText("uUpdate_UpdateProgramm_41", WithDelim(wf_.NewDir)));
  } catch (const std::exception& e) {
    // The text has a second place for a name right after the folder; the
    // folder is all there is to name.
    Log(std::string(e.what()) + "\r\n" + GetMsgText("uUpdate_UpdateProgramm_42", WithDelim(wf_.NewDir), ""));
  }

  const std::string live = Join(wf_.DBDataDir, settings_.DBFileName);
  const std::string updated = Join(wf_.WrkDBDataDir, settings_.DBFileName);
  std::string aside;
  bool databaseAside = false, databaseReplaced = false;
  try {
    if (wf_.ServerPartFound) {
      StopFBService(settings_.ServParams, false, host_);
      Log(Msg("22"));
      aside = AsideName(live);
      Journal(TJournalStep::DbAside, aside);
      const os::Status renamed =
          MoveWithRetries(live, aside, 11, [&] { Log(GetMsgText("uUpdate_CopyFileWithBackUp_5")); });
      if (!renamed) throw EUpdateError(os::WithCause(GetMsgText("uUpdate_CopyFileWithBackUp_3", wf_.DBConnect), renamed));
      databaseAside = true;
      Journal(TJournalStep::DbIn);
      if (const os::Status moved = MoveFileClearAttr(updated, live); !moved) {
        const std::string failure =
            os::WithCause(GetMsgText("uUpdate_CopyFileWithBackUp_4", updated, wf_.DBDataDir), moved);
        // The live database goes back under its name; only when it cannot,
        // the user must move a database in by hand.
        if (!MoveWithRetries(aside, live, 3, nullptr)) {
          host_.SetHadErrors(true);
          Log(failure);
          errorText_ = GetMsgText("uUpdate_UpdateProgramm_61", WithDelim(wf_.WrkDBDataDir), WithDelim(wf_.DBDataDir)) +
                       "\r" + GetMsgText("uUpdate_UpdateProgramm_71", aside);
          Log(errorText_);
          throw EUpdateNeedsUser(errorText_);
        }
        databaseAside = false;
        throw EUpdateError(failure);
      }
      databaseReplaced = true;
    }
    if (wf_.ClientPartFound) {
      Journal(TJournalStep::CopyBack);
      MyCopyDirComplete(wf_.WrkProgramDir, wf_.ProgramDir);
      // An installation without resources has no working copy of them.
      if (sys.DirectoryExists(wf_.WrkResourcesDir)) MyCopyDirComplete(wf_.WrkResourcesDir, wf_.ResourcesDir);
    }
  } catch (const EUpdateNeedsUser&) {
    throw;
  } catch (const std::exception& e) {
    Log(e.what());
    host_.SetHadErrors(true);
    host_.SetStatusText(Msg("43"));
    Log(Msg("45"));
    JournalUndo();
    std::string failures;
    if (wf_.ClientPartFound) failures += RestoreClientFolders(true);
    if (databaseReplaced) {
      failures += PutLiveDatabaseBack(live, aside);
    } else if (databaseAside) {
      // Renamed aside, not yet replaced: it only needs its name back.
      if (const os::Status back = MoveWithRetries(aside, live, 3, nullptr); !back)
        failures += os::WithCause(GetMsgText("uUpdate_RestoreFilesFromBackup_1", live), back) + "\r" +
                    GetMsgText("uUpdate_UpdateProgramm_71", aside) + "\r\n";
    }
    failures += RestoreServerFiles();
    if (failures.empty()) throw EUpdateError("");
    errorText_ = AppendExceptionMessage(Msg("47"), failures);
    throw EUpdateNeedsUser(errorText_);
  }
  // The swap is complete whether or not its end can be recorded: a journal
  // that keeps the copy-back as its last step makes the next start finish
  // the swap again, which changes nothing.
  try {
    Journal(TJournalStep::Done);
  } catch (const std::exception& e) {
    Log(e.what());
  }
  // The updated database is in place; an old file left beside it only takes
  // room, so the run goes on.
  if (!aside.empty())
    if (const os::Status deleted = sys.FileDelete(aside); !deleted) {
      const std::string text = os::WithCause("Deleting file error: " + aside, deleted);
      Log(text);
      leftovers_ = AppendExceptionMessage(leftovers_, text);
    }
}

//--- The rollback ----------------------------------------------------------------------

// Only what this run backed up: an entry that appeared in the backup folder
// otherwise is not restored.
std::string TUpdateRun::RestoreServerFiles() {
  std::string lines;
  for (const std::string& failed : RestoreFilesFromBackup(wf_.OldOtherDir, backupEntries_)) lines += failed + "\r\n";
  return lines;
}

std::string TUpdateRun::RestoreClientFolders(bool CopiedBack) {
  std::string lines;
  auto failed = [&](const std::string& text) { lines += text + "\r\n"; };
  const std::string grids = Join(wf_.ProgramDir, "grids.ini"), savedGrids = Join(wf_.OldProgramDir, "grids.ini");
  if (!CopiedBack) {
    // Only the settings file was deleted from the live folders.
    if (os::Sys().FileExists(savedGrids) && !os::Sys().FileExists(grids))
      if (const os::Status copied = CopyFileDurably(savedGrids, grids); !copied)
        failed(os::WithCause(GetMsgText("uUpdate_RestoreFilesFromBackup_1", grids), copied));
    return lines;
  }
  // The copy-back may have written any file of the working trees: each one
  // gets its old content back, and one the update added is deleted.
  for (const std::string& failure : RestoreTreeFromBackup(wf_.WrkProgramDir, wf_.OldProgramDir, wf_.ProgramDir, true))
    failed(failure);
  for (const std::string& failure :
       RestoreTreeFromBackup(wf_.WrkResourcesDir, wf_.OldResourcesDir, wf_.ResourcesDir, resourcesBackedUp_))
    failed(failure);
  return lines;
}

std::string TUpdateRun::PutLiveDatabaseBack(const std::string& Live, const std::string& Aside) {
  const std::string updated = Join(wf_.WrkDBDataDir, settings_.DBFileName);
  if (const os::Status moved = MoveWithRetries(Live, updated, 3, nullptr); !moved)
    return os::WithCause(GetMsgText("uUpdate_RestoreFilesFromBackup_1", Live), moved) + "\r" +
           GetMsgText("uUpdate_UpdateProgramm_71", Aside) + "\r\n";
  if (const os::Status moved = MoveWithRetries(Aside, Live, 3, nullptr); !moved)
    return os::WithCause(GetMsgText("uUpdate_RestoreFilesFromBackup_1", Live), moved) + "\r" +
           GetMsgText("uUpdate_UpdateProgramm_71", Aside) + "\r\n";
  return {};
}

void TUpdateRun::Rollback() {
  host_.SetStatusText(Msg("43"));
  Log(errorText_ + "\r" + Msg("44"));
  host_.ProcessMessages();
  errorText_.clear();
  Log(Msg("45"));
  JournalUndo();
  // The run's new files and working copies go; one that cannot is only in
  // the way, and the rollback goes on.
  for (const std::string* dir : {&wf_.NewDir, &wf_.WrkDir}) {
    try {
      MyRemoveDir(*dir);
    } catch (const std::exception& e) {
      Log(e.what());
      leftovers_ = AppendExceptionMessage(leftovers_, e.what());
    }
  }
  std::string failures;
  if (wf_.ClientPartFound) failures += RestoreClientFolders(false);
  // A library the running server has loaded cannot be replaced: the server
  // is stopped before its files are restored (the final step starts it).
  if (wf_.ServerPartFound && os::Sys().DirectoryExists(wf_.OldOtherDir)) {
    try {
      StopFBService(settings_.ServParams, false, host_);
    } catch (const std::exception& e) {
      Log(e.what());
    }
  }
  failures += RestoreServerFiles();
  if (!notUndone_.empty()) failures += notUndone_ + "\r\n";
  if (!failures.empty()) {
    errorText_ = AppendExceptionMessage(Msg("47"), failures);
    throw EUpdateNeedsUser(errorText_);
  }
  throw EUpdateError(errorText_);
}

void TUpdateRun::FinalStep(const std::string& Ending) {
  if (!wf_.ServerPartFound) return;
  try {
    Log(Msg("48"));
    StartFBService(settings_.ServParams, false, host_);
    DatabaseOnline(live_);
    Log(Msg("49"));
  } catch (const std::exception& e) {
    // The failure that ended the run stays in the message.
    if (!Ending.empty() && errorText_.find(Ending) == std::string::npos)
      errorText_ = AppendExceptionMessage(errorText_, Ending);
    errorText_ = AppendExceptionMessage(errorText_, Msg("50") + "\rOriginal Message: " + e.what());
    throw EUpdateNeedsUser(errorText_);
  }
}

//--- The run ---------------------------------------------------------------------------

void TUpdateRun::Run() {
  try {
    RunStages();
  } catch (const EUpdateNeedsUser& e) {
    FinishJournal();
    ReportLogFailure();
    std::string text = e.what();
    if (!leftovers_.empty() && text.find(leftovers_) == std::string::npos)
      text = AppendExceptionMessage(text, leftovers_);
    throw EUpdateNeedsUser(text);
  } catch (...) {
    FinishJournal();
    ReportLogFailure();
    throw;
  }
  FinishJournal();
  ReportLogFailure();
}

//--- The journal -----------------------------------------------------------------------

void TUpdateRun::Journal(TJournalStep Step, const std::string& Value, const std::string& Extra) {
  os::Status recorded;
  if (journal_.Records() == 0) recorded = journal_.Record(TJournalStep::Run, wf_.TmpDir);
  if (recorded) recorded = journal_.Record(Step, Value, Extra);
  if (!recorded) throw EUpdateError(os::WithCause(GetMsgText("uUpdate_UpdateProgramm_72", journal_.FileName()), recorded));
}

void TUpdateRun::JournalUndo() {
  if (journal_.Records() == 0) return;
  if (const os::Status recorded = journal_.Record(TJournalStep::Undo); !recorded)
    Log(os::WithCause(GetMsgText("uUpdate_UpdateProgramm_72", journal_.FileName()), recorded));
}

void TUpdateRun::FinishJournal() {
  if (journal_.Records() == 0) return;
  os::Api& sys = os::Sys();
  // Only into the folder the run made itself: an entry of its name that was
  // there before may lead anywhere.
  if (treeMade_ && sys.DirectoryExists(wf_.TmpDir)) {
    const std::string mark = Join(wf_.TmpDir, kFinishedMark);
    sys.WriteFile(mark, std::string(), false);
    sys.FlushFolder(wf_.TmpDir);
  }
  if (const os::Status removed = journal_.Remove(); !removed)
    Log(os::WithCause(GetMsgText("uUpdate_UpdateProgramm_73", journal_.FileName()), removed));
}

void TUpdateRun::RunStages() {
  // A run starts with a clean flag, so a cancelled run never shows the
  // outcome of an earlier failed one.
  host_.SetHadErrors(false);

  // What a run that died half-way left is put in order first.
  RecoverUnfinishedRun(location_, settings_, live_.Password);
  wf_ = UpdateInit(location_, settings_);
  journal_ = TRunJournal(JournalFileName(WithoutDelim(wf_.RootDir)));
  live_.Database = wf_.DBConnect;
  work_ = live_;
  work_.Database = wf_.WrkDBConnect;
  AskToStart();

  if (wf_.ServerPartFound) {
    CheckLiveDatabase();
    DisconnectUsersAndShutdown();
    CheckFreeSpace();
  }

  // From the lock check on, the server part is brought back into use
  // whatever the ending.
  std::exception_ptr ending;
  std::string endingText;
  try {
    CheckLocks();
    PrepareTrees();
    try {
      host_.SetHadErrors(false);
      RunClientPayload();
      if (wf_.ServerPartFound) UpdateServerPart();
      if (wf_.ClientPartFound) UpdateClientPart();
      if (host_.HadErrors()) throw EUpdateError(Msg("40"));
    } catch (const std::exception& e) {
      errorText_ = AppendExceptionMessage(errorText_, e.what());
      if (dynamic_cast<const EUpdateNeedsUser*>(&e)) notUndone_ = e.what();
      host_.SetHadErrors(true);
      Rollback();
    }
    FinalSwap();
  } catch (const std::exception& e) {
    ending = std::current_exception();
    endingText = e.what();
  } catch (...) {
    ending = std::current_exception();
  }
  FinalStep(endingText);
  if (ending) std::rethrow_exception(ending);
}

void UpdateProgramm(const std::string& ProgramLocation, const std::string& Password, const std::string& ProjectCode) {
  TUpdateRun(Host(), ProgramLocation, Password, ProjectCode).Run();
}

//--- Database mode commands ------------------------------------------------------------

namespace {

void SwitchMode(const std::string& ProgramLocation, const std::string& SysPassword, bool online) {
  IHost& h = Host();
  const TUpdateSettings settings = h.Settings();
  const std::string prefix = online ? "uUpdate_UpdateOnLine_0" : "uUpdate_UpdateShutdown_";
  RecoverUnfinishedRun(ProgramLocation, settings, SysPassword);
  const TWorkingFolders wf = UpdateInit(ProgramLocation, settings);
  h.SaveExceptionToLog(GetMsgText(prefix + "1"));
  h.ProcessMessages();
  if (!wf.ServerPartFound) throw EUpdateError(GetMsgText(prefix + "2"));
  bool already = false;
  try {
    const TDBParams db{settings.ClientLibName, wf.DBConnect, kUser, SysPassword, ""};
    if (online)
      DatabaseOnline(db);
    else
      DatabaseShutdown(db);
  } catch (const std::exception& e) {
    h.ProcessMessages();
    if (std::string(e.what()).find("Target shutdown mode is invalid for database") == std::string::npos) throw;
    already = true;
  }
  // The database is in the mode now: a log entry that cannot be written
  // does not turn that into a failure; it is told after the outcome.
  std::string logFailure;
  try {
    h.SaveExceptionToLog(GetMsgText(prefix + (already ? "5" : "3")));
  } catch (const std::exception& e) {
    logFailure = e.what();
  }
  h.ProcessMessages();
  h.ShowMessage(already ? TMsgDlgType::Warning : TMsgDlgType::Information, GetMsgText(prefix + (already ? "6" : "4")));
  if (!logFailure.empty()) h.ShowMessage(TMsgDlgType::Warning, logFailure);
}

} // namespace

void UpdateOnLine(const std::string& ProgramLocation, const std::string& SysPassword) {
  SwitchMode(ProgramLocation, SysPassword, true);
}

void UpdateShutdown(const std::string& ProgramLocation, const std::string& SysPassword) {
  SwitchMode(ProgramLocation, SysPassword, false);
}
