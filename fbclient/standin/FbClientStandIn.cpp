// FbClientStandIn - a stand-in for the Firebird client library, embedded by a build that was
// not given the maker's fbclient.dll. It exports the client entries the
// updater and the script engine load, with the client's own signatures and
// calling convention, so that loading it succeeds; every call that reports
// through a status vector then fails with one message saying that this build
// carries no Firebird client library. The updater logs that message instead
// of a missing-entry or crash report, and the administrator learns what to do.
//
// Handles passed in are never changed: no attachment, transaction, statement
// or service exists behind this library.
#include <ibase.h>

#include <cstdio>
#include <cstring>

namespace {

// The message every failing call reports.
constexpr char kNoClient[] =
    "This build of the updater carries no Firebird client library (its fbclient.dll is a stand-in): "
    "install the Firebird 2.x client or use an updater built with the maker's fbclient.dll";

// What a vector of this library reads as: the client could not establish a
// connection (SQLCODE -904 "unavailable resource", SQLSTATE 08001).
constexpr ISC_LONG kSqlCode = -904;
constexpr char kSqlState[] = "08001";

// Fills the caller's status vector: one error, isc_random ("@1"), whose only
// argument is the message; returns the error code as the client does.
ISC_STATUS Fail(ISC_STATUS* Status) {
  if (Status) {
    Status[0] = isc_arg_gds;
    Status[1] = isc_random;
    Status[2] = isc_arg_string;
    Status[3] = reinterpret_cast<ISC_STATUS>(kNoClient);
    Status[4] = isc_arg_end;
  }
  return isc_random;
}

bool HasError(const ISC_STATUS* Status) { return Status && Status[0] == isc_arg_gds && Status[1] != 0; }

// Reads the next message of a status vector and moves *Vector past it;
// returns nullptr at its end. A message given as text (isc_random with a
// string, or an interpreted entry) is that text; for any other error code
// the library has no message file and names the code instead.
const char* NextMessage(const ISC_STATUS** Vector, char* Scratch, std::size_t ScratchSize) {
  const ISC_STATUS* p = *Vector;
  while (p) {
    switch (p[0]) {
    case isc_arg_end:
      return nullptr;
    case isc_arg_sql_state: // not a message of its own
      p += 2;
      continue;
    case isc_arg_interpreted:
      *Vector = p + 2;
      return reinterpret_cast<const char*>(p[1]);
    case isc_arg_gds:
    case isc_arg_warning: {
      const ISC_STATUS code = p[1];
      p += 2;
      const char* text = nullptr;
      // The arguments of this code, up to the next code or the end.
      while (p[0] == isc_arg_string || p[0] == isc_arg_number || p[0] == isc_arg_cstring) {
        if (p[0] == isc_arg_cstring) {
          p += 3;
          continue;
        }
        if (p[0] == isc_arg_string && !text) text = reinterpret_cast<const char*>(p[1]);
        p += 2;
      }
      *Vector = p;
      if (code == 0) return nullptr; // success vector: no messages
      if (code == isc_random && text) return text;
      std::snprintf(Scratch, ScratchSize, "Firebird error %ld (no message text: %s)", static_cast<long>(code),
                    "this build carries no Firebird client library");
      return Scratch;
    }
    default: // an entry this library does not know: stop rather than guess
      return nullptr;
    }
  }
  return nullptr;
}

ISC_LONG CopyOut(const char* Text, char* Buffer, std::size_t Size) {
  if (!Buffer || Size == 0) return 0;
  std::size_t n = std::strlen(Text);
  if (n >= Size) n = Size - 1;
  std::memcpy(Buffer, Text, n);
  Buffer[n] = '\0';
  return static_cast<ISC_LONG>(n);
}

} // namespace

