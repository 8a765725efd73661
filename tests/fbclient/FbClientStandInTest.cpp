// FbClientStandInTest - the stand-in Firebird client library of a build without the maker's
// fbclient.dll, loaded by name from the test's folder as the updater loads it
// from its own: every entry is there under the client's undecorated name,
// every call fails with the status vector that says the build carries no
// client, and the updater's and the script engine's loaders turn that vector
// into the message an administrator reads in the log.
#include <gtest/gtest.h>

#include "FbClient.h"
#include "os/OsLayer.h"
#include "os/WindowsSupport.h"
#include "uDBConnection.h"

#include <ibase.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

const char Library[] = "fbclient.dll";
const char NoClient[] =
    "This build of the updater carries no Firebird client library (its fbclient.dll is a stand-in): "
    "install the Firebird 2.x client or use an updater built with the maker's fbclient.dll";

class StandIn : public ::testing::Test {
protected:
  void SetUp() override {
    module_ = LoadLibraryW(L"fbclient.dll");
    ASSERT_NE(module_, nullptr) << "error " << GetLastError();
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }
  // An entry by its exported name, as type F.
  template <class F> F Entry(const char* Name) {
    F f = reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module_, Name)));
    EXPECT_NE(f, nullptr) << Name;
    return f;
  }
  HMODULE module_ = nullptr;
};

// The vector every failing call leaves: isc_random with the message as its
// one argument.
void ExpectNoClientVector(const ISC_STATUS* sv, const std::string& Call) {
  EXPECT_EQ(sv[0], isc_arg_gds) << Call;
  EXPECT_EQ(sv[1], isc_random) << Call;
  EXPECT_EQ(sv[2], isc_arg_string) << Call;
  ASSERT_NE(sv[3], 0) << Call;
  EXPECT_STREQ(reinterpret_cast<const char*>(sv[3]), NoClient) << Call;
  EXPECT_EQ(sv[4], isc_arg_end) << Call;
}

TEST_F(StandIn, ExportsTheClientEntriesByTheirUndecoratedNames) {
  for (const char* name :
       {"isc_attach_database", "isc_create_database", "isc_detach_database", "isc_drop_database",
        "isc_database_info", "isc_start_transaction", "isc_start_multiple", "isc_commit_transaction",
        "isc_commit_retaining", "isc_rollback_transaction", "isc_rollback_retaining", "isc_prepare_transaction",
        "isc_transaction_info", "isc_dsql_allocate_statement", "isc_dsql_alloc_statement2", "isc_dsql_prepare",
        "isc_dsql_sql_info", "isc_dsql_describe", "isc_dsql_describe_bind", "isc_dsql_execute",
        "isc_dsql_execute2", "isc_dsql_fetch", "isc_dsql_free_statement", "isc_dsql_execute_immediate",
        "isc_dsql_exec_immed2", "isc_dsql_set_cursor_name", "isc_service_attach", "isc_service_detach",
        "isc_service_start", "isc_service_query", "fb_interpret", "isc_interprete", "isc_sqlcode", "fb_sqlstate",
        "isc_sql_interprete", "isc_vax_integer", "isc_portable_integer"})
    EXPECT_NE(GetProcAddress(module_, name), nullptr) << name;
  // A decorated name would mean the wrong export names on 32-bit Windows.
  EXPECT_EQ(GetProcAddress(module_, "isc_attach_database@24"), nullptr);
  EXPECT_EQ(GetProcAddress(module_, "_isc_attach_database@24"), nullptr);
}

