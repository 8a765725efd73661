// StandInClient - the stand-in client library (see StandInClient.h): every entry the
// project's binding asks for, with the signatures of ibase.h.
#include "StandInClient.h"

#include <ibase.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

std::vector<StandInCall> record;
// The messages of a refusal a test asked for; none: the login error with
// the stand-in's own message.
std::vector<std::string> refusal;
// Whether database attachments succeed, and the answer to every
// information request then.
bool attachAnswers = false;
std::string infoAnswer;

ISC_STATUS Refuse(ISC_STATUS* Status) {
  if (refusal.empty()) {
    Status[0] = isc_arg_gds;
    Status[1] = isc_login;
    Status[2] = isc_arg_end;
    return Status[1];
  }
  // Each message as the one argument of the error whose text is only that
  // argument, as a server passes on a text of its own.
  ISC_STATUS* p = Status;
  for (const std::string& m : refusal) {
    *p++ = isc_arg_gds;
    *p++ = isc_random;
    *p++ = isc_arg_string;
    *p++ = reinterpret_cast<ISC_STATUS>(m.c_str());
  }
  *p = isc_arg_end;
  return Status[1];
}
ISC_STATUS Succeed(ISC_STATUS* Status) {
  Status[0] = isc_arg_gds;
  Status[1] = 0;
  Status[2] = isc_arg_end;
  return 0;
}

} // namespace

