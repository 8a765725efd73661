// ScriptEngine - one attachment and the run of a script (see ScriptEngine.h).
#include "ScriptEngine.h"

#include "ScriptSplitter.h"
#include "os/StringExtras.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <utility>
#include <vector>

namespace sqlscript {
namespace {

const char* const kItemNames[] = {"db_name",       "user_name",   "password", "lc_ctype",
                                  "sql_role_name", "sql_dialect", "clientlib"};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The length of the item name and "=" at Text[p], 0 when none starts there.
std::size_t ItemAt(std::string_view Text, std::size_t p, std::string* Name) {
  for (const char* name : kItemNames) {
    std::size_t n = std::strlen(name);
    if (Text.size() - p < n + 1) continue;
    bool same = true;
    for (std::size_t i = 0; i < n && same; ++i) same = os::LowerAscii(Text[p + i]) == name[i];
    if (same && Text[p + n] == '=') {
      if (Name) *Name = name;
      return n + 1;
    }
  }
  return 0;
}

// The value of a quoted item: the text between the quotes with doubled
// quotes made single; false when it is not quoted as a whole.
bool Unquote(std::string_view v, std::string& Out) {
  while (!v.empty() && IsBlank(v.back())) v.remove_suffix(1);
  while (!v.empty() && IsBlank(v.front())) v.remove_prefix(1);
  if (v.size() < 2 || v.front() != '"' || v.back() != '"') return false;
  Out.clear();
  for (std::size_t i = 1; i + 1 < v.size(); ++i) {
    if (v[i] == '"') {
      if (i + 2 < v.size() && v[i + 1] == '"') ++i;
      else return false;
    }
    Out += v[i];
  }
  return true;
}

// The interpreted messages of a status vector, one per line, all but the
// first with "-" in front, lines separated by CR LF.
std::string JoinedMessages(const fbclient::Entries& Fb, const ISC_STATUS* Status) {
  std::string out;
  for (const std::string& m : fbclient::StatusMessages(Fb, Status)) {
    if (!out.empty()) out += "\r\n-";
    out += m;
  }
  return out;
}

// An output descriptor with room for every column of a prepared statement.
class OutputRow {
public:
  XSQLDA* Da() { return reinterpret_cast<XSQLDA*>(da_.data()); }

