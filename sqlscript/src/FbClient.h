// FbClient - the Firebird client library, loaded at run time by the name the
// caller gives, with the entries the engine calls. Nothing links against
// the library; ibase.h gives the entry signatures and constants.
#pragma once

#include <ibase.h>

#include <string>

namespace sqlscript {

class FbClient {
public:
  FbClient() = default;
  ~FbClient() { Unload(); }
  FbClient(const FbClient&) = delete;
  FbClient& operator=(const FbClient&) = delete;

  // Loads the library and looks up its entries. On failure returns false,
  // leaves nothing loaded and puts the reason into Error.
  bool Load(const std::string& Name, std::string& Error);
  void Unload();
  bool Loaded() const { return handle_ != nullptr; }

  // The status vector as text: "Statement failed, SQLSTATE = xxxxx" (or
  // "Statement failed" when the library cannot tell the SQLSTATE) followed
  // by each interpreted message on a line of its own, all but the first
  // with "-" in front, lines separated by CR LF.
  std::string ErrorText(const ISC_STATUS* Status) const;
  // Only the interpreted messages, one per line as above (no first line).
  std::string Messages(const ISC_STATUS* Status) const;

#define SQLSCRIPT_FB_ENTRY(name) decltype(&::name) name = nullptr;
  SQLSCRIPT_FB_ENTRY(isc_attach_database)
  SQLSCRIPT_FB_ENTRY(isc_detach_database)
  SQLSCRIPT_FB_ENTRY(isc_start_transaction)
  SQLSCRIPT_FB_ENTRY(isc_commit_transaction)
  SQLSCRIPT_FB_ENTRY(isc_commit_retaining)
  SQLSCRIPT_FB_ENTRY(isc_rollback_transaction)
  SQLSCRIPT_FB_ENTRY(isc_rollback_retaining)
  SQLSCRIPT_FB_ENTRY(isc_dsql_allocate_statement)
  SQLSCRIPT_FB_ENTRY(isc_dsql_prepare)
  SQLSCRIPT_FB_ENTRY(isc_dsql_sql_info)
  SQLSCRIPT_FB_ENTRY(isc_dsql_describe)
  SQLSCRIPT_FB_ENTRY(isc_dsql_execute)
  SQLSCRIPT_FB_ENTRY(isc_dsql_execute2)
  SQLSCRIPT_FB_ENTRY(isc_dsql_fetch)
  SQLSCRIPT_FB_ENTRY(isc_dsql_free_statement)
  SQLSCRIPT_FB_ENTRY(isc_dsql_execute_immediate)
  // Only when fb_interpret is missing (clients before 2.0); declared here
  // because the header marks it deprecated.
  ISC_LONG(ISC_EXPORT* isc_interprete)(ISC_SCHAR*, ISC_STATUS**) = nullptr;
  SQLSCRIPT_FB_ENTRY(fb_interpret)   // optional
  SQLSCRIPT_FB_ENTRY(fb_sqlstate)    // optional (clients from 2.5 on)
#undef SQLSCRIPT_FB_ENTRY

private:
  void* handle_ = nullptr;
};

} // namespace sqlscript