TEST_F(StandIn, AttachFailsWithTheNoClientMessageAndLeavesTheHandle) {
  auto attach = Entry<decltype(&::isc_attach_database)>("isc_attach_database");
  auto interpret = Entry<decltype(&::fb_interpret)>("fb_interpret");
  auto interprete = Entry<ISC_LONG(ISC_EXPORT*)(ISC_SCHAR*, ISC_STATUS**)>("isc_interprete");
  auto sqlcode = Entry<decltype(&::isc_sqlcode)>("isc_sqlcode");
  auto sqlstate = Entry<decltype(&::fb_sqlstate)>("fb_sqlstate");
  ASSERT_TRUE(attach && interpret && interprete && sqlcode && sqlstate);

  ISC_STATUS_ARRAY sv = {};
  isc_db_handle db = 0;
  const char name[] = "localhost/3051:C:\\Data\\Tamber.fdb";
  EXPECT_EQ(attach(sv, sizeof name - 1, name, &db, 0, nullptr), isc_random);
  EXPECT_EQ(db, isc_db_handle{});
  ExpectNoClientVector(sv, "isc_attach_database");

  // fb_interpret gives the message once, then reports the end of the vector.
  char buf[512];
  const ISC_STATUS* p = sv;
  EXPECT_EQ(interpret(buf, sizeof buf, &p), static_cast<ISC_LONG>(std::strlen(NoClient)));
  EXPECT_STREQ(buf, NoClient);
  EXPECT_EQ(interpret(buf, sizeof buf, &p), 0);
  // A small buffer gets the start of the message, terminated.
  p = sv;
  char small[16];
  EXPECT_EQ(interpret(small, sizeof small, &p), 15);
  EXPECT_EQ(std::string(small), std::string(NoClient, 15));
  // The old entry reads the same vector the same way.
  ISC_STATUS* q = sv;
  EXPECT_GT(interprete(buf, &q), 0);
  EXPECT_STREQ(buf, NoClient);
  EXPECT_EQ(interprete(buf, &q), 0);

  EXPECT_EQ(sqlcode(sv), -904);
  char state[FB_SQLSTATE_SIZE] = {};
  sqlstate(state, sv);
  EXPECT_STREQ(state, "08001");
  // A success vector reads as success.
  ISC_STATUS ok[3] = {isc_arg_gds, 0, isc_arg_end};
  EXPECT_EQ(sqlcode(ok), 0);
  sqlstate(state, ok);
  EXPECT_STREQ(state, "00000");
  p = ok;
  EXPECT_EQ(interpret(buf, sizeof buf, &p), 0);
}

