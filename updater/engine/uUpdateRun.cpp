// uUpdateRun - the update run and its stages, and the database mode commands
// (see uUpdate.h).
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
#include "uUpdate.h"

#include "os/OsLayer.h"
#include "uFbService.h"
#include "uLDM.h"
#include "uQrxRout.h"
#include "uSqlScript.h"

#include <exception>

namespace {

const char kUser[] = "SYSDBA";

void Log(const std::string& text) { Host().SaveExceptionToLog(text); }

std::string Msg(const std::string& key) { return GetMsgText("uUpdate_UpdateProgramm_" + key); }

using os::path::Join;
using os::path::WithDelim;

// RootDir as a folder name to rename: without its trailing delimiter.
std::string WithoutDelim(std::string path) {
  while (path.size() > 1 && os::path::IsDelim(path.back())) path.pop_back();
  return path;
}

void RunText(const std::string& connect, const std::string& charset, const std::string& password,
             const std::string& script, TScriptLog& buffer) {
  const TUpdateSettings& s = Host().Settings();
  RunScriptText(s.ClientLibName, connect, kUser, charset, password, "", script, &buffer, 0);
}

// The live database checks of the run (before anything is changed).
void CheckLiveDatabase(const std::string& password, const std::string& projectCode) {
  IHost& h = Host();
  TScriptLog buffer;
  Log(Msg("69"));
  try {
    RunText(WF.DBConnect, "WIN1251", password, ProjectCheckScript(projectCode), buffer);
  } catch (...) {
    Log(Msg("62"));
    throw;
  }
  if (!buffer.empty()) throw EUpdateError(Msg("63"));
  Log(Msg("64"));
  Log(Msg("65"));
  Log(Msg("66"));
  try {
    RunText(WF.DBConnect, "WIN1251", password, kVersionCheckScript, buffer);
  } catch (...) {
    Log(Msg("67"));
    throw;
  }
  if (!buffer.empty()) {
    const std::string block =
        OutputBlock("-------------------------- Errors in check versio script ---------------------------", buffer);
    Log(block);
    h.SetHadErrors(true);
    throw EUpdateError(TextBetweenTildes(block));
  }
  Log(Msg("68"));
}

// Other users: listed and asked about on a SuperServer, warned about on
// every other server; then the database is shut down.
void DisconnectUsersAndShutdown(const std::string& password) {
  IHost& h = Host();
  const TUpdateSettings& s = h.Settings();
  if (s.ServParams.ServerType == "SUPER") {
    Log(Msg("08"));
    h.ProcessMessages();
    std::vector<std::string> users;
    GetAttachedUsers(s.ClientLibName, WF.DBConnect, kUser, password, "", users);
    if (!users.empty()) {
      Log(Msg("09"));
      h.ProcessMessages();
      std::string text = Msg("10");
      for (size_t i = 0; i < users.size(); ++i) text += (i ? "; " : "") + users[i];
      h.ProcessMessages();
      if (!h.AskYesNo(TMsgDlgType::Warning, GetMsgText("uUpdate_UpdateProgramm_11", text), TDefaultButton::Yes)) {
        Log(Msg("12"));
        throw EAbort(Msg("06"));
      }
      Log(Msg("13"));
      h.ProcessMessages();
    }
  } else {
    Log(Msg("14"));
    h.ProcessMessages();
    if (!h.AskYesNo(TMsgDlgType::Warning, Msg("15"), TDefaultButton::Yes)) {
      Log(Msg("16"));
      throw EAbort(Msg("06"));
    }
    Log(Msg("17"));
    h.ProcessMessages();
  }
  Log(Msg("18"));
  try {
    DatabaseShutdown(s.ClientLibName, WF.DBConnect, kUser, password);
  } catch (const std::exception& e) {
    throw EUpdateError(Msg("20") + "\r\r" + e.what());
  }
  Log(Msg("19"));
}

// The free space is measured with the server stopped, so the database file
// can be opened alone; the server is started again whatever the check says.
void CheckFreeSpace(const std::string& password) {
  IHost& h = Host();
  const TUpdateSettings& s = h.Settings();
  std::string errorText;
  bool failed = false;
  std::string failure;
  try {
    Log(Msg("21"));
    StopFBService(s.ServParams, false, h);
    Log(Msg("22"));
    std::string checkFailure;
    bool checkFailed = false;
    try {
      Log(Msg("23"));
      try {
        CheckFreeSize(Join(WF.DBDataDir, s.DBFileName), os::path::DriveRoot(WF.DBDataDir), s.SpaceFactor);
      } catch (const std::exception& e) {
        throw EUpdateError(*e.what() ? std::string(e.what()) : Msg("25"));
      }
      Log(Msg("24"));
    } catch (const std::exception& e) {
      checkFailed = true;
      checkFailure = e.what();
    }
    // A failing start replaces the failure of the check.
    Log(Msg("26"));
    StartFBService(s.ServParams, false, h);
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
    DatabaseOnline(s.ClientLibName, WF.DBConnect, kUser, password);
    Log(Msg("29"));
  } catch (const std::exception& e) {
    h.ProcessMessages();
    h.ShowMessage(TMsgDlgType::Error, Msg("30"));
    errorText = AppendExceptionMessage(errorText, Msg("31") + "\rOriginal Message: " + e.what());
    throw EUpdateNeedsUser(errorText);
  }
  throw EUpdateError(errorText);
}

// Renaming the installation folder fails while anything in it is held open.
void CheckLocks() {
  Log(Msg("32"));
  const std::string root = WithoutDelim(WF.RootDir);
  if (!os::Sys().FileMove(root, root + "_")) throw EUpdateError(GetMsgText("uUpdate_UpdateProgramm_33", WF.RootDir));
  if (!os::Sys().FileMove(root + "_", root)) throw EUpdateError(Msg("34"));
  Log(Msg("35"));
}

// The temporary tree, the server payload and the backup and working copies.
void PrepareTrees(std::string& errorText) {
  try {
    Log(Msg("36"));
    MyRemoveDir(WF.TmpDir);
    for (const std::string* dir : {&WF.TmpDir, &WF.NewDir, &WF.OldDir, &WF.OldDBDataDir, &WF.WrkDir}) MyCreateDir(*dir);
    const std::string payload = Join(WF.NewDir, "files.exe");
    ExtractFilesFromResource(payload, "");
    RunPayload(payload, "files", 1);
    Log(Msg("37"));
    Log(Msg("38"));
    if (WF.ClientPartFound) {
      MyCopyDirComplete(WF.ProgramDir, WF.OldProgramDir);
      MyCopyDirComplete(WF.ProgramDir, WF.WrkProgramDir);
      try {
        MyCopyDirComplete(WF.ResourcesDir, WF.OldResourcesDir);
        MyCopyDirComplete(WF.ResourcesDir, WF.WrkResourcesDir);
      } catch (const std::exception& e) {
        Log(e.what());
      }
    }
    if (WF.ServerPartFound) {
      MyCopyDirComplete(WF.DBDataDir, WF.OldDBDataDir);
      MyCopyDirComplete(WF.DBDataDir, WF.WrkDBDataDir);
    }
  } catch (const std::exception& e) {
    errorText = AppendExceptionMessage(errorText, e.what());
    try {
      MyRemoveDir(WF.NewDir);
    } catch (const std::exception& removal) {
      errorText = AppendExceptionMessage(errorText, removal.what());
    }
    throw;
  }
  Log(Msg("39"));
}

void RunClientPayload(const std::string& projectCode) {
  std::string name;
  if (projectCode == "ZAVUDAVADA")
    name = "files_gc";
  else if (projectCode == "TAMBER")
    name = "files_g";
  else
    return; // Tamber_Mini has no client payload
  const std::string file = Join(WF.NewDir, name + ".exe");
  ExtractFilesFromResource(file, name);
  RunPayload(file, name, 0);
}

// Brings the server part back into use: always after the lock check began.
void FinalStep(const std::string& password, std::string& errorText) {
  if (!WF.ServerPartFound) return;
  IHost& h = Host();
  const TUpdateSettings& s = h.Settings();
  try {
    Log(Msg("48"));
    StartFBService(s.ServParams, false, h);
    DatabaseOnline(s.ClientLibName, WF.DBConnect, kUser, password);
    Log(Msg("49"));
  } catch (const std::exception& e) {
    errorText = AppendExceptionMessage(errorText, Msg("50") + "\rOriginal Message: " + e.what());
    throw EUpdateNeedsUser(errorText);
  }
}

// Restores the server's files from their backups; the list of failures as
// the rollback reports it (empty when all were restored or none replaced).
std::string RestoreServerFiles() {
  if (!os::Sys().DirectoryExists(WF.OldOtherDir)) return {};
  std::string lines;
  for (const std::string& failed : RestoreFilesFromBackup(WF.OldOtherDir)) lines += failed + "\r\n";
  return lines;
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

//--- The server-part stage -------------------------------------------------------

void UpdateServerPart(const std::string& Password, TScriptLog& Buffer) {
  IHost& h = Host();
  const TUpdateSettings& s = h.Settings();
  // Scripts go to the engine as the whole text of a list: one line each,
  // ending in a line break.
  auto script = [](const std::string& text) { return text + "\r\n"; };
  auto reportOf = [&](const std::string& header) {
    Log(OutputBlock(header, Buffer));
    Buffer.clear();
    h.SetHadErrors(true);
  };
  // Runs one script; when it fails, FailureText is logged before the error
  // goes on.
  auto run = [](const char* FailureText, auto&& Script) {
    try {
      Script();
    } catch (...) {
      Log(FailureText);
      throw;
    }
  };

  Log("Обновление серверной части");
  Log("Выполняется скрипт проверки проекта");
  run("скрипт проверки проекта вызвал ошибку!",
      [&] { RunText(WF.WrkDBConnect, "WIN1251", Password, script(ProjectCheckScript(s.ProjectCode)), Buffer); });
  if (!Buffer.empty()) throw EUpdateError("Файл базы данных не соответствует выбранному проекту!");
  Log("Завершено выполнение скрипта проверки проекта");

  Log("Проверка версии базы данных");
  Log("Выполненяется скрипт проверки версии базы даных");
  run("Скрипт проверки версии базы даных вызвал ошибку!",
      [&] { RunText(WF.WrkDBConnect, "WIN1251", Password, script(kVersionCheckScript), Buffer); });
  if (!Buffer.empty())
    reportOf("-------------------------- Errors in the Apply-grants script ---------------------------");
  Log("Завершено выполнение скрипта проверки версии базы даных");

  Log("Остановка службы FireBird.");
  StopFBService(s.ServParams, false, h);
  Log("Служба FireBird остановлена.");

  // The server is started again also when a file could not be replaced;
  // that failure goes on afterwards.
  std::exception_ptr copyFailure;
  try {
    Log("Выполняется копирование системных файлов Firebird-сервера");
    const std::string serverDir = WithDelim(s.ServParams.ServerDir);
    for (const auto& [source, target] : ServerFiles())
      if (!CopyFileWithBackUp(Join(WF.NewDir, source), serverDir + target, WF.OldOtherDir))
        throw EUpdateError("Не удалось выполнить обновление файла: " + serverDir + target);
    Log("Завершено копирование системных файлов Firebird-сервера");
  } catch (...) {
    copyFailure = std::current_exception();
  }
  Log("Запуск службы FireBird.");
  StartFBService(s.ServParams, false, h);
  Log("Служба FireBird запущена.");
  if (copyFailure) std::rethrow_exception(copyFailure);

  Log("Выполненяется скрипт синхронизации параметров БД");
  run("скрипт синхронизации параметров БД вызвал ошибку!",
      [&] { RunText(WF.WrkDBConnect, "UTF8", Password, script(kParamsSyncScript), Buffer); });
  if (!Buffer.empty())
    reportOf("-------------------------- Errors in the parameters sinchronization script ---------------------------");

  Log("Выполненяется скрипт синхронизации структуры проекта");
  run("Скрипт синхронизации структуры проекта вызвал ошибку!", [&] {
    RunScriptFile(s.ClientLibName, WF.WrkDBConnect, kUser, "UTF8", Password, "", Join(WF.NewDir, "script.sql"),
                  &Buffer, 0);
  });
  if (!Buffer.empty())
    reportOf("-------------------------- Errors in the sinchronization script ---------------------------");
  Log("Завершено обновление серверной части");
}

//--- The client-part stage -------------------------------------------------------

void UpdateClientPart() {
  const TUpdateSettings& s = Host().Settings();
  Log("Обновление клиентской части");
  Log("Выполняется копирование и замена файлов и каталогов клиентского приложения");
  // A file the payloads did not deliver is simply not copied: the working
  // copy keeps its old one.
  CopyFileClearAttr(Join(WF.NewDir, s.ExeFileName), Join(WF.WrkProgramDir, s.ExeFileName));
  std::string help = s.ExeFileName;
  const size_t dot = help.rfind('.');
  help = (dot == std::string::npos ? help : help.substr(0, dot)) + ".chm";
  CopyFileClearAttr(Join(WF.NewDir, help), Join(WF.WrkProgramDir, help));
  for (const std::string& bitmap : ClientBitmaps())
    CopyFileClearAttr(Join(WF.NewDir, bitmap), Join(WF.WrkResourcesDir, bitmap));
  os::Sys().FileDelete(Join(WF.ProgramDir, "grids.ini"));
  Log("Завершено копирование и замена файлов и каталогов клиентского приложения");
  Log("Завершено обновление клиентской части");
}

//--- The final swap ----------------------------------------------------------------
//
// The live database is replaced so that at every moment one complete
// database file sits at the live path or can be put back there without the
// user: the live file is renamed aside, the updated copy moved in, and only
// then the old file deleted. A swap that cannot finish is a failure: when the
// database was not replaced, the server's files are restored as a rollback
// restores them, so the installation is as it was before the run.

void FinalSwap(std::string& ErrorText) {
  IHost& h = Host();
  const TUpdateSettings& s = h.Settings();
  os::Api& sys = os::Sys();
  try {
    MyRemoveDir(WF.NewDir);
    Log(GetMsgText("uUpdate_UpdateProgramm_41", WithDelim(WF.NewDir)));
  } catch (const std::exception& e) {
    // The text has a second place for a name right after the folder; the
    // folder is all there is to name.
    Log(std::string(e.what()) + "\r\n" + GetMsgText("uUpdate_UpdateProgramm_42", WithDelim(WF.NewDir), ""));
  }

  bool databaseReplaced = false, databaseMissing = false;
  try {
    if (WF.ServerPartFound) {
      StopFBService(s.ServParams, false, h);
      Log(Msg("22"));
      const std::string live = Join(WF.DBDataDir, s.DBFileName);
      const std::string aside = live + "_";
      bool renamed = false;
      for (int attempt = 0; attempt < 11 && !renamed; ++attempt) {
        if (sys.FileMove(live, aside)) renamed = true;
        Log(GetMsgText("uUpdate_CopyFileWithBackUp_5"));
      }
      if (!renamed) throw EUpdateError(GetMsgText("uUpdate_CopyFileWithBackUp_3", WF.DBConnect));
      if (!MoveFileClearAttr(Join(WF.WrkDBDataDir, s.DBFileName), live)) {
        databaseMissing = !sys.FileMove(aside, live);
        throw EUpdateError(GetMsgText("uUpdate_UpdateProgramm_61", WithDelim(WF.WrkDBDataDir), WithDelim(WF.DBDataDir)));
      }
      databaseReplaced = true;
      // The updated database is in place; an old file left beside it only
      // takes room, so the swap goes on.
      if (!sys.FileDelete(aside)) Log("Deleting file error: " + aside);
    }
    if (WF.ClientPartFound) {
      MyCopyDirComplete(WF.WrkProgramDir, WF.ProgramDir);
      MyCopyDirComplete(WF.WrkResourcesDir, WF.ResourcesDir);
    }
  } catch (const std::exception& e) {
    Log(e.what());
    h.SetHadErrors(true);
    if (databaseReplaced || databaseMissing || !WF.ServerPartFound) throw EUpdateNeedsUser("");
    h.SetStatusText(Msg("43"));
    Log(Msg("45"));
    const std::string failures = RestoreServerFiles();
    if (failures.empty()) throw EUpdateError("");
    ErrorText = AppendExceptionMessage(Msg("47"), failures);
    throw EUpdateNeedsUser(ErrorText);
  }
}

//--- The rollback ----------------------------------------------------------------------

void Rollback(std::string& ErrorText) {
  IHost& h = Host();
  h.SetStatusText(Msg("43"));
  Log(ErrorText + "\r" + Msg("44"));
  h.ProcessMessages();
  ErrorText.clear();
  Log(Msg("45"));
  try {
    MyRemoveDir(WF.NewDir);
    MyRemoveDir(WF.WrkDir);
  } catch (...) {
  }
  const std::string failures = RestoreServerFiles();
  if (!failures.empty()) {
    ErrorText = AppendExceptionMessage(Msg("47"), failures);
    throw EUpdateNeedsUser(ErrorText);
  }
  throw EUpdateError(ErrorText);
}

//--- The run ---------------------------------------------------------------------------

void UpdateProgramm(const std::string& ProgramLocation, const std::string& Password, const std::string& ProjectCode) {
  IHost& h = Host();
  // A run starts with a clean flag, so a cancelled run never shows the
  // outcome of an earlier failed one.
  h.SetHadErrors(false);

  UpdateInit(ProgramLocation);
  std::string parts;
  if (WF.ClientPartFound && WF.ServerPartFound)
    parts = Msg("01");
  else if (WF.ClientPartFound)
    parts = Msg("02");
  else if (WF.ServerPartFound)
    parts = Msg("03");
  else
    throw EUpdateError(GetMsgText("uUpdate_UpdateProgramm_04", ProgramLocation, ProjectCode));
  if (!h.AskYesNo(TMsgDlgType::Information, GetMsgText("uUpdate_UpdateProgramm_05", ProgramLocation, parts, ProjectCode),
                  TDefaultButton::No))
    throw EAbort(Msg("06"));

  if (WF.ServerPartFound) {
    CheckLiveDatabase(Password, ProjectCode);
    DisconnectUsersAndShutdown(Password);
    CheckFreeSpace(Password);
  }

  // From the lock check on, the server part is brought back into use
  // whatever the ending.
  std::string errorText;
  std::exception_ptr ending;
  try {
    TScriptLog buffer;
    CheckLocks();
    PrepareTrees(errorText);
    try {
      h.SetHadErrors(false);
      RunClientPayload(ProjectCode);
      if (WF.ServerPartFound) UpdateServerPart(Password, buffer);
      if (WF.ClientPartFound) UpdateClientPart();
      if (h.HadErrors()) throw EUpdateError(Msg("40"));
    } catch (const std::exception& e) {
      errorText = AppendExceptionMessage(errorText, e.what());
      h.SetHadErrors(true);
      Rollback(errorText);
    }
    FinalSwap(errorText);
  } catch (...) {
    ending = std::current_exception();
  }
  FinalStep(Password, errorText);
  if (ending) std::rethrow_exception(ending);
}

//--- Database mode commands ------------------------------------------------------------

namespace {

void SwitchMode(const std::string& ProgramLocation, const std::string& SysPassword, bool online) {
  IHost& h = Host();
  const std::string prefix = online ? "uUpdate_UpdateOnLine_0" : "uUpdate_UpdateShutdown_";
  UpdateInit(ProgramLocation);
  Log(GetMsgText(prefix + "1"));
  h.ProcessMessages();
  if (!WF.ServerPartFound) throw EUpdateError(GetMsgText(prefix + "2"));
  try {
    const TUpdateSettings& s = h.Settings();
    if (online)
      DatabaseOnline(s.ClientLibName, WF.DBConnect, kUser, SysPassword);
    else
      DatabaseShutdown(s.ClientLibName, WF.DBConnect, kUser, SysPassword);
    Log(GetMsgText(prefix + "3"));
    h.ProcessMessages();
    h.ShowMessage(TMsgDlgType::Information, GetMsgText(prefix + "4"));
  } catch (const std::exception& e) {
    h.ProcessMessages();
    if (std::string(e.what()).find("Target shutdown mode is invalid for database") == std::string::npos) throw;
    Log(GetMsgText(prefix + "5"));
    h.ProcessMessages();
    h.ShowMessage(TMsgDlgType::Warning, GetMsgText(prefix + "6"));
  }
}

} // namespace

void UpdateOnLine(const std::string& ProgramLocation, const std::string& SysPassword) {
  SwitchMode(ProgramLocation, SysPassword, true);
}

void UpdateShutdown(const std::string& ProgramLocation, const std::string& SysPassword) {
  SwitchMode(ProgramLocation, SysPassword, false);
}
