// FaultClient - the forwarding client library for fault tests (see FaultClient.h).
#include "FaultClient.h"

#include <ibase.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdarg>
#include <set>
#include <string>
#include <vector>

namespace {

std::string targetName = "libfbclient.so.2";
void* target = nullptr;

std::vector<long> failAt;
long failFrom = 0;
std::vector<const char*> calls; // the entry of each counted call
long failed = 0;

// What failed calls may have left open, by handle value.
std::set<isc_db_handle> attachments;
std::set<isc_tr_handle> transactions;
std::set<isc_svc_handle> services;

void* Target() {
  if (!target) target = dlopen(targetName.c_str(), RTLD_NOW | RTLD_LOCAL);
  return target;
}

template <typename F> F Real(const char* name) {
  void* lib = Target();
  return lib ? reinterpret_cast<F>(dlsym(lib, name)) : nullptr;
}
#define REAL(name) Real<decltype(&::name)>(#name)

const char kHost[] = "localhost";

// The status of a connection that broke while the call was on its way:
// the network error naming the host, then the failed read.
ISC_STATUS Broken(ISC_STATUS* sv) {
  sv[0] = isc_arg_gds;
  sv[1] = isc_network_error;
  sv[2] = isc_arg_string;
  sv[3] = reinterpret_cast<ISC_STATUS>(kHost);
  sv[4] = isc_arg_gds;
  sv[5] = isc_net_read_err;
  sv[6] = isc_arg_end;
  return sv[1];
}

// Counts a call of Entry; true when it is to fail (Status is then set).
bool Fails(ISC_STATUS* sv, const char* entry) {
  calls.push_back(entry);
  const long k = static_cast<long>(calls.size());
  if ((failFrom != 0 && k >= failFrom) || std::find(failAt.begin(), failAt.end(), k) != failAt.end()) {
    ++failed;
    Broken(sv);
    return true;
  }
  return false;
}

// The real client is missing: said as a client says it of an unloadable
// library.
ISC_STATUS Unavailable(ISC_STATUS* sv) {
  sv[0] = isc_arg_gds;
  sv[1] = isc_unavailable;
  sv[2] = isc_arg_end;
  return sv[1];
}

// The layout the real client gives a transaction's database, as
// isc_start_multiple takes it.
struct TransactionDatabase {
  isc_db_handle* Database;
  int TpbLength;
  const char* Tpb;
};

} // namespace

