/* sqlscript.h - the script engine's C interface.
 *
 * The engine runs SQL scripts against one Firebird database. A host loads
 * the library by name, calls Connect once and then ExecScriptFile or
 * ExecScriptText once; the script call ends the session (it commits,
 * detaches and unloads the Firebird client). Unloading the library also
 * ends a session that is still open. All entries and callbacks use the
 * standard Windows calling convention (__stdcall) on 32-bit Windows; the
 * names are exported undecorated.
 *
 * Texts are zero-terminated byte strings. Script texts, statements and
 * statement error texts are bytes in the connection character set
 * (lc_ctype); the connect string, a file name and the reason a connection
 * failed are UTF-8, whatever the connection character set.
 *
 * Names and passwords reach the Firebird client in the form it reads them:
 * on Windows the engine converts db_name, user_name, password and
 * sql_role_name from UTF-8 to the system's ANSI code page when it attaches
 * (a Firebird 2.x server on Windows reads file names in that code page);
 * elsewhere they go as UTF-8. A character the code page cannot hold is not
 * replaced: Connect fails and reports it, naming the character by its code
 * point ("U+0416") and the code page, a password's character excepted.
 * The clientlib name is handed to the system's library loader as UTF-8.
 *
 * Connect string: items "name=value" in any order, names without regard to
 * letter case, separated by ";" and blanks:
 *   db_name        database, "server:path" or a local path      (required)
 *   user_name      user                                          (required)
 *   password       password
 *   lc_ctype       connection character set
 *   sql_role_name  role; empty for none
 *   sql_dialect    1 or 3 (default 3)
 *   clientlib      the Firebird client library to load, in double quotes
 *                  (a doubled quote stands for one)             (required)
 * A value runs from after its "=" up to the ";" that is followed by blanks
 * and the name of a further item, or to the end: blanks inside and around a
 * value (a password's, for example) are kept.
 * Each item may be given once: a connect string that names an item twice
 * is refused, so that a value holding "; db_name=..." cannot replace the
 * database given first.
 *
 * Script execution: statements end at the terminator (";" at first), which is
 * recognised outside comments ("--", slash-star), quoted literals (with
 * doubled quotes), quoted identifiers and Q-strings (q'{...}'). SET TERM x ;
 * and SET TERMINATOR x ; change the terminator and are not sent to the server.
 * A last statement without a terminator is executed. DDL runs in a
 * transaction of its own that is committed at once (SET AUTODDL OFF turns
 * this off); COMMIT and ROLLBACK [WORK] [RETAIN] act on the script's
 * transaction; EXIT commits and QUIT rolls back, and both end the script;
 * SET TRANSACTION commits the current transaction and starts the one it
 * describes. The client settings SET NAMES, SET SQL DIALECT, SET ECHO, SET LIST
 * and the like are accepted and skipped. Everything else is sent to the server.
 * What is left uncommitted at the end of the script is committed.
 */
#ifndef SQLSCRIPT_H
#define SQLSCRIPT_H

#include <stdint.h>

#if defined(_WIN32)
#define SQLSCRIPT_CALL __stdcall
#else
#define SQLSCRIPT_CALL
#endif
/* Windows exports come from the definition file; elsewhere the library is
   built with hidden symbols and these three are made visible. */
/* No entry lets an exception out; C++ hosts see that in the declarations. */
#ifdef __cplusplus
#define SQLSCRIPT_NOEXCEPT noexcept
#else
#define SQLSCRIPT_NOEXCEPT
#endif
#if defined(_WIN32)
#define SQLSCRIPT_API
#else
#define SQLSCRIPT_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Called once when Connect fails, with the reason in UTF-8: the server's
   messages (see the statement error text below; the client gives them in
   the system's ANSI code page on Windows, and they are converted) or the
   engine's own text when the connect string is wrong or the client library
   cannot be loaded. The result is ignored. */
typedef int32_t(SQLSCRIPT_CALL* TConnectErrorProc)(const char* ErrorText);

/* Called once for every statement that fails, with the statement as it was
   sent to the server and the error text: the first line
   "Statement failed, SQLSTATE = xxxxx" (without the SQLSTATE part when the
   client library cannot tell it), then each message of the server's status
   vector on a line of its own, every one but the first with a "-" in front,
   lines separated by CR LF. The result is ignored; the engine goes on unless
   the result callback says otherwise. */
typedef int32_t(SQLSCRIPT_CALL* TStatementErrorProc)(const char* Statement, const char* ErrorText);

/* Called with a note about the run. Kind is one of SQLSCRIPT_MSG_*; the
   result is ignored. */
typedef int32_t(SQLSCRIPT_CALL* TMessageProc)(int32_t Kind, const char* Text);

/* Called after every statement with its number (1 for the first statement
   of the script, counted in script order, client commands included) and its
   outcome: 1 succeeded, 0 failed. Return 0 to go on with the next statement;
   any other value stops the script: nothing after it runs and the work that
   the script has not committed yet is rolled back. */
typedef int32_t(SQLSCRIPT_CALL* TResultProc)(int32_t StatementNo, int32_t Outcome);

/* Kinds of message. */
#define SQLSCRIPT_MSG_NOTE 1    /* a client command was carried out: the terminator changed,
                                   COMMIT or ROLLBACK, a client setting skipped */
#define SQLSCRIPT_MSG_SUMMARY 2 /* the run has ended: "N statements, M failed",
                                   followed by " (stopped)" when the result callback stopped it */

/* Loads the client library, attaches to the database and keeps the
   attachment for the next script call. An earlier session is ended first.
   Returns 0 when attached; otherwise 1 after reporting the reason through
   OnConnectError (which may be NULL). */
SQLSCRIPT_API int32_t SQLSCRIPT_CALL Connect(const char* ConnectString, TConnectErrorProc OnConnectError) SQLSCRIPT_NOEXCEPT;

/* Runs the script in the file FileName (UTF-8), read as bytes, then ends the
   session. Any callback may be NULL. Returns the number of failing
   statements, or -1 when there is no connection or the file cannot be read
   (reported through OnStatementError with an empty statement). */
SQLSCRIPT_API int32_t SQLSCRIPT_CALL ExecScriptFile(const char* FileName, TStatementErrorProc OnStatementError,
                                      TMessageProc OnMessage, TResultProc OnResult) SQLSCRIPT_NOEXCEPT;

/* Runs the script text ScriptText, then ends the session; otherwise as
   ExecScriptFile. */
SQLSCRIPT_API int32_t SQLSCRIPT_CALL ExecScriptText(const char* ScriptText, TStatementErrorProc OnStatementError,
                                      TMessageProc OnMessage, TResultProc OnResult) SQLSCRIPT_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* SQLSCRIPT_H */
