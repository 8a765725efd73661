// uDBConnection - the Firebird client and TDBConnection (see uDBConnection.h).
#include "uDBConnection.h"

#include "os/OsLayer.h"

#include <ibase.h>

#include <cstring>
#include <type_traits>

namespace {

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

} // namespace

TDBLocation SplitDatabaseString(const std::string& Database) {
  TDBLocation l;
  const bool drive = Database.size() > 1 && Database[1] == ':' && Database.find(':', 2) == std::string::npos;
  const std::string::size_type colon = Database.find(':');
  if (drive || colon == std::string::npos) {
    l.Path = Database;
    return l;
  }
  l.Server = Database.substr(0, colon);
  l.Path = Database.substr(colon + 1);
  l.Tcp = true;
  return l;
}

std::string ServiceManagerName(const TDBLocation& Location) {
  return Location.Tcp ? Location.Server + ":service_mgr" : "service_mgr";
}

std::string JoinServerMessages(const std::vector<std::string>& Messages) {
  std::string text;
  for (const std::string& m : Messages) {
    if (!text.empty()) text += "\r\n";
    text += m;
  }
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

// --- TFbClientLibrary ---

struct TFbClientLibrary::Entries {
  decltype(&::isc_attach_database) attach = nullptr;
  decltype(&::isc_detach_database) detach = nullptr;
  decltype(&::isc_database_info) info = nullptr;
  decltype(&::isc_service_attach) svcAttach = nullptr;
  decltype(&::isc_service_start) svcStart = nullptr;
  decltype(&::isc_service_detach) svcDetach = nullptr;
  decltype(&::isc_sqlcode) sqlcode = nullptr;
  decltype(&::fb_interpret) interpret = nullptr;               // clients from 2.0 on
  ISC_LONG(ISC_EXPORT* interprete)(ISC_SCHAR*, ISC_STATUS**) = nullptr; // older ones
};

TFbClientLibrary::TFbClientLibrary(const std::string& Name) : e_(new Entries) {
  os::Api& sys = os::Sys();
  lib_ = sys.LoadSharedLibrary(Name);
  if (!lib_) {
    delete e_;
    throw EFBError("Невозможно загрузить клиентскую библиотеку " + Quoted(Name) + "!", 0, 0);
  }
  const char* missing = nullptr;
  auto bind = [&](auto& entry, const char* name, bool required) {
    entry = reinterpret_cast<std::remove_reference_t<decltype(entry)>>(sys.Symbol(lib_, name));
    if (!entry && required && !missing) missing = name;
  };
  bind(e_->attach, "isc_attach_database", true);
  bind(e_->detach, "isc_detach_database", true);
  bind(e_->info, "isc_database_info", true);
  bind(e_->svcAttach, "isc_service_attach", true);
  bind(e_->svcStart, "isc_service_start", true);
  bind(e_->svcDetach, "isc_service_detach", true);
  bind(e_->sqlcode, "isc_sqlcode", true);
  bind(e_->interpret, "fb_interpret", false);
  bind(e_->interprete, "isc_interprete", e_->interpret == nullptr);
  if (missing) {
    lib_.Reset();
    delete e_;
    throw EFBError("В клиентской библиотеке " + Quoted(Name) + " не найдена функция " + Quoted(missing) + "!", 0,
                   0);
  }
}

TFbClientLibrary::~TFbClientLibrary() {
  lib_.Reset();
  delete e_;
}

void TFbClientLibrary::Raise(const void* Status) const {
  const ISC_STATUS* sv = static_cast<const ISC_STATUS*>(Status);
  std::vector<std::string> messages;
  const ISC_STATUS* p = sv;
  char buf[1024];
  for (int i = 0; i < 32; ++i) { // a status vector holds far fewer messages
    buf[0] = '\0';
    ISC_LONG n = e_->interpret ? e_->interpret(buf, sizeof buf, &p)
                               : e_->interprete(buf, const_cast<ISC_STATUS**>(&p));
    if (n <= 0) break;
    buf[sizeof buf - 1] = '\0';
    messages.emplace_back(buf);
  }
  throw EFBError(JoinServerMessages(messages), e_->sqlcode(sv), sv[0] == isc_arg_gds ? sv[1] : 0);
}

namespace {
// The client's handles in and out of the pointer-sized holder.
template <class H> H ToHandle(TFbClientLibrary::Handle h) {
  if constexpr (std::is_pointer_v<H>) return reinterpret_cast<H>(h);
  else return static_cast<H>(h);
}
template <class H> TFbClientLibrary::Handle FromHandle(H h) {
  if constexpr (std::is_pointer_v<H>) return reinterpret_cast<TFbClientLibrary::Handle>(h);
  else return static_cast<TFbClientLibrary::Handle>(h);
}

void CheckLength(const std::string& s, std::size_t max) {
  if (s.size() > max) throw EFBError("Слишком длинный параметр подключения!", 0, 0);
}
} // namespace

void TFbClientLibrary::AttachDatabase(const std::string& Name, const std::string& Dpb, Handle& Db) {
  CheckLength(Name, 0x7FFF);
  CheckLength(Dpb, 0x7FFF);
  ISC_STATUS_ARRAY sv;
  isc_db_handle h = 0;
  if (e_->attach(sv, static_cast<short>(Name.size()), Name.c_str(), &h, static_cast<short>(Dpb.size()), Dpb.data()))
    Raise(sv);
  Db = FromHandle(h);
}

void TFbClientLibrary::DetachDatabase(Handle& Db) {
  if (!Db) return;
  ISC_STATUS_ARRAY sv;
  isc_db_handle h = ToHandle<isc_db_handle>(Db);
  e_->detach(sv, &h);
  Db = 0;
}

std::string TFbClientLibrary::DatabaseInfo(Handle& Db, const std::string& Items, std::size_t BufferSize) {
  CheckLength(Items, 0x7FFF);
  std::string out(BufferSize, '\0');
  ISC_STATUS_ARRAY sv;
  isc_db_handle h = ToHandle<isc_db_handle>(Db);
  if (e_->info(sv, &h, static_cast<short>(Items.size()), Items.data(), static_cast<short>(BufferSize), out.data()))
    Raise(sv);
  return out;
}

void TFbClientLibrary::ServiceAttach(const std::string& Name, const std::string& Spb, Handle& Svc) {
  CheckLength(Name, 0xFFFF);
  CheckLength(Spb, 0xFFFF);
  ISC_STATUS_ARRAY sv;
  isc_svc_handle h = 0;
  if (e_->svcAttach(sv, static_cast<unsigned short>(Name.size()), Name.c_str(), &h,
                    static_cast<unsigned short>(Spb.size()), Spb.data()))
    Raise(sv);
  Svc = FromHandle(h);
}

void TFbClientLibrary::ServiceStart(Handle& Svc, const std::string& Request) {
  CheckLength(Request, 0xFFFF);
  ISC_STATUS_ARRAY sv;
  isc_svc_handle h = ToHandle<isc_svc_handle>(Svc);
  if (e_->svcStart(sv, &h, nullptr, static_cast<unsigned short>(Request.size()), Request.data())) Raise(sv);
}

void TFbClientLibrary::ServiceDetach(Handle& Svc) {
  if (!Svc) return;
  ISC_STATUS_ARRAY sv;
  isc_svc_handle h = ToHandle<isc_svc_handle>(Svc);
  e_->svcDetach(sv, &h);
  Svc = 0;
}

// --- TDBConnection ---

TDBConnection::TDBConnection(const std::string& Database, const std::string& UserName,
                             const std::string& Password, const std::string& Role) {
  connection_.DatabaseName = Database;
  connection_.UserName = UserName;
  connection_.Password = Password;
  connection_.RoleName = Role;
  connection_.TcpIp = SplitDatabaseString(Database).Tcp;
}

TDBConnection::~TDBConnection() {
  Disconnect();
  // The query and the transaction hold nothing of the server; the
  // connection's client library goes last.
  delete client_;
}

namespace {
void AddDpb(std::string& dpb, char tag, const std::string& value) {
  if (value.size() > 255) throw EFBError("Слишком длинный параметр подключения!", 0, 0);
  dpb += tag;
  dpb += static_cast<char>(static_cast<unsigned char>(value.size()));
  dpb += value;
}
} // namespace

void TDBConnection::Connect(const std::string& ClientLib) {
  Disconnect();
  delete client_;
  client_ = nullptr;
  client_ = new TFbClientLibrary(ClientLib);
  std::string dpb(1, static_cast<char>(isc_dpb_version1));
  AddDpb(dpb, isc_dpb_user_name, connection_.UserName);
  AddDpb(dpb, isc_dpb_password, connection_.Password);
  if (!connection_.RoleName.empty()) AddDpb(dpb, isc_dpb_sql_role_name, connection_.RoleName);
  AddDpb(dpb, isc_dpb_lc_ctype, connection_.CharSet);
  dpb += static_cast<char>(isc_dpb_sql_dialect);
  dpb += '\1';
  dpb += static_cast<char>(connection_.SqlDialect);
  const TDBLocation l = SplitDatabaseString(connection_.DatabaseName);
  client_->AttachDatabase(l.Tcp ? l.Server + ":" + l.Path : l.Path, dpb, db_);
}

void TDBConnection::Disconnect() {
  if (client_ && db_) client_->DetachDatabase(db_);
  db_ = 0;
}

std::string TDBConnection::DatabaseInfo(const std::string& Items, std::size_t BufferSize) {
  if (!client_ || !db_) throw EFBError("Нет подключения к базе данных!", 0, 0);
  return client_->DatabaseInfo(db_, Items, BufferSize);
}
