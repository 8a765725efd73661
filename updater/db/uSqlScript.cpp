// uSqlScript - script runs through the engine library (see uSqlScript.h).
#include "uSqlScript.h"

#include "os/OsLayer.h"
#include "os/StringExtras.h"
#include "os/Unicode.h"
#include "uDBConnection.h"
#include "uHost.h"
#include "sqlscript.h"
#include "FbClient.h"

#include <algorithm>
#include <utility>

TScriptLog* ScriptLog = nullptr;
std::string ScriptErrorText;

namespace {

// The engine's file: the product's "sqlscript.dll"; natively the platform's
// shared library of that name.
const std::string kScriptLibraryFile = os::SharedLibraryFileName("sqlscript");

const char kVersionHint[] =
    "\rВероятно, имеет место несоответствие между версией обновления и версией обновляемой базы данных!\r\r";

// The character set of the run in progress, for the callbacks.
std::string runCharSet;

bool IsWin1251(const std::string& CharSet) {
  const std::string_view c = os::Trim(CharSet);
  return os::EqualsIgnoringAsciiCase(c, "win1251") || os::EqualsIgnoringAsciiCase(c, "win_1251");
}

// The upper half of code page 1251 (0x80..0xFF) as Unicode code points.
const char16_t kCp1251[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0xFFFD, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    // 0xC0..0xFF: А..я
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C,
    0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429,
    0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436,
    0x0437, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443,
    0x0444, 0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F};

// Callbacks handed to the engine. They run on the calling thread, inside
// the engine's call; none of them may let an exception escape.

int32_t SQLSCRIPT_CALL OnConnectError(const char* ErrorText) {
  try {
    // There is no connection character set yet: the engine reports a
    // failed connection in UTF-8.
    ScriptErrorText = os::ValidUtf8(ErrorText ? ErrorText : "");
  } catch (...) {
  }
  return 0;
}

int32_t SQLSCRIPT_CALL OnStatementError(const char* Statement, const char* ErrorText) {
  try {
    std::string stmt = FromConnectionCharset(Statement ? Statement : "", runCharSet);
    std::string error = FromConnectionCharset(ErrorText ? ErrorText : "", runCharSet);
    if (ScriptLog) {
      ScriptLog->push_back("------- STATEMENT --------");
      ScriptLog->push_back(stmt);
      ScriptLog->push_back("-------   ERROR   --------");
      ScriptLog->push_back(error);
      ProcessMessages();
    }
    std::string report = "-------   ERROR   --------\r" + error + "\r\r------- STATEMENT --------\r" + stmt;
    if (os::LowerAscii(stmt).find("execute procedure check_versio(") != std::string::npos) report = kVersionHint + report;
    ScriptErrorText = report;
  } catch (...) {
  }
  return 0;
}

int32_t SQLSCRIPT_CALL OnMessage(int32_t, const char* Text) {
  try {
    if (ScriptLog) ScriptLog->push_back(FromConnectionCharset(Text ? Text : "", runCharSet));
    ProcessMessages();
  } catch (...) {
  }
  return 0;
}

int32_t SQLSCRIPT_CALL OnResult(int32_t, int32_t Value) { return Value == 1 ? 0 : 1; }
int32_t SQLSCRIPT_CALL OnMessageQuiet(int32_t, const char*) { return 0; }
int32_t SQLSCRIPT_CALL OnResultQuiet(int32_t, int32_t) { return 0; }

} // namespace

std::string ToConnectionCharset(const std::string& Utf8, const std::string& CharSet) {
  if (!IsWin1251(CharSet)) return Utf8;
  std::string out;
  out.reserve(Utf8.size());
  for (std::size_t i = 0; i < Utf8.size();) {
    const char32_t cp = os::NextCodePoint(Utf8, i);
    if (cp < 0x80) {
      out += static_cast<char>(cp);
      continue;
    }
    // An ill-formed byte (U+FFFD) and a character the code page lacks
    // become '?'; 0x98, which the table marks as unused, is never written.
    char mapped = '?';
    for (int k = 0; k < 128 && cp != 0xFFFD; ++k)
      if (kCp1251[k] == cp) {
        mapped = static_cast<char>(0x80 + k);
        break;
      }
    out += mapped;
  }
  return out;
}

std::string FromConnectionCharset(const std::string& Bytes, const std::string& CharSet) {
  if (!IsWin1251(CharSet)) return Bytes;
  std::string out;
  out.reserve(Bytes.size() * 2);
  for (char ch : Bytes) {
    unsigned char c = static_cast<unsigned char>(ch);
    out += os::EncodeUtf8(c < 0x80 ? char32_t(c) : char32_t(kCp1251[c - 0x80]));
  }
  return out;
}