extern "C" {

// --- attachments and databases ---
ISC_STATUS ISC_EXPORT isc_attach_database(ISC_STATUS* sv, short, const ISC_SCHAR*, isc_db_handle*, short,
                                          const ISC_SCHAR*) {
  return Fail(sv);
}
ISC_STATUS ISC_EXPORT isc_create_database(ISC_STATUS* sv, short, const ISC_SCHAR*, isc_db_handle*, short,
                                          const ISC_SCHAR*, short) {
  return Fail(sv);
}
ISC_STATUS ISC_EXPORT isc_detach_database(ISC_STATUS* sv, isc_db_handle*) { return Fail(sv); }
ISC_STATUS ISC_EXPORT isc_drop_database(ISC_STATUS* sv, isc_db_handle*) { return Fail(sv); }
ISC_STATUS ISC_EXPORT isc_database_info(ISC_STATUS* sv, isc_db_handle*, short, const ISC_SCHAR*, short, ISC_SCHAR*) {
  return Fail(sv);
}

// --- transactions ---
ISC_STATUS ISC_EXPORT_VARARG isc_start_transaction(ISC_STATUS* sv, isc_tr_handle*, short, ...) { return Fail(sv); }
ISC_STATUS ISC_EXPORT isc_start_multiple(ISC_STATUS* sv, isc_tr_handle*, short, void*) { return Fail(sv); }
ISC_STATUS ISC_EXPORT isc_commit_transaction(ISC_STATUS* sv, isc_tr_handle*) { return Fail(sv); }
ISC_STATUS ISC_EXPORT isc_commit_retaining(ISC_STATUS* sv, isc_tr_handle*) { return Fail(sv); }
ISC_STATUS ISC_EXPORT isc_rollback_transaction(ISC_STATUS* sv, isc_tr_handle*) { return Fail(sv); }
ISC_STATUS ISC_EXPORT isc_rollback_retaining(ISC_STATUS* sv, isc_tr_handle*) { return Fail(sv); }
ISC_STATUS ISC_EXPORT isc_prepare_transaction(ISC_STATUS* sv, isc_tr_handle*) { return Fail(sv); }
ISC_STATUS ISC_EXPORT isc_transaction_info(ISC_STATUS* sv, isc_tr_handle*, short, const ISC_SCHAR*, short,
                                           ISC_SCHAR*) {
  return Fail(sv);
}

// --- dynamic SQL ---
ISC_STATUS ISC_EXPORT isc_dsql_allocate_statement(ISC_STATUS* sv, isc_db_handle*, isc_stmt_handle*) {
  return Fail(sv);
}
ISC_STATUS ISC_EXPORT isc_dsql_alloc_statement2(ISC_STATUS* sv, isc_db_handle*, isc_stmt_handle*) {
  return Fail(sv);
}
ISC_STATUS ISC_EXPORT isc_dsql_prepare(ISC_STATUS* sv, isc_tr_handle*, isc_stmt_handle*, unsigned short,
                                       const ISC_SCHAR*, unsigned short, XSQLDA*) {
  return Fail(sv);
}
ISC_STATUS ISC_EXPORT isc_dsql_sql_info(ISC_STATUS* sv, isc_stmt_handle*, short, const ISC_SCHAR*, short,
                                        ISC_SCHAR*) {
  return Fail(sv);
}
ISC_STATUS ISC_EXPORT isc_dsql_describe(ISC_STATUS* sv, isc_stmt_handle*, unsigned short, XSQLDA*) {
  return Fail(sv);
}
ISC_STATUS ISC_EXPORT isc_dsql_describe_bind(ISC_STATUS* sv, isc_stmt_handle*, unsigned short, XSQLDA*) {
  return Fail(sv);
}
ISC_STATUS ISC_EXPORT isc_dsql_execute(ISC_STATUS* sv, isc_tr_handle*, isc_stmt_handle*, unsigned short,
                                       const XSQLDA*) {
  return Fail(sv);
}
ISC_STATUS ISC_EXPORT isc_dsql_execute2(ISC_STATUS* sv, isc_tr_handle*, isc_stmt_handle*, unsigned short,
                                        const XSQLDA*, const XSQLDA*) {
  return Fail(sv);
}
ISC_STATUS ISC_EXPORT isc_dsql_fetch(ISC_STATUS* sv, isc_stmt_handle*, unsigned short, const XSQLDA*) {
  return Fail(sv);
}
ISC_STATUS ISC_EXPORT isc_dsql_free_statement(ISC_STATUS* sv, isc_stmt_handle*, unsigned short) { return Fail(sv); }
ISC_STATUS ISC_EXPORT isc_dsql_execute_immediate(ISC_STATUS* sv, isc_db_handle*, isc_tr_handle*, unsigned short,
                                                 const ISC_SCHAR*, unsigned short, const XSQLDA*) {
  return Fail(sv);
}
ISC_STATUS ISC_EXPORT isc_dsql_exec_immed2(ISC_STATUS* sv, isc_db_handle*, isc_tr_handle*, unsigned short,
                                           const ISC_SCHAR*, unsigned short, const XSQLDA*, const XSQLDA*) {
  return Fail(sv);
}
ISC_STATUS ISC_EXPORT isc_dsql_set_cursor_name(ISC_STATUS* sv, isc_stmt_handle*, const ISC_SCHAR*,
                                               unsigned short) {
  return Fail(sv);
}

// --- services ---
ISC_STATUS ISC_EXPORT isc_service_attach(ISC_STATUS* sv, unsigned short, const ISC_SCHAR*, isc_svc_handle*,
                                         unsigned short, const ISC_SCHAR*) {
  return Fail(sv);
}
ISC_STATUS ISC_EXPORT isc_service_detach(ISC_STATUS* sv, isc_svc_handle*) { return Fail(sv); }
ISC_STATUS ISC_EXPORT isc_service_start(ISC_STATUS* sv, isc_svc_handle*, isc_resv_handle*, unsigned short,
                                        const ISC_SCHAR*) {
  return Fail(sv);
}
ISC_STATUS ISC_EXPORT isc_service_query(ISC_STATUS* sv, isc_svc_handle*, isc_resv_handle*, unsigned short,
                                        const ISC_SCHAR*, unsigned short, const ISC_SCHAR*, unsigned short,
                                        ISC_SCHAR*) {
  return Fail(sv);
}

// --- status vectors ---
ISC_LONG ISC_EXPORT fb_interpret(ISC_SCHAR* Buffer, unsigned int Size, const ISC_STATUS** Vector) {
  if (!Vector) return 0;
  char scratch[128];
  const char* text = NextMessage(Vector, scratch, sizeof scratch);
  return text ? CopyOut(text, Buffer, Size) : 0;
}
// The old entry has no buffer size; callers give a buffer of at least 512
// bytes, as the client's documentation asks.
ISC_LONG ISC_EXPORT isc_interprete(ISC_SCHAR* Buffer, ISC_STATUS** Vector) {
  return fb_interpret(Buffer, 512, const_cast<const ISC_STATUS**>(Vector));
}
ISC_LONG ISC_EXPORT isc_sqlcode(const ISC_STATUS* sv) { return HasError(sv) ? kSqlCode : 0; }
void ISC_EXPORT fb_sqlstate(char* State, const ISC_STATUS* sv) {
  if (State) std::memcpy(State, HasError(sv) ? kSqlState : "00000", FB_SQLSTATE_SIZE);
}
void ISC_EXPORT isc_sql_interprete(short, ISC_SCHAR* Buffer, short Size) {
  if (Size > 0) CopyOut(kNoClient, Buffer, static_cast<std::size_t>(Size));
}

// --- helpers that need no server: done as the client does them ---
// Little-endian integers of 1 to 4 bytes (8 for the portable form) in the
// client's information buffers.
ISC_LONG ISC_EXPORT isc_vax_integer(const ISC_SCHAR* Bytes, short Length) {
  if (!Bytes || Length <= 0 || Length > 4) return 0;
  ISC_ULONG value = 0;
  for (short i = 0; i < Length; ++i) value |= static_cast<ISC_ULONG>(static_cast<unsigned char>(Bytes[i])) << (8 * i);
  if (Length < 4 && (value & (1u << (8 * Length - 1)))) value |= ~0u << (8 * Length); // sign
  return static_cast<ISC_LONG>(value);
}
ISC_INT64 ISC_EXPORT isc_portable_integer(const ISC_UCHAR* Bytes, short Length) {
  if (!Bytes || Length <= 0 || Length > 8) return 0;
  ISC_UINT64 value = 0;
  for (short i = 0; i < Length; ++i) value |= static_cast<ISC_UINT64>(Bytes[i]) << (8 * i);
  if (Length < 8 && (value & (ISC_UINT64(1) << (8 * Length - 1)))) value |= ~ISC_UINT64(0) << (8 * Length);
  return static_cast<ISC_INT64>(value);
}

} // extern "C"
