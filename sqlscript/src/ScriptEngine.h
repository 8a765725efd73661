// ScriptEngine - one attachment and the run of a script against it. The
// library's exports (Exports.cpp) are thin thunks around one Session.
#pragma once

#include "FbClient.h"
#include "os/OsLayer.h"
#include "sqlscript.h"

#include <map>
#include <string>
#include <string_view>

namespace sqlscript {

// The items of a connect string; names in lower case. Fails with the
// reason in Error, also when an item is given twice.
bool ParseConnectString(std::string_view Text, std::map<std::string, std::string>& Items,
                        std::string& Error);

struct Callbacks {
  TStatementErrorProc OnStatementError = nullptr;
  TMessageProc OnMessage = nullptr;
  TResultProc OnResult = nullptr;
};

class Session {
public:
  Session() = default;
  ~Session() { End(); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Loads the client and attaches; on failure leaves nothing loaded and
  // puts the reason into Error, in UTF-8. The database name, user, password
  // and role go to the client as fbclient::ToClientText gives them.
  bool Connect(std::string_view ConnectString, std::string& Error);
  bool Connected() const { return db_ != 0; }

  // Runs the script; returns the number of failing statements.
  int Run(std::string_view Script, const Callbacks& Cb);

  // Rolls back what is open, detaches and unloads the client.
  void End() noexcept;

private:
  bool LoadClient(const std::string& Name, std::string& Error);
  void UnloadClient() noexcept;
  // The status vector as the statement-error text (see sqlscript.h).
  std::string ErrorText(const ISC_STATUS* Status) const;
  bool StartPrepare(ISC_STATUS* Status);
  void EndPrepare() noexcept;
  bool StartMain(ISC_STATUS* Status);
  bool CommitMain(ISC_STATUS* Status, bool Retain);
  bool RollbackMain(ISC_STATUS* Status, bool Retain);
  // Executes one statement; false with Status filled when it failed.
  bool Execute(const std::string& Sql, ISC_STATUS* Status);

  os::Library clientLib_;
  fbclient::Entries fb_;
  isc_db_handle db_ = 0;
  isc_tr_handle tr_ = 0;   // the script's transaction
  isc_tr_handle prep_ = 0; // read committed, for preparing statements
  unsigned short dialect_ = 3;
  bool autoDdl_ = true;
};

} // namespace sqlscript