void CheckConnectParams(const TDBParams& Db) {
  if (os::Trim(Db.ClientLib).empty()) throw EScriptError("Не задана клиентская библиотека!");
  if (os::Trim(Db.Database).empty()) throw EScriptError("Не задана база данных!");
  if (os::Trim(Db.UserName).empty()) throw EScriptError("Не задано имя пользователя!");
  if (os::Trim(Db.Password).empty()) throw EScriptError("Не задан пароль!");
}

void CheckConnectParams(const std::string& ClientLib, const std::string& Database,
                        const std::string& UserName, const std::string& Password) {
  CheckConnectParams(TDBParams{ClientLib, Database, UserName, Password, ""});
}

namespace {

// The items of the engine's connect string (sqlscript.h). The engine starts
// a new item at every ";" that blanks and one of these names with "="
// follow, wherever it stands.
const char* const kConnectItems[] = {"db_name",       "user_name",   "password", "lc_ctype",
                                     "sql_role_name", "sql_dialect", "clientlib"};

// The text in Value from a ";" up to the "=" of the item it would start
// ("; db_name="), empty when there is none.
std::string ItemStartIn(const std::string& Value) {
  for (std::size_t i = Value.find(';'); i != std::string::npos; i = Value.find(';', i + 1)) {
    std::size_t j = i + 1;
    while (j < Value.size() && (Value[j] == ' ' || Value[j] == '\t' || Value[j] == '\r' || Value[j] == '\n')) ++j;
    for (const char* item : kConnectItems) {
      const std::string name = std::string(item) + "=";
      if (os::EqualsIgnoringAsciiCase(std::string_view(Value).substr(j, name.size()), name))
        return Value.substr(i, j - i + name.size());
    }
  }
  return {};
}

} // namespace

std::string ConnectValueProblem(const TDBParams& Db, const std::string& CharSet) {
  // A password is not quoted, not even the part that gives it away.
  if (!ItemStartIn(Db.Password).empty())
    return "Пароль содержит \";\" перед именем параметра подключения и \"=\": так разделяются параметры подключения!";
  const std::pair<const char*, const std::string*> values[] = {{"Путь к базе данных", &Db.Database},
                                                                 {"Имя пользователя", &Db.UserName},
                                                                 {"Набор символов", &CharSet},
                                                                 {"Имя роли", &Db.Role},
                                                                 {"Клиентская библиотека", &Db.ClientLib}};
  for (const auto& [what, value] : values)
    if (const std::string start = ItemStartIn(*value); !start.empty())
      return std::string(what) + " \"" + *value + "\" содержит \"" + start +
             "\", которым разделяются параметры подключения!";
  return {};
}

std::string BuildConnectString(const TDBParams& Db, const std::string& CharSet) {
  // The client library's name is quoted, a quote in it doubled.
  std::string lib;
  for (char c : Db.ClientLib) lib += c == '"' ? std::string("\"\"") : std::string(1, c);
  return "db_name=" + Db.Database + "; password=" + Db.Password + "; user_name=" + Db.UserName +
         "; lc_ctype=" + CharSet + "; sql_role_name=" + Db.Role + "; sql_dialect=3; clientlib=\"" + lib + "\"";
}

std::string BuildConnectString(const std::string& Database, const std::string& Password,
                               const std::string& UserName, const std::string& CharSet,
                               const std::string& Role, const std::string& ClientLib) {
  return BuildConnectString(TDBParams{ClientLib, Database, UserName, Password, Role}, CharSet);
}

