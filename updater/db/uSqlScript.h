// uSqlScript - runs SQL scripts through the script engine library and
// administers the database through the Firebird client: shutdown, online and
// the list of attached users.
//
// A script run loads the engine ("sqlscript.dll" beside the program; the
// native build's libsqlscript.so), connects it, hands it the script as a
// file name or as text and unloads it again; the engine's callbacks become
// lines of the caller's log and one error report in ScriptErrorText.
//
// Texts are UTF-8. Script texts, statements and error texts cross to the
// engine in the connection character set: WIN1251 is converted both ways,
// every other set is passed as it is. The connect string and a script
// file's name cross as UTF-8; the engine hands the database, user, password
// and role to the client as ToClientText (uDBConnection.h) does, and a
// character the client cannot take fails the run before the engine is
// loaded. A script file is read by the engine as bytes. The reason a
// connection failed comes back in UTF-8.
#pragma once

#include "uDBConnection.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// A failure of a script run or of a parameter check: the plain message text.
class EScriptError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Lines of a log text list; the caller owns it.
using TScriptLog = std::vector<std::string>;

// The log of the last run (may be nullptr) and its last error report. The
// log pointer stays set after a run; the report is emptied at the start of
// every run, after the parameter checks.
extern TScriptLog* ScriptLog;
extern std::string ScriptErrorText;

// Fails on the first of the four that is empty after trimming blanks, in
// this order: "Не задана клиентская библиотека!", "Не задана база данных!",
// "Не задано имя пользователя!", "Не задан пароль!".
void CheckConnectParams(const TDBParams& Db);
void CheckConnectParams(const std::string& ClientLib, const std::string& Database,
                        const std::string& UserName, const std::string& Password);

// Each routine comes in two forms: with the parameters object an operation
// builds once, and with the connection's items one by one.
//
// ErrorMode 0: a failing statement adds its four lines to Log and raises
// nothing. ErrorMode 1: the engine also reports its messages into Log, stops
// at the first failing statement, and the run then fails with
// "Ошибка применения скрипта!\r" and the report.
void RunScript(bool IsText, const TDBParams& Db, const std::string& CharSet, const std::string& Script,
               TScriptLog* Log, std::uint8_t ErrorMode);
void RunScript(bool IsText, const std::string& ClientLib, const std::string& Database,
               const std::string& UserName, const std::string& CharSet, const std::string& Password,
               const std::string& Role, const std::string& Script, TScriptLog* Log, std::uint8_t ErrorMode);

void RunScriptFile(const TDBParams& Db, const std::string& CharSet, const std::string& FileName, TScriptLog* Log,
                   std::uint8_t ErrorMode);
void RunScriptText(const TDBParams& Db, const std::string& CharSet, const std::string& ScriptText, TScriptLog* Log,
                   std::uint8_t ErrorMode);

void RunScriptFile(const std::string& ClientLib, const std::string& Database, const std::string& UserName,
                   const std::string& CharSet, const std::string& Password, const std::string& Role,
                   const std::string& FileName, TScriptLog* Log, std::uint8_t ErrorMode);

void RunScriptText(const std::string& ClientLib, const std::string& Database, const std::string& UserName,
                   const std::string& CharSet, const std::string& Password, const std::string& Role,
                   const std::string& ScriptText, TScriptLog* Log, std::uint8_t ErrorMode);

// The connect string handed to the engine, item by item:
// db_name=D; password=W; user_name=U; lc_ctype=C; sql_role_name=R; sql_dialect=3; clientlib="L"
// (a quote in L doubled). The values go in as they are: a run refuses
// values for which ConnectValueProblem gives a message.
std::string BuildConnectString(const TDBParams& Db, const std::string& CharSet);
std::string BuildConnectString(const std::string& Database, const std::string& Password,
                               const std::string& UserName, const std::string& CharSet,
                               const std::string& Role, const std::string& ClientLib);

// The engine would read a ";" followed by blanks and an item's name with "="
// as the start of another item, so that a location or a password holding
// "; db_name=..." would send the scripts to another database. The message
// that refuses the first value holding such a text (the value quoted, a
// password never), or empty when there is none. RunScript refuses such
// values before the engine is loaded.
std::string ConnectValueProblem(const TDBParams& Db, const std::string& CharSet);

// Text between the updater (UTF-8) and a connection's character set.
std::string ToConnectionCharset(const std::string& Utf8, const std::string& CharSet);
std::string FromConnectionCharset(const std::string& Bytes, const std::string& CharSet);

// --- Database administration through the Firebird client ---

// Request blocks and the answer to isc_info_user_names, exposed for tests.
std::string ShutdownRequest(const std::string& Path);
std::string OnlineRequest(const std::string& Path);
// The names of an isc_info_user_names answer, read while the current byte is
// the item code; an entry that would run past the end ends the list.
std::vector<std::string> ParseUserNames(const std::string& Info);

// Switches the database to the shutdown state (single-user): forced
// shutdown after 1 second, then a 2-second wait. Fails with EFBError.
void DatabaseShutdown(const TDBParams& Db);
void DatabaseShutdown(const std::string& ClientLib, const std::string& Database,
                      const std::string& UserName, const std::string& Password);

// Brings the database back online (multi-user). Fails with EFBError.
void DatabaseOnline(const TDBParams& Db);
void DatabaseOnline(const std::string& ClientLib, const std::string& Database,
                    const std::string& UserName, const std::string& Password);

// The user names of all attachments to the database but the caller's own
// (the first entry equal to UserName, letter case ignored), in the order the
// server reports them. Users' former content is replaced.
void GetAttachedUsers(const TDBParams& Db, std::vector<std::string>& Users);
void GetAttachedUsers(const std::string& ClientLib, const std::string& Database,
                      const std::string& UserName, const std::string& Password, const std::string& Role,
                      std::vector<std::string>& Users);