// Every entry that reports through a status vector fails, whatever it is
// given, and leaves the same vector.
TEST_F(StandIn, EveryCallWithAStatusVectorFailsTheSameWay) {
  isc_db_handle db = 0;
  isc_tr_handle tr = 0;
  isc_stmt_handle st = 0;
  isc_svc_handle svc = 0;
  char out[64];
  const std::vector<std::pair<const char*, std::function<ISC_STATUS(ISC_STATUS*)>>> calls = {
      {"isc_create_database",
       [&](ISC_STATUS* sv) { return Entry<decltype(&::isc_create_database)>("isc_create_database")(sv, 1, "x", &db, 0, nullptr, 3); }},
      {"isc_detach_database", [&](ISC_STATUS* sv) { return Entry<decltype(&::isc_detach_database)>("isc_detach_database")(sv, &db); }},
      {"isc_drop_database", [&](ISC_STATUS* sv) { return Entry<decltype(&::isc_drop_database)>("isc_drop_database")(sv, &db); }},
      {"isc_database_info",
       [&](ISC_STATUS* sv) { return Entry<decltype(&::isc_database_info)>("isc_database_info")(sv, &db, 0, nullptr, sizeof out, out); }},
      {"isc_start_transaction",
       [&](ISC_STATUS* sv) { return Entry<decltype(&::isc_start_transaction)>("isc_start_transaction")(sv, &tr, 1, &db, 0, nullptr); }},
      {"isc_start_multiple", [&](ISC_STATUS* sv) { return Entry<decltype(&::isc_start_multiple)>("isc_start_multiple")(sv, &tr, 0, nullptr); }},
      {"isc_commit_transaction", [&](ISC_STATUS* sv) { return Entry<decltype(&::isc_commit_transaction)>("isc_commit_transaction")(sv, &tr); }},
      {"isc_commit_retaining", [&](ISC_STATUS* sv) { return Entry<decltype(&::isc_commit_retaining)>("isc_commit_retaining")(sv, &tr); }},
      {"isc_rollback_transaction", [&](ISC_STATUS* sv) { return Entry<decltype(&::isc_rollback_transaction)>("isc_rollback_transaction")(sv, &tr); }},
      {"isc_rollback_retaining", [&](ISC_STATUS* sv) { return Entry<decltype(&::isc_rollback_retaining)>("isc_rollback_retaining")(sv, &tr); }},
      {"isc_prepare_transaction", [&](ISC_STATUS* sv) { return Entry<decltype(&::isc_prepare_transaction)>("isc_prepare_transaction")(sv, &tr); }},
      {"isc_transaction_info",
       [&](ISC_STATUS* sv) { return Entry<decltype(&::isc_transaction_info)>("isc_transaction_info")(sv, &tr, 0, nullptr, sizeof out, out); }},
      {"isc_dsql_allocate_statement",
       [&](ISC_STATUS* sv) { return Entry<decltype(&::isc_dsql_allocate_statement)>("isc_dsql_allocate_statement")(sv, &db, &st); }},
      {"isc_dsql_alloc_statement2",
       [&](ISC_STATUS* sv) { return Entry<decltype(&::isc_dsql_alloc_statement2)>("isc_dsql_alloc_statement2")(sv, &db, &st); }},
      {"isc_dsql_prepare",
       [&](ISC_STATUS* sv) { return Entry<decltype(&::isc_dsql_prepare)>("isc_dsql_prepare")(sv, &tr, &st, 0, "SELECT 1 FROM RDB$DATABASE", 3, nullptr); }},
      {"isc_dsql_sql_info",
       [&](ISC_STATUS* sv) { return Entry<decltype(&::isc_dsql_sql_info)>("isc_dsql_sql_info")(sv, &st, 0, nullptr, sizeof out, out); }},
      {"isc_dsql_describe", [&](ISC_STATUS* sv) { return Entry<decltype(&::isc_dsql_describe)>("isc_dsql_describe")(sv, &st, 1, nullptr); }},
      {"isc_dsql_describe_bind",
       [&](ISC_STATUS* sv) { return Entry<decltype(&::isc_dsql_describe_bind)>("isc_dsql_describe_bind")(sv, &st, 1, nullptr); }},
      {"isc_dsql_execute", [&](ISC_STATUS* sv) { return Entry<decltype(&::isc_dsql_execute)>("isc_dsql_execute")(sv, &tr, &st, 1, nullptr); }},
      {"isc_dsql_execute2",
       [&](ISC_STATUS* sv) { return Entry<decltype(&::isc_dsql_execute2)>("isc_dsql_execute2")(sv, &tr, &st, 1, nullptr, nullptr); }},
      {"isc_dsql_fetch", [&](ISC_STATUS* sv) { return Entry<decltype(&::isc_dsql_fetch)>("isc_dsql_fetch")(sv, &st, 1, nullptr); }},
      {"isc_dsql_free_statement",
       [&](ISC_STATUS* sv) { return Entry<decltype(&::isc_dsql_free_statement)>("isc_dsql_free_statement")(sv, &st, DSQL_drop); }},
      {"isc_dsql_execute_immediate",
       [&](ISC_STATUS* sv) { return Entry<decltype(&::isc_dsql_execute_immediate)>("isc_dsql_execute_immediate")(sv, &db, &tr, 0, "COMMIT", 3, nullptr); }},
      {"isc_dsql_exec_immed2",
       [&](ISC_STATUS* sv) { return Entry<decltype(&::isc_dsql_exec_immed2)>("isc_dsql_exec_immed2")(sv, &db, &tr, 0, "COMMIT", 3, nullptr, nullptr); }},
      {"isc_dsql_set_cursor_name",
       [&](ISC_STATUS* sv) { return Entry<decltype(&::isc_dsql_set_cursor_name)>("isc_dsql_set_cursor_name")(sv, &st, "C", 0); }},
      {"isc_service_attach",
       [&](ISC_STATUS* sv) { return Entry<decltype(&::isc_service_attach)>("isc_service_attach")(sv, 11, "service_mgr", &svc, 0, nullptr); }},
      {"isc_service_detach", [&](ISC_STATUS* sv) { return Entry<decltype(&::isc_service_detach)>("isc_service_detach")(sv, &svc); }},
      {"isc_service_start",
       [&](ISC_STATUS* sv) { return Entry<decltype(&::isc_service_start)>("isc_service_start")(sv, &svc, nullptr, 0, nullptr); }},
      {"isc_service_query",
       [&](ISC_STATUS* sv) {
         return Entry<decltype(&::isc_service_query)>("isc_service_query")(sv, &svc, nullptr, 0, nullptr, 0, nullptr, sizeof out, out);
       }},
  };
  for (const auto& [name, call] : calls) {
    ISC_STATUS_ARRAY sv = {};
    EXPECT_NE(call(sv), 0) << name;
    ExpectNoClientVector(sv, name);
  }
  // No handle was made or changed on the way.
  EXPECT_EQ(db, isc_db_handle{});
  EXPECT_EQ(tr, isc_tr_handle{});
  EXPECT_EQ(st, isc_stmt_handle{});
  EXPECT_EQ(svc, isc_svc_handle{});
}