void RunScript(bool IsText, const TDBParams& Db, const std::string& CharSet, const std::string& Script,
               TScriptLog* Log, std::uint8_t ErrorMode) {
  CheckConnectParams(Db);
  ScriptLog = Log;
  ScriptErrorText.clear();
  runCharSet = CharSet;

  const std::string script(os::Trim(Script));
  const char* entry;
  if (IsText) {
    if (script.empty()) throw EScriptError("Скрипт пустой!");
    entry = "ExecScriptText";
  } else {
    if (script.empty()) throw EScriptError("Не задан файл скрипта!");
    if (!os::Sys().FileExists(script)) throw EScriptError("Файл скрипта \"" + script + "\" не найден!");
    entry = "ExecScriptFile";
  }
  // The engine hands these to the client in the system's ANSI code page on
  // Windows; a character it cannot hold is reported here, in the updater's
  // words, before anything is loaded.
  for (auto [text, what] : {std::pair{&Db.Database, TClientText::DatabasePath}, {&Db.UserName, TClientText::UserName},
                            {&Db.Password, TClientText::Password}, {&Db.Role, TClientText::Role}}) {
    const std::string problem = ClientTextProblem(*text, what);
    if (!problem.empty()) throw EScriptError(problem);
  }
  // Nor may a value start another item of the engine's connect string.
  if (const std::string problem = ConnectValueProblem(Db, CharSet); !problem.empty()) throw EScriptError(problem);

  // Held for this run only.
  const os::Library lib = os::Sys().LoadSharedLibrary(kScriptLibraryFile);
  if (!lib) throw EScriptError(os::WithCause("Невозможно загрузить библиотеку \"sqlscript.dll\"!", lib.Why()));
  auto connect = reinterpret_cast<decltype(&::Connect)>(os::Sys().Symbol(lib, "Connect"));
  if (!connect) throw EScriptError("В библиотеке \"sqlscript.dll\" не найдена функция \"Connect\"!");
  // Both entries have the same signature.
  auto exec = reinterpret_cast<decltype(&::ExecScriptText)>(os::Sys().Symbol(lib, entry));
  if (!exec) throw EScriptError(std::string("В библиотеке \"sqlscript.dll\" не найдена функция! (") + entry + ")");

  // The connect string crosses as UTF-8 in every character set.
  const std::string connectString = BuildConnectString(Db, CharSet);
  if (connect(connectString.c_str(), OnConnectError) != 0 || !ScriptErrorText.empty())
    throw EScriptError("Ошибка подключения к базе данных!\r" + ScriptErrorText);

  // A file name crosses as UTF-8; a script text in the connection's set.
  const std::string arg = IsText ? ToConnectionCharset(script, CharSet) : script;
  const std::int32_t result = ErrorMode == 1 ? exec(arg.c_str(), OnStatementError, OnMessage, OnResult)
                                             : exec(arg.c_str(), OnStatementError, OnMessageQuiet, OnResultQuiet);
  // A negative result: the engine could not run the script at all (no
  // connection, an unreadable file, a failure of its own), which is never a
  // clean run, whatever the error mode.
  if (result < 0)
    throw EScriptError("Ошибка применения скрипта!\r" +
                       (ScriptErrorText.empty() ? std::string("Библиотека \"sqlscript.dll\" не выполнила скрипт!")
                                                : ScriptErrorText));
  if (ErrorMode == 1 && !ScriptErrorText.empty())
    throw EScriptError("Ошибка применения скрипта!\r" + ScriptErrorText);
}

void RunScript(bool IsText, const std::string& ClientLib, const std::string& Database,
               const std::string& UserName, const std::string& CharSet, const std::string& Password,
               const std::string& Role, const std::string& Script, TScriptLog* Log, std::uint8_t ErrorMode) {
  RunScript(IsText, TDBParams{ClientLib, Database, UserName, Password, Role}, CharSet, Script, Log, ErrorMode);
}

void RunScriptFile(const TDBParams& Db, const std::string& CharSet, const std::string& FileName, TScriptLog* Log,
                   std::uint8_t ErrorMode) {
  RunScript(false, Db, CharSet, FileName, Log, ErrorMode);
}

void RunScriptText(const TDBParams& Db, const std::string& CharSet, const std::string& ScriptText, TScriptLog* Log,
                   std::uint8_t ErrorMode) {
  RunScript(true, Db, CharSet, ScriptText, Log, ErrorMode);
}

void RunScriptFile(const std::string& ClientLib, const std::string& Database, const std::string& UserName,
                   const std::string& CharSet, const std::string& Password, const std::string& Role,
                   const std::string& FileName, TScriptLog* Log, std::uint8_t ErrorMode) {
  RunScriptFile(TDBParams{ClientLib, Database, UserName, Password, Role}, CharSet, FileName, Log, ErrorMode);
}

void RunScriptText(const std::string& ClientLib, const std::string& Database, const std::string& UserName,
                   const std::string& CharSet, const std::string& Password, const std::string& Role,
                   const std::string& ScriptText, TScriptLog* Log, std::uint8_t ErrorMode) {
  RunScriptText(TDBParams{ClientLib, Database, UserName, Password, Role}, CharSet, ScriptText, Log, ErrorMode);
}

// --- Database administration ---