  // Describes the statement's columns and gives each a buffer.
  bool Describe(const fbclient::Entries& Fb, ISC_STATUS* Status, isc_stmt_handle* St) {
    Resize(1);
    if (Fb.isc_dsql_describe(Status, St, SQLDA_VERSION1, Da())) return false;
    if (Da()->sqld > Da()->sqln) {
      Resize(Da()->sqld);
      if (Fb.isc_dsql_describe(Status, St, SQLDA_VERSION1, Da())) return false;
    }
    const int n = Da()->sqld;
    std::size_t total = 0;
    for (int i = 0; i < n; ++i) total += Slot(Da()->sqlvar[i].sqllen);
    data_.assign(total, 0);
    nulls_.assign(static_cast<std::size_t>(n), 0);
    std::size_t at = 0;
    for (int i = 0; i < n; ++i) {
      XSQLVAR& v = Da()->sqlvar[i];
      v.sqldata = data_.data() + at;
      v.sqlind = &nulls_[static_cast<std::size_t>(i)];
      v.sqltype = static_cast<short>(v.sqltype | 1); // every column may be NULL here
      at += Slot(v.sqllen);
    }
    return true;
  }
  int Columns() { return Da()->sqld; }

private:
  static std::size_t Slot(short len) { return (static_cast<std::size_t>(len < 0 ? 0 : len) + 2 + 7) & ~std::size_t{7}; }
  void Resize(int n) {
    da_.assign(XSQLDA_LENGTH(n) / sizeof(double) + 1, 0.0);
    Da()->version = SQLDA_VERSION1;
    Da()->sqln = static_cast<short>(n);
  }
  std::vector<double> da_; // double keeps the descriptor aligned
  std::vector<char> data_;
  std::vector<short> nulls_;
};

// Frees a statement handle when it goes.
class StatementHandle {
public:
  explicit StatementHandle(const fbclient::Entries& Fb) : fb_(Fb) {}
  ~StatementHandle() {
    if (h_) {
      ISC_STATUS_ARRAY sv;
      fb_.isc_dsql_free_statement(sv, &h_, DSQL_drop);
    }
  }
  isc_stmt_handle* Ptr() { return &h_; }

private:
  const fbclient::Entries& fb_;
  isc_stmt_handle h_ = 0;
};

int StatementType(const fbclient::Entries& Fb, ISC_STATUS* Status, isc_stmt_handle* St) {
  const char items[] = {isc_info_sql_stmt_type};
  char buf[16] = {};
  if (Fb.isc_dsql_sql_info(Status, St, sizeof items, items, sizeof buf, buf)) return -1;
  if (buf[0] != isc_info_sql_stmt_type) return 0;
  int len = static_cast<unsigned char>(buf[1]) | (static_cast<unsigned char>(buf[2]) << 8);
  if (len < 1 || len > 4) return 0;
  int value = 0;
  for (int i = 0; i < len; ++i) value |= static_cast<unsigned char>(buf[3 + i]) << (8 * i);
  return value;
}

// Client settings that only shape an interactive tool's output or its own
// state; they are accepted and skipped.
const char* const kClientSettings[] = {
    "names",   "sql",        "echo",         "list",          "count",   "stats",
    "plan",    "planonly",   "bail",         "warnings",      "wng",     "heading",
    "blobdisplay", "blob",   "rowcount",     "time",          "sqlda_display", "width",
    "explain", "per_table_stats", "keep_tran_params", "maxrows", "exec_path_display"};

bool IsWord(std::string_view Rest, std::initializer_list<std::string_view> Words) {
  for (std::string_view w : Words) {
    std::string_view tail;
    if (StartsWithWords(Rest, {w}, &tail) && tail.empty()) return true;
  }
  return false;
}

// COMMIT or ROLLBACK with WORK and RETAIN as the only further words.
bool IsTransactionEnd(std::string_view Text, std::string_view Verb, bool& Retain) {
  std::string_view rest;
  if (!StartsWithWords(Text, {Verb}, &rest)) return false;
  std::string_view afterWork;
  if (StartsWithWords(rest, {"work"}, &afterWork)) rest = afterWork;
  Retain = false;
  if (rest.empty()) return true;
  std::string_view tail;
  if (StartsWithWords(rest, {"retain"}, &tail) && (tail.empty() || IsWord(tail, {"snapshot"}))) {
    Retain = true;
    return true;
  }
  return false;
}

} // namespace

bool ParseConnectString(std::string_view Text, std::map<std::string, std::string>& Items,
                        std::string& Error) {
  Items.clear();
  std::size_t p = 0;
  while (p < Text.size() && IsBlank(Text[p])) ++p;
  while (p < Text.size()) {
    std::string name;
    std::size_t len = ItemAt(Text, p, &name);
    if (len == 0) {
      // Only the unknown name is quoted, never what follows it: a value
      // there may be a password.
      const std::string_view rest = Text.substr(p, 20);
      Error = "The connect string has an unknown item at \"" + std::string(rest.substr(0, rest.find_first_of("=;"))) + "\"";
      return false;
    }
    std::size_t v = p + len, end = Text.size(), next = Text.size();
    for (std::size_t i = v; i < Text.size(); ++i) {
      if (Text[i] != ';') continue;
      std::size_t j = i + 1;
      while (j < Text.size() && IsBlank(Text[j])) ++j;
      if (ItemAt(Text, j, nullptr)) { end = i; next = j; break; }
    }
    // An item given twice is refused: a value that held "; db_name=" would
    // otherwise name another database than the one given first.
    if (Items.count(name)) {
      Error = "The connect string gives " + name + " twice";
      return false;
    }
    std::string value(Text.substr(v, end - v));
    if (name == "clientlib") {
      std::string unq;
      if (Unquote(value, unq)) value = unq;
    }
    Items[name] = value;
    p = next;
  }
  for (const char* required : {"db_name", "user_name", "clientlib"}) {
    if (Items.count(required) == 0 || Items[required].empty()) {
      Error = std::string("The connect string gives no ") + required;
      return false;
    }
  }
  return true;
}

bool Session::Connect(std::string_view ConnectString, std::string& Error) {
  End();
  std::map<std::string, std::string> items;
  if (!ParseConnectString(ConnectString, items, Error)) return false;
  dialect_ = 3;
  if (items.count("sql_dialect") && !items["sql_dialect"].empty()) {
    const std::string& d = items["sql_dialect"];
    if (d != "1" && d != "2" && d != "3") {
      Error = "The connect string gives the SQL dialect \"" + d + "\"; 1 or 3 is expected";
      return false;
    }
    dialect_ = static_cast<unsigned short>(d[0] - '0');
  }
  // The texts the client reads as names and passwords, in the form it takes
  // them (the system's ANSI code page on Windows).
  std::string dbName, user, password, role;
  for (auto [item, out] : {std::pair<const char*, std::string*>{"db_name", &dbName}, {"user_name", &user},
                           {"password", &password}, {"sql_role_name", &role}}) {
    if (auto bad = fbclient::ToClientText(items[item], *out)) {
      const std::string codePage = "the system's ANSI code page (" + std::to_string(bad->CodePage) + ")";
      // A password's characters are not repeated in a message that may be logged.
      Error = std::string(item) == "password"
                  ? "The password holds a character that is not in " + codePage
                  : "The character " + fbclient::CodePointName(bad->CodePoint) + " of " + item + " is not in " + codePage;
      return false;
    }
  }
  fbclient::ParameterBlock dpb(std::string(1, static_cast<char>(isc_dpb_version1)));
  bool fits = dpb.AddString(isc_dpb_user_name, user) && dpb.AddString(isc_dpb_password, password) &&
              (items["lc_ctype"].empty() || dpb.AddString(isc_dpb_lc_ctype, items["lc_ctype"])) &&
              (role.empty() || dpb.AddString(isc_dpb_sql_role_name, role));
  if (!fits) {
    Error = "A value of the connect string is longer than 255 bytes";
    return false;
  }
  dpb.AddByte(isc_dpb_sql_dialect, static_cast<std::uint8_t>(dialect_));
  if (dbName.size() > 0x7FFF) {
    Error = "The database name is too long";
    return false;
  }

  if (!LoadClient(items["clientlib"], Error)) return false;
  ISC_STATUS_ARRAY sv;
  if (fb_.isc_attach_database(sv, static_cast<short>(dbName.size()), dbName.c_str(), &db_,
                              static_cast<short>(dpb.Bytes().size()), dpb.Bytes().data())) {
    // A failed attachment has no character set yet: the client gives its
    // messages in the system's code page, the form in which it took the
    // names. The reason is reported in UTF-8, as the engine's own texts are.
    Error = os::FromSystemCodePage(JoinedMessages(fb_, sv));
    db_ = 0;
    UnloadClient();
    return false;
  }
  autoDdl_ = true;
  return true;
}

bool Session::LoadClient(const std::string& Name, std::string& Error) {
  UnloadClient();
  clientLib_ = os::Sys().LoadSharedLibrary(Name);
  if (!clientLib_) {
    Error = "The client library \"" + Name + "\" cannot be loaded: " + os::Describe(clientLib_.Why().Failure());
    return false;
  }
  if (const char* missing = fb_.Bind([this](const char* entry) { return os::Sys().Symbol(clientLib_, entry); })) {
    Error = "The client library \"" + Name + "\" has no entry " + missing;
    UnloadClient();
    return false;
  }
  return true;
}

void Session::UnloadClient() noexcept {
  fb_.Clear();
  clientLib_.Reset();
}

std::string Session::ErrorText(const ISC_STATUS* Status) const {
  std::string first = "Statement failed";
  const std::string state = fbclient::SqlState(fb_, Status);
  if (!state.empty()) first += ", SQLSTATE = " + state;
  std::string msgs = JoinedMessages(fb_, Status);
  return msgs.empty() ? first : first + "\r\n" + msgs;
}

void Session::End() noexcept {
  ISC_STATUS_ARRAY sv;
  EndPrepare();
  if (tr_) {
    fb_.isc_rollback_transaction(sv, &tr_);
    tr_ = 0;
  }
  if (db_) {
    fb_.isc_detach_database(sv, &db_);
    db_ = 0;
  }
  UnloadClient();
}

bool Session::StartPrepare(ISC_STATUS* Status) {
  if (prep_) return true;
  static const char tpb[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_read_committed, isc_tpb_rec_version,
                             isc_tpb_nowait};
  return fb_.isc_start_transaction(Status, &prep_, 1, &db_, static_cast<unsigned short>(sizeof tpb), tpb) == 0;
}

void Session::EndPrepare() noexcept {
  if (!prep_) return;
  ISC_STATUS_ARRAY sv;
  if (fb_.isc_commit_transaction(sv, &prep_)) fb_.isc_rollback_transaction(sv, &prep_);
  prep_ = 0;
}

bool Session::StartMain(ISC_STATUS* Status) {
  if (tr_) return true;
  return fb_.isc_start_transaction(Status, &tr_, 1, &db_, 0, nullptr) == 0;
}

bool Session::CommitMain(ISC_STATUS* Status, bool Retain) {
  if (!tr_) return true;
  if (Retain) return fb_.isc_commit_retaining(Status, &tr_) == 0;
  if (fb_.isc_commit_transaction(Status, &tr_)) return false;
  tr_ = 0;
  return true;
}

bool Session::RollbackMain(ISC_STATUS* Status, bool Retain) {
  if (!tr_) return true;
  if (Retain) return fb_.isc_rollback_retaining(Status, &tr_) == 0;
  if (fb_.isc_rollback_transaction(Status, &tr_)) return false;
  tr_ = 0;
  return true;
}

bool Session::Execute(const std::string& Sql, ISC_STATUS* Status) {
  if (!StartMain(Status)) return false;
  StatementHandle st(fb_);
  if (fb_.isc_dsql_allocate_statement(Status, &db_, st.Ptr())) return false;
  // Names are resolved at prepare time, in a read-committed transaction, so
  // that objects which DDL of this script has committed are known although
  // the script's own transaction started before them.
  if (!StartPrepare(Status)) return false;
  if (fb_.isc_dsql_prepare(Status, &prep_, st.Ptr(), 0, Sql.c_str(), dialect_, nullptr)) return false;
  const int type = StatementType(fb_, Status, st.Ptr());
  if (type < 0) return false;

  switch (type) {
  case isc_info_sql_stmt_select:
  case isc_info_sql_stmt_select_for_upd: {
    OutputRow row;
    if (!row.Describe(fb_, Status, st.Ptr())) return false;
    if (fb_.isc_dsql_execute(Status, &tr_, st.Ptr(), SQLDA_VERSION1, nullptr)) return false;
    ISC_STATUS r;
    while ((r = fb_.isc_dsql_fetch(Status, st.Ptr(), SQLDA_VERSION1, row.Da())) == 0) {
    }
    return r == 100;
  }
  case isc_info_sql_stmt_exec_procedure: {
    OutputRow row;
    if (!row.Describe(fb_, Status, st.Ptr())) return false;
    return fb_.isc_dsql_execute2(Status, &tr_, st.Ptr(), SQLDA_VERSION1, nullptr,
                                 row.Columns() > 0 ? row.Da() : nullptr) == 0;
  }
  case isc_info_sql_stmt_ddl: {
    if (!autoDdl_) return fb_.isc_dsql_execute(Status, &tr_, st.Ptr(), SQLDA_VERSION1, nullptr) == 0;
    // DDL runs in a transaction of its own that is committed at once, so a
    // fault found at commit is reported against this statement.
    isc_tr_handle ddl = 0;
    if (fb_.isc_start_transaction(Status, &ddl, 1, &db_, 0, nullptr)) return false;
    if (fb_.isc_dsql_execute(Status, &ddl, st.Ptr(), SQLDA_VERSION1, nullptr) == 0 &&
        fb_.isc_commit_transaction(Status, &ddl) == 0)
      return true;
    ISC_STATUS_ARRAY ignored;
    fb_.isc_rollback_transaction(ignored, &ddl);
    return false;
  }
  case isc_info_sql_stmt_commit:
    return CommitMain(Status, false);
  case isc_info_sql_stmt_rollback:
    return RollbackMain(Status, false);
  default:
    return fb_.isc_dsql_execute(Status, &tr_, st.Ptr(), SQLDA_VERSION1, nullptr) == 0;
  }
}

int Session::Run(std::string_view Script, const Callbacks& Cb) {
  auto note = [&](int kind, const std::string& text) {
    if (Cb.OnMessage) Cb.OnMessage(kind, text.c_str());
  };
  auto fail = [&](const std::string& stmt, const std::string& error) {
    if (Cb.OnStatementError) Cb.OnStatementError(stmt.c_str(), error.c_str());
  };

  ScriptSplitter splitter(Script);
  Statement s;
  int number = 0, failures = 0;
  bool stopped = false, ended = false;
  while (!stopped && !ended && splitter.Next(s)) {
    ++number;
    ISC_STATUS_ARRAY sv = {};
    bool ok = true;
    std::string_view text = s.Text;
    std::string_view rest;
    bool retain = false;
    if (s.Type == Statement::Kind::SetTerm) {
      note(SQLSCRIPT_MSG_NOTE, "Terminator: " + s.NewTerm);
    } else if (IsTransactionEnd(text, "commit", retain)) {
      ok = CommitMain(sv, retain);
      if (ok) note(SQLSCRIPT_MSG_NOTE, "Transaction committed");
    } else if (IsTransactionEnd(text, "rollback", retain)) {
      ok = RollbackMain(sv, retain);
      if (ok) note(SQLSCRIPT_MSG_NOTE, "Transaction rolled back");
    } else if (IsWord(text, {"exit", "quit"})) {
      ok = (text[0] == 'e' || text[0] == 'E') ? CommitMain(sv, false) : RollbackMain(sv, false);
      ended = true;
    } else if (StartsWithWords(text, {"set", "autoddl"}, &rest) || StartsWithWords(text, {"set", "auto"}, &rest)) {
      autoDdl_ = IsWord(rest, {"on"}) ? true : IsWord(rest, {"off"}) ? false : !autoDdl_;
      note(SQLSCRIPT_MSG_NOTE, std::string("Automatic commit of DDL ") + (autoDdl_ ? "on" : "off"));
    } else if (StartsWithWords(text, {"set", "transaction"})) {
      ok = CommitMain(sv, false) &&
           fb_.isc_dsql_execute_immediate(sv, &db_, &tr_, 0, s.Text.c_str(), dialect_, nullptr) == 0;
    } else if (StartsWithWords(text, {"set"}, &rest) &&
               [&] {
                 for (const char* w : kClientSettings)
                   if (StartsWithWords(rest, {w})) return true;
                 return false;
               }()) {
      note(SQLSCRIPT_MSG_NOTE, "Client setting skipped: " + s.Text);
    } else {
      ok = Execute(s.Text, sv);
    }
    if (!ok) {
      ++failures;
      fail(s.Text, ErrorText(sv));
    }
    if (Cb.OnResult && Cb.OnResult(number, ok ? 1 : 0) != 0) stopped = true;
  }

  ISC_STATUS_ARRAY sv = {};
  if (stopped) {
    RollbackMain(sv, false);
  } else if (!CommitMain(sv, false)) {
    ++failures;
    fail("COMMIT", ErrorText(sv));
    ISC_STATUS_ARRAY ignored;
    RollbackMain(ignored, false);
  }
  EndPrepare();
  note(SQLSCRIPT_MSG_SUMMARY, std::to_string(number) + " statements, " + std::to_string(failures) + " failed" +
                                  (stopped ? " (stopped)" : ""));
  return failures;
}

} // namespace sqlscript