extern "C" {

#define FAULT_API __attribute__((visibility("default")))

FAULT_API bool FaultClient_Target(const char* Library) {
  if (target) dlclose(target);
  target = nullptr;
  targetName = Library;
  return Target() != nullptr;
}

FAULT_API void FaultClient_Arm(const long* FailAt, int Count, long FailFrom) {
  failAt.assign(FailAt, FailAt + Count);
  failFrom = FailFrom;
  calls.clear();
  failed = 0;
}

FAULT_API long FaultClient_Calls() { return static_cast<long>(calls.size()); }
FAULT_API long FaultClient_Failed() { return failed; }
FAULT_API const char* FaultClient_CallName(long K) {
  return K >= 1 && K <= static_cast<long>(calls.size()) ? calls[static_cast<size_t>(K - 1)] : "";
}

FAULT_API int FaultClient_CloseLeftOpen() {
  ISC_STATUS_ARRAY sv;
  int closed = 0;
  for (isc_tr_handle tr : transactions) {
    if (auto rollback = REAL(isc_rollback_transaction)) rollback(sv, &tr);
    ++closed;
  }
  for (isc_db_handle db : attachments) {
    if (auto detach = REAL(isc_detach_database)) detach(sv, &db);
    ++closed;
  }
  for (isc_svc_handle svc : services) {
    if (auto detach = REAL(isc_service_detach)) detach(sv, &svc);
    ++closed;
  }
  transactions.clear();
  attachments.clear();
  services.clear();
  return closed;
}

//--- The client's entries ---------------------------------------------------------

FAULT_API ISC_STATUS ISC_EXPORT isc_attach_database(ISC_STATUS* sv, short nameLen, const ISC_SCHAR* name,
                                                    isc_db_handle* db, short dpbLen, const ISC_SCHAR* dpb) {
  if (Fails(sv, "isc_attach_database")) return sv[1];
  auto real = REAL(isc_attach_database);
  if (!real) return Unavailable(sv);
  const ISC_STATUS r = real(sv, nameLen, name, db, dpbLen, dpb);
  if (r == 0) attachments.insert(*db);
  return r;
}

FAULT_API ISC_STATUS ISC_EXPORT isc_detach_database(ISC_STATUS* sv, isc_db_handle* db) {
  if (Fails(sv, "isc_detach_database")) return sv[1];
  auto real = REAL(isc_detach_database);
  if (!real) return Unavailable(sv);
  const isc_db_handle h = *db;
  const ISC_STATUS r = real(sv, db);
  if (r == 0) attachments.erase(h);
  return r;
}

FAULT_API ISC_STATUS ISC_EXPORT isc_database_info(ISC_STATUS* sv, isc_db_handle* db, short itemsLen,
                                                  const ISC_SCHAR* items, short size, ISC_SCHAR* buffer) {
  if (Fails(sv, "isc_database_info")) return sv[1];
  auto real = REAL(isc_database_info);
  return real ? real(sv, db, itemsLen, items, size, buffer) : Unavailable(sv);
}

// Every database of the transaction is passed on; the project starts
// transactions on one.
FAULT_API ISC_STATUS ISC_EXPORT_VARARG isc_start_transaction(ISC_STATUS* sv, isc_tr_handle* tr, short count, ...) {
  std::vector<TransactionDatabase> databases(static_cast<size_t>(count > 0 ? count : 0));
  va_list args;
  va_start(args, count);
  for (TransactionDatabase& d : databases) {
    d.Database = va_arg(args, isc_db_handle*);
    d.TpbLength = va_arg(args, int);
    d.Tpb = va_arg(args, const char*);
  }
  va_end(args);
  if (Fails(sv, "isc_start_transaction")) return sv[1];
  auto real = REAL(isc_start_multiple);
  if (!real) return Unavailable(sv);
  const ISC_STATUS r = real(sv, tr, count, databases.data());
  if (r == 0) transactions.insert(*tr);
  return r;
}

FAULT_API ISC_STATUS ISC_EXPORT isc_commit_transaction(ISC_STATUS* sv, isc_tr_handle* tr) {
  if (Fails(sv, "isc_commit_transaction")) return sv[1];
  auto real = REAL(isc_commit_transaction);
  if (!real) return Unavailable(sv);
  const isc_tr_handle h = *tr;
  const ISC_STATUS r = real(sv, tr);
  if (r == 0) transactions.erase(h);
  return r;
}

FAULT_API ISC_STATUS ISC_EXPORT isc_commit_retaining(ISC_STATUS* sv, isc_tr_handle* tr) {
  if (Fails(sv, "isc_commit_retaining")) return sv[1];
  auto real = REAL(isc_commit_retaining);
  return real ? real(sv, tr) : Unavailable(sv);
}

FAULT_API ISC_STATUS ISC_EXPORT isc_rollback_transaction(ISC_STATUS* sv, isc_tr_handle* tr) {
  if (Fails(sv, "isc_rollback_transaction")) return sv[1];
  auto real = REAL(isc_rollback_transaction);
  if (!real) return Unavailable(sv);
  const isc_tr_handle h = *tr;
  const ISC_STATUS r = real(sv, tr);
  if (r == 0) transactions.erase(h);
  return r;
}

FAULT_API ISC_STATUS ISC_EXPORT isc_rollback_retaining(ISC_STATUS* sv, isc_tr_handle* tr) {
  if (Fails(sv, "isc_rollback_retaining")) return sv[1];
  auto real = REAL(isc_rollback_retaining);
  return real ? real(sv, tr) : Unavailable(sv);
}

FAULT_API ISC_STATUS ISC_EXPORT isc_dsql_allocate_statement(ISC_STATUS* sv, isc_db_handle* db, isc_stmt_handle* st) {
  if (Fails(sv, "isc_dsql_allocate_statement")) return sv[1];
  auto real = REAL(isc_dsql_allocate_statement);
  return real ? real(sv, db, st) : Unavailable(sv);
}

FAULT_API ISC_STATUS ISC_EXPORT isc_dsql_prepare(ISC_STATUS* sv, isc_tr_handle* tr, isc_stmt_handle* st,
                                                 unsigned short len, const ISC_SCHAR* sql, unsigned short dialect,
                                                 XSQLDA* out) {
  if (Fails(sv, "isc_dsql_prepare")) return sv[1];
  auto real = REAL(isc_dsql_prepare);
  return real ? real(sv, tr, st, len, sql, dialect, out) : Unavailable(sv);
}

FAULT_API ISC_STATUS ISC_EXPORT isc_dsql_sql_info(ISC_STATUS* sv, isc_stmt_handle* st, short itemsLen,
                                                  const ISC_SCHAR* items, short size, ISC_SCHAR* buffer) {
  if (Fails(sv, "isc_dsql_sql_info")) return sv[1];
  auto real = REAL(isc_dsql_sql_info);
  return real ? real(sv, st, itemsLen, items, size, buffer) : Unavailable(sv);
}

FAULT_API ISC_STATUS ISC_EXPORT isc_dsql_describe(ISC_STATUS* sv, isc_stmt_handle* st, unsigned short dialect,
                                                  XSQLDA* out) {
  if (Fails(sv, "isc_dsql_describe")) return sv[1];
  auto real = REAL(isc_dsql_describe);
  return real ? real(sv, st, dialect, out) : Unavailable(sv);
}

FAULT_API ISC_STATUS ISC_EXPORT isc_dsql_execute(ISC_STATUS* sv, isc_tr_handle* tr, isc_stmt_handle* st,
                                                 unsigned short dialect, const XSQLDA* in) {
  if (Fails(sv, "isc_dsql_execute")) return sv[1];
  auto real = REAL(isc_dsql_execute);
  return real ? real(sv, tr, st, dialect, in) : Unavailable(sv);
}

FAULT_API ISC_STATUS ISC_EXPORT isc_dsql_execute2(ISC_STATUS* sv, isc_tr_handle* tr, isc_stmt_handle* st,
                                                  unsigned short dialect, const XSQLDA* in, const XSQLDA* out) {
  if (Fails(sv, "isc_dsql_execute2")) return sv[1];
  auto real = REAL(isc_dsql_execute2);
  return real ? real(sv, tr, st, dialect, in, out) : Unavailable(sv);
}

FAULT_API ISC_STATUS ISC_EXPORT isc_dsql_fetch(ISC_STATUS* sv, isc_stmt_handle* st, unsigned short dialect,
                                               const XSQLDA* out) {
  if (Fails(sv, "isc_dsql_fetch")) return sv[1];
  auto real = REAL(isc_dsql_fetch);
  return real ? real(sv, st, dialect, out) : Unavailable(sv);
}

FAULT_API ISC_STATUS ISC_EXPORT isc_dsql_free_statement(ISC_STATUS* sv, isc_stmt_handle* st, unsigned short option) {
  if (Fails(sv, "isc_dsql_free_statement")) return sv[1];
  auto real = REAL(isc_dsql_free_statement);
  return real ? real(sv, st, option) : Unavailable(sv);
}

FAULT_API ISC_STATUS ISC_EXPORT isc_dsql_execute_immediate(ISC_STATUS* sv, isc_db_handle* db, isc_tr_handle* tr,
                                                           unsigned short len, const ISC_SCHAR* sql,
                                                           unsigned short dialect, const XSQLDA* in) {
  if (Fails(sv, "isc_dsql_execute_immediate")) return sv[1];
  auto real = REAL(isc_dsql_execute_immediate);
  return real ? real(sv, db, tr, len, sql, dialect, in) : Unavailable(sv);
}

FAULT_API ISC_STATUS ISC_EXPORT isc_service_attach(ISC_STATUS* sv, unsigned short nameLen, const ISC_SCHAR* name,
                                                   isc_svc_handle* svc, unsigned short spbLen, const ISC_SCHAR* spb) {
  if (Fails(sv, "isc_service_attach")) return sv[1];
  auto real = REAL(isc_service_attach);
  if (!real) return Unavailable(sv);
  const ISC_STATUS r = real(sv, nameLen, name, svc, spbLen, spb);
  if (r == 0) services.insert(*svc);
  return r;
}

FAULT_API ISC_STATUS ISC_EXPORT isc_service_start(ISC_STATUS* sv, isc_svc_handle* svc, isc_resv_handle* reserved,
                                                  unsigned short len, const ISC_SCHAR* request) {
  if (Fails(sv, "isc_service_start")) return sv[1];
  auto real = REAL(isc_service_start);
  return real ? real(sv, svc, reserved, len, request) : Unavailable(sv);
}

FAULT_API ISC_STATUS ISC_EXPORT isc_service_detach(ISC_STATUS* sv, isc_svc_handle* svc) {
  if (Fails(sv, "isc_service_detach")) return sv[1];
  auto real = REAL(isc_service_detach);
  if (!real) return Unavailable(sv);
  const isc_svc_handle h = *svc;
  const ISC_STATUS r = real(sv, svc);
  if (r == 0) services.erase(h);
  return r;
}

// The readers of a status vector pass through uncounted; a vector this
// library made is read by the real client like any other.
FAULT_API ISC_LONG ISC_EXPORT isc_sqlcode(const ISC_STATUS* sv) {
  auto real = REAL(isc_sqlcode);
  return real ? real(sv) : -902;
}

FAULT_API ISC_LONG ISC_EXPORT fb_interpret(ISC_SCHAR* buf, unsigned int size, const ISC_STATUS** sv) {
  auto real = REAL(fb_interpret);
  return real ? real(buf, size, sv) : 0;
}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
FAULT_API ISC_LONG ISC_EXPORT isc_interprete(ISC_SCHAR* buf, ISC_STATUS** sv) {
  auto real = REAL(isc_interprete);
  return real ? real(buf, sv) : 0;
}
#pragma GCC diagnostic pop

FAULT_API void ISC_EXPORT fb_sqlstate(char* state, const ISC_STATUS* sv) {
  if (auto real = REAL(fb_sqlstate)) real(state, sv);
  else state[0] = '\0';
}

} // extern "C"