namespace {

const char kLongParameter[] = "Слишком длинный параметр подключения!";

// A request on the properties of the database at Path (in the client's form).
fbclient::ParameterBlock PropertiesRequest(const std::string& Path) {
  fbclient::ParameterBlock r(std::string(1, static_cast<char>(isc_action_svc_properties)));
  if (!r.AddLongString(isc_spb_dbname, Path)) throw EFBError(kLongParameter, 0, 0);
  return r;
}

// Runs Request on the service manager of the database; WaitMs is spent
// through the system's sleeping call before the service is detached.
void RunServiceRequest(const TDBParams& Db, const std::string& Request, std::uint32_t WaitMs) {
  const TDBLocation l = SplitDatabaseString(Db.Database);
  const std::string manager = ToClientText(ServiceManagerName(l), TClientText::DatabasePath);
  fbclient::ParameterBlock spb(std::string{isc_spb_version, isc_spb_current_version});
  if (!spb.AddString(isc_spb_user_name, ToClientText(Db.UserName, TClientText::UserName)) ||
      !spb.AddString(isc_spb_password, ToClientText(Db.Password, TClientText::Password)))
    throw EFBError(kLongParameter, 0, 0);
  TFbClientLibrary client(Db.ClientLib);
  TFbServiceHandle svc(client);
  client.ServiceAttach(manager, spb.Bytes(), svc.Get());
  client.ServiceStart(svc.Get(), Request);
  if (WaitMs) os::Sys().Sleep(WaitMs);
}

// The database path of Db as the client takes it.
std::string ClientPathOf(const TDBParams& Db) {
  return ToClientText(SplitDatabaseString(Db.Database).Path, TClientText::DatabasePath);
}

} // namespace

std::string ShutdownRequest(const std::string& Path) {
  fbclient::ParameterBlock r = PropertiesRequest(Path);
  r.AddInt32(isc_spb_prp_shutdown_db, 1); // forced shutdown after 1 second
  return r.Bytes();
}

std::string OnlineRequest(const std::string& Path) {
  fbclient::ParameterBlock r = PropertiesRequest(Path);
  r.AddInt32(isc_spb_options, isc_spb_prp_db_online);
  return r.Bytes();
}

std::vector<std::string> ParseUserNames(const std::string& Info) {
  std::vector<std::string> names;
  std::size_t p = 0;
  // Each entry: 53, two length bytes, one byte n, n bytes of name.
  while (p < Info.size() && Info[p] == isc_info_user_names) {
    if (p + 4 > Info.size()) break;
    const std::size_t n = static_cast<unsigned char>(Info[p + 3]);
    if (p + 4 + n > Info.size()) break;
    names.push_back(Info.substr(p + 4, n));
    p += 4 + n;
  }
  return names;
}

void DatabaseShutdown(const TDBParams& Db) {
  CheckConnectParams(Db);
  RunServiceRequest(Db, ShutdownRequest(ClientPathOf(Db)), 2000);
}

void DatabaseOnline(const TDBParams& Db) {
  CheckConnectParams(Db);
  RunServiceRequest(Db, OnlineRequest(ClientPathOf(Db)), 0);
}

void GetAttachedUsers(const TDBParams& Db, std::vector<std::string>& Users) {
  CheckConnectParams(Db);
  TDBConnection db(Db.Database, Db.UserName, Db.Password, Db.Role);
  db.Connect(Db.ClientLib);
  std::vector<std::string> names = ParseUserNames(db.DatabaseInfo(std::string(1, static_cast<char>(isc_info_user_names)), 20480));
  // The names as the clients sent them: in the system's code page.
  for (std::string& name : names) name = os::FromSystemCodePage(name);
  const auto own = std::find_if(names.begin(), names.end(),
                                [&](const std::string& name) { return os::EqualsIgnoringAsciiCase(name, Db.UserName); });
  if (own != names.end()) names.erase(own);
  Users = std::move(names);
}

void DatabaseShutdown(const std::string& ClientLib, const std::string& Database, const std::string& UserName,
                      const std::string& Password) {
  DatabaseShutdown(TDBParams{ClientLib, Database, UserName, Password, ""});
}

void DatabaseOnline(const std::string& ClientLib, const std::string& Database, const std::string& UserName,
                    const std::string& Password) {
  DatabaseOnline(TDBParams{ClientLib, Database, UserName, Password, ""});
}

void GetAttachedUsers(const std::string& ClientLib, const std::string& Database, const std::string& UserName,
                      const std::string& Password, const std::string& Role, std::vector<std::string>& Users) {
  GetAttachedUsers(TDBParams{ClientLib, Database, UserName, Password, Role}, Users);
}