// The information-buffer integers need no server and are read as the
// client reads them: little-endian, signed by the width given.
TEST_F(StandIn, ReadsLittleEndianIntegersOfInformationBuffers) {
  auto vax = Entry<decltype(&::isc_vax_integer)>("isc_vax_integer");
  auto portable = Entry<decltype(&::isc_portable_integer)>("isc_portable_integer");
  ASSERT_TRUE(vax && portable);
  struct Case {
    std::vector<unsigned char> bytes;
    ISC_INT64 value;
  };
  const Case cases[] = {
      {{0x2A}, 42},       {{0xFF}, -1},       {{0x01, 0x02}, 0x0201},         {{0x10, 0x27, 0, 0}, 10000},
      {{0xFE, 0xFF, 0xFF, 0xFF}, -2},         {{0x00, 0x80}, -32768},
  };
  for (const Case& c : cases) {
    const short n = static_cast<short>(c.bytes.size());
    EXPECT_EQ(vax(reinterpret_cast<const ISC_SCHAR*>(c.bytes.data()), n), c.value) << n << " bytes";
    EXPECT_EQ(portable(c.bytes.data(), n), c.value) << n << " bytes";
  }
  const unsigned char eight[] = {0, 0, 0, 0, 1, 0, 0, 0};
  EXPECT_EQ(portable(eight, 8), ISC_INT64{1} << 32);
  EXPECT_EQ(vax(reinterpret_cast<const ISC_SCHAR*>(eight), 8), 0); // wider than the entry reads
}

// The updater's own loader accepts the stand-in and reports its message as
// the server's message of a failed attachment or service call.
TEST(StandInLoaders, UpdaterLoaderReportsTheNoClientMessage) {
  TFbClientLibrary client(Library);
  TFbClientLibrary::Handle db = 0, svc = 0;
  try {
    client.AttachDatabase("localhost/3051:C:\\Data\\Tamber.fdb", std::string(1, isc_dpb_version1), db);
    FAIL() << "the attachment did not fail";
  } catch (const EFBError& e) {
    EXPECT_EQ(std::string(e.what()), NoClient);
    EXPECT_EQ(e.SqlCode, -904);
    EXPECT_EQ(e.ErrorCode, isc_random);
  }
  try {
    client.ServiceAttach("localhost/3051:service_mgr", std::string(1, isc_spb_version1), svc);
    FAIL() << "the service attachment did not fail";
  } catch (const EFBError& e) {
    EXPECT_EQ(std::string(e.what()), NoClient);
  }
  EXPECT_EQ(db, 0u);
  EXPECT_EQ(svc, 0u);
}

// The one client binding (as the script engine binds it) finds every entry
// it needs and reads the stand-in's SQLSTATE and message from the vector.
TEST(StandInLoaders, TheClientBindingAcceptsItAndReadsTheFailure) {
  const os::Library lib = os::Sys().LoadSharedLibrary(Library);
  ASSERT_TRUE(lib) << lib.Why().Failure().Text;
  fbclient::Entries client;
  const char* missing = client.Bind([&](const char* entry) { return os::Sys().Symbol(lib, entry); });
  EXPECT_EQ(missing, nullptr) << missing;
  ASSERT_NE(client.fb_sqlstate, nullptr);
  ISC_STATUS_ARRAY sv = {};
  isc_db_handle db = 0;
  EXPECT_NE(client.isc_attach_database(sv, 1, "x", &db, 0, nullptr), 0);
  EXPECT_EQ(fbclient::SqlState(client, sv), "08001");
  EXPECT_EQ(fbclient::StatusMessages(client, sv), std::vector<std::string>{NoClient});
}

} // namespace
