// uDBConnection - the Firebird client library loaded by the name the caller
// gives, the split of a database string into server and path, and
// TDBConnection, a connection bundled with a transaction and a query.
#pragma once

#include "os/OsLayer.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// A failure reported by the Firebird client: the server's messages joined by
// CR LF without a final full stop, with the SQLCODE and the first Firebird
// error code of the status vector (0 for failures of the client access itself).
class EFBError : public std::runtime_error {
public:
  EFBError(const std::string& Message, std::int32_t SqlCode, std::int64_t ErrorCode)
      : std::runtime_error(Message), SqlCode(SqlCode), ErrorCode(ErrorCode) {}
  std::int32_t SqlCode;
  std::int64_t ErrorCode;
};

// The database an operation works on and how it attaches: the client
// library, the database string ("server:path" or a local path), the user,
// the password and the role (empty: none). An operation builds it once and
// hands it to every database call, so the password is held in one place.
struct TDBParams {
  std::string ClientLib;
  std::string Database;
  std::string UserName;
  std::string Password;
  std::string Role;
};

// Where a database string points: "server:path" over TCP/IP, or a local
// path. A text whose second character is ":" and that holds no further ":"
// ("C:\Data\db.fdb") is local, and so is a text without ":"; any other text
// is split at its first ":".
struct TDBLocation {
  std::string Server; // empty for a local path
  std::string Path;
  bool Tcp = false;
};
TDBLocation SplitDatabaseString(const std::string& Database);

// "server:service_mgr" over TCP/IP, "service_mgr" for a local database.
std::string ServiceManagerName(const TDBLocation& Location);

// The server's messages joined by CR LF, a final full stop removed.
std::string JoinServerMessages(const std::vector<std::string>& Messages);

// What a text handed to the client names, for the message about a
// character the client cannot take.
enum class TClientText { DatabasePath, UserName, Password, Role };

// Database paths, user names, passwords and roles as the Firebird client
// takes them: on Windows in the system's ANSI code page (a Firebird 2.x
// server there reads file names in it), elsewhere UTF-8 as they are.
// ClientTextProblem gives the message for a character the code page cannot
// hold, for example "Символ «Ж» пути к базе данных не представим в кодовой
// странице ANSI системы (1252)!" (a password's character is not named), and
// an empty text when the text can be handed over; ToClientText converts or
// fails with EFBError carrying that message.
std::string ClientTextProblem(const std::string& Utf8, TClientText What);
std::string ToClientText(const std::string& Utf8, TClientText What);

// The Firebird client library, loaded through the operating-system layer by
// the name given and unloaded when the object goes; its entries are those of
// the project's client binding. Names and blocks are handed to the client
// as they are given: callers convert texts with ToClientText.
class TFbClientLibrary {
public:
  explicit TFbClientLibrary(const std::string& Name); // fails with EFBError
  ~TFbClientLibrary();
  TFbClientLibrary(const TFbClientLibrary&) = delete;
  TFbClientLibrary& operator=(const TFbClientLibrary&) = delete;

  // The calls, with the client's own types hidden: handles are 32-bit on
  // every client (pointers on 32-bit clients, integers on 64-bit ones), so
  // they are held in the size of a pointer. Each fails with EFBError.
  using Handle = std::uintptr_t;
  void AttachDatabase(const std::string& Name, const std::string& Dpb, Handle& Db);
  void DetachDatabase(Handle& Db);             // quietly; Db becomes 0
  std::string DatabaseInfo(Handle& Db, const std::string& Items, std::size_t BufferSize);
  void ServiceAttach(const std::string& Name, const std::string& Spb, Handle& Svc);
  void ServiceStart(Handle& Svc, const std::string& Request);
  void ServiceDetach(Handle& Svc);             // quietly; Svc becomes 0

private:
  struct Entries;
  [[noreturn]] void Raise(const void* Status) const;
  os::Library lib_;
  std::unique_ptr<Entries> e_;
};

// A database or service handle of a loaded client that detaches itself when
// it goes, on every way out. Get() is what the client's attach call fills.
template <void (TFbClientLibrary::*Detach)(TFbClientLibrary::Handle&)>
class TFbHandle {
public:
  explicit TFbHandle(TFbClientLibrary& Client) : client_(Client) {}
  ~TFbHandle() { (client_.*Detach)(h_); }
  TFbHandle(const TFbHandle&) = delete;
  TFbHandle& operator=(const TFbHandle&) = delete;
  TFbClientLibrary::Handle& Get() { return h_; }
  bool Attached() const { return h_ != 0; }

private:
  TFbClientLibrary& client_;
  TFbClientLibrary::Handle h_ = 0;
};
using TFbAttachment = TFbHandle<&TFbClientLibrary::DetachDatabase>;
using TFbServiceHandle = TFbHandle<&TFbClientLibrary::ServiceDetach>;

// A connection with its transaction and query. The updater uses only the
// connection; the other two keep their settings for callers that query.
class TDBConnection {
public:
  struct TConnectionSettings {
    std::string DatabaseName; // the database string as given
    std::string UserName, Password, RoleName;
    std::string CharSet = "WIN1251";
    bool LoginPrompt = false;
    int PageSize = 4096; // matters only when creating a database
    bool TcpIp = true;   // network protocol TCP/IP
    int SqlDialect = 3;
  };
  struct TTransactionSettings {
    bool AutoCommit = false;
    bool ReadCommitted = true;
  };
  struct TQuerySettings {
    bool FetchAll = true;
    bool AutoKeys = false;
  };

  TDBConnection(const std::string& Database, const std::string& UserName, const std::string& Password,
                const std::string& Role);
  ~TDBConnection(); // disconnects, then frees query, transaction and connection
  TDBConnection(const TDBConnection&) = delete;
  TDBConnection& operator=(const TDBConnection&) = delete;

  // Attaches through the client library ClientLib; fails with EFBError.
  void Connect(const std::string& ClientLib);
  void Disconnect();
  bool Connected() const { return db_ && db_->Attached(); }

  const TConnectionSettings& Connection() const { return connection_; }
  const TTransactionSettings& Transaction() const { return transaction_; }
  const TQuerySettings& Query() const { return query_; }
  // The attachment's information items (isc_database_info).
  std::string DatabaseInfo(const std::string& Items, std::size_t BufferSize);

private:
  TConnectionSettings connection_;
  TTransactionSettings transaction_;
  TQuerySettings query_;
  // The attachment goes before the library it came from.
  std::unique_ptr<TFbClientLibrary> client_;
  std::unique_ptr<TFbAttachment> db_;
};