extern "C" {

#ifdef _WIN32
#define STANDIN_API __declspec(dllexport)
#else
#define STANDIN_API __attribute__((visibility("default")))
#endif

STANDIN_API const std::vector<StandInCall>& StandIn_Record() { return record; }
STANDIN_API void StandIn_Reset() {
  record.clear();
  refusal.clear();
  attachAnswers = false;
  infoAnswer.clear();
}
STANDIN_API void StandIn_RefuseWith(const char* const* Messages, int Count) {
  refusal.assign(Messages, Messages + (Count < 4 ? Count : 4));
}
STANDIN_API void StandIn_AnswerInfo(const char* Info, int Length) {
  attachAnswers = true;
  infoAnswer.assign(Info, static_cast<std::size_t>(Length));
}

STANDIN_API ISC_STATUS ISC_EXPORT isc_attach_database(ISC_STATUS* sv, short nameLen, const ISC_SCHAR* name,
                                                      isc_db_handle* db, short dpbLen, const ISC_SCHAR* dpb) {
  record.push_back({"isc_attach_database", std::string(name, static_cast<std::size_t>(nameLen)),
                    std::string(dpb, static_cast<std::size_t>(dpbLen))});
  if (!attachAnswers) return Refuse(sv);
  *db = isc_db_handle(1);
  return Succeed(sv);
}
STANDIN_API ISC_STATUS ISC_EXPORT isc_service_attach(ISC_STATUS* sv, unsigned short nameLen, const ISC_SCHAR* name,
                                                     isc_svc_handle* svc, unsigned short spbLen,
                                                     const ISC_SCHAR* spb) {
  record.push_back({"isc_service_attach", std::string(name, nameLen), std::string(spb, spbLen)});
  if (!refusal.empty()) return Refuse(sv);
  *svc = isc_svc_handle(1); // a pointer on 32-bit clients, an integer on 64-bit ones
  return Succeed(sv);
}
STANDIN_API ISC_STATUS ISC_EXPORT isc_service_start(ISC_STATUS* sv, isc_svc_handle*, isc_resv_handle*,
                                                    unsigned short len, const ISC_SCHAR* request) {
  record.push_back({"isc_service_start", "", std::string(request, len)});
  return Succeed(sv);
}
STANDIN_API ISC_STATUS ISC_EXPORT isc_service_detach(ISC_STATUS* sv, isc_svc_handle* svc) {
  *svc = 0;
  return Succeed(sv);
}
STANDIN_API ISC_STATUS ISC_EXPORT isc_detach_database(ISC_STATUS* sv, isc_db_handle*) { return Refuse(sv); }
STANDIN_API ISC_STATUS ISC_EXPORT isc_database_info(ISC_STATUS* sv, isc_db_handle*, short, const ISC_SCHAR*,
                                                    short size, ISC_SCHAR* buffer) {
  if (!attachAnswers) return Refuse(sv);
  std::memcpy(buffer, infoAnswer.data(), std::min(infoAnswer.size(), static_cast<std::size_t>(size)));
  return Succeed(sv);
}
STANDIN_API ISC_STATUS ISC_EXPORT_VARARG isc_start_transaction(ISC_STATUS* sv, isc_tr_handle*, short, ...) {
  return Refuse(sv);
}
STANDIN_API ISC_STATUS ISC_EXPORT isc_commit_transaction(ISC_STATUS* sv, isc_tr_handle*) { return Refuse(sv); }
STANDIN_API ISC_STATUS ISC_EXPORT isc_commit_retaining(ISC_STATUS* sv, isc_tr_handle*) { return Refuse(sv); }
STANDIN_API ISC_STATUS ISC_EXPORT isc_rollback_transaction(ISC_STATUS* sv, isc_tr_handle*) { return Refuse(sv); }
STANDIN_API ISC_STATUS ISC_EXPORT isc_rollback_retaining(ISC_STATUS* sv, isc_tr_handle*) { return Refuse(sv); }
STANDIN_API ISC_STATUS ISC_EXPORT isc_dsql_allocate_statement(ISC_STATUS* sv, isc_db_handle*, isc_stmt_handle*) {
  return Refuse(sv);
}
STANDIN_API ISC_STATUS ISC_EXPORT isc_dsql_prepare(ISC_STATUS* sv, isc_tr_handle*, isc_stmt_handle*, unsigned short,
                                                   const ISC_SCHAR*, unsigned short, XSQLDA*) {
  return Refuse(sv);
}
STANDIN_API ISC_STATUS ISC_EXPORT isc_dsql_sql_info(ISC_STATUS* sv, isc_stmt_handle*, short, const ISC_SCHAR*, short,
                                                    ISC_SCHAR*) {
  return Refuse(sv);
}
STANDIN_API ISC_STATUS ISC_EXPORT isc_dsql_describe(ISC_STATUS* sv, isc_stmt_handle*, unsigned short, XSQLDA*) {
  return Refuse(sv);
}
STANDIN_API ISC_STATUS ISC_EXPORT isc_dsql_execute(ISC_STATUS* sv, isc_tr_handle*, isc_stmt_handle*, unsigned short,
                                                   const XSQLDA*) {
  return Refuse(sv);
}
STANDIN_API ISC_STATUS ISC_EXPORT isc_dsql_execute2(ISC_STATUS* sv, isc_tr_handle*, isc_stmt_handle*, unsigned short,
                                                    const XSQLDA*, const XSQLDA*) {
  return Refuse(sv);
}
STANDIN_API ISC_STATUS ISC_EXPORT isc_dsql_fetch(ISC_STATUS* sv, isc_stmt_handle*, unsigned short, const XSQLDA*) {
  return Refuse(sv);
}
STANDIN_API ISC_STATUS ISC_EXPORT isc_dsql_free_statement(ISC_STATUS* sv, isc_stmt_handle*, unsigned short) {
  return Refuse(sv);
}
STANDIN_API ISC_STATUS ISC_EXPORT isc_dsql_execute_immediate(ISC_STATUS* sv, isc_db_handle*, isc_tr_handle*,
                                                             unsigned short, const ISC_SCHAR*, unsigned short,
                                                             const XSQLDA*) {
  return Refuse(sv);
}
STANDIN_API ISC_LONG ISC_EXPORT isc_sqlcode(const ISC_STATUS*) { return -902; }
// One message per entry of the status vector: its string argument, or the
// stand-in's own message for an entry without one.
STANDIN_API ISC_LONG ISC_EXPORT fb_interpret(ISC_SCHAR* buf, unsigned int size, const ISC_STATUS** sv) {
  const ISC_STATUS* p = *sv;
  if (p[0] != isc_arg_gds || p[1] == 0) return 0;
  if (p[2] == isc_arg_string) {
    std::snprintf(buf, size, "%s", reinterpret_cast<const char*>(p[3]));
    *sv += 4;
  } else {
    std::snprintf(buf, size, "%s", kStandInRefusal);
    *sv += 2;
  }
  return static_cast<ISC_LONG>(std::strlen(buf));
}

} // extern "C"
