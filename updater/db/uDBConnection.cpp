// uDBConnection - the Firebird client and TDBConnection (see uDBConnection.h).
#include "uDBConnection.h"

#include "os/OsLayer.h"

#include "FbClient.h"

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

// --- Texts for the client ---

std::string ClientTextProblem(const std::string& Utf8, TClientText What) {
  std::string converted;
  const auto bad = fbclient::ToClientText(Utf8, converted);
  if (!bad) return {};
  const std::string codePage = "в кодовой странице ANSI системы (" + std::to_string(bad->CodePage) + ")!";
  const char* of = "пути к базе данных";
  switch (What) {
  case TClientText::DatabasePath: break;
  case TClientText::UserName: of = "имени пользователя"; break;
  case TClientText::Role: of = "имени роли"; break;
  case TClientText::Password:
    // The character of a password is not repeated in a message that is logged.
    return "Пароль содержит символ, не представимый " + codePage;
  }
  return "Символ «" + bad->Character + "» " + of + " не представим " + codePage;
}

std::string ToClientText(const std::string& Utf8, TClientText What) {
  std::string converted;
  if (fbclient::ToClientText(Utf8, converted)) throw EFBError(ClientTextProblem(Utf8, What), 0, 0);
  return converted;
}

// --- TFbClientLibrary ---

struct TFbClientLibrary::Entries : fbclient::Entries {};

TFbClientLibrary::TFbClientLibrary(const std::string& Name) : e_(std::make_unique<Entries>()) {
  os::Api& sys = os::Sys();
  lib_ = sys.LoadSharedLibrary(Name);
  // The system's reason (a missing dependency, the wrong platform) comes
  // after the text: without it the user cannot tell why.
  if (!lib_)
    throw EFBError(os::WithCause("Невозможно загрузить клиентскую библиотеку " + Quoted(Name) + "!", lib_.Why()), 0, 0);
  if (const char* missing = e_->Bind([&](const char* entry) { return sys.Symbol(lib_, entry); }))
    throw EFBError("В клиентской библиотеке " + Quoted(Name) + " не найдена функция " + Quoted(missing) + "!", 0,
                   0);
}

TFbClientLibrary::~TFbClientLibrary() = default;

void TFbClientLibrary::Raise(const void* Status) const {
  const ISC_STATUS* sv = static_cast<const ISC_STATUS*>(Status);
  // The client gives its messages in the system's code page, the form in
  // which it takes names: a failed attachment has no character set yet, the
  // service manager has none, and a path the server quotes comes back in the
  // bytes it was sent.
  std::vector<std::string> messages = fbclient::StatusMessages(*e_, sv);
  for (std::string& m : messages) m = os::FromSystemCodePage(m);
  throw EFBError(JoinServerMessages(messages), e_->isc_sqlcode(sv), sv[0] == isc_arg_gds ? sv[1] : 0);
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
  if (e_->isc_attach_database(sv, static_cast<short>(Name.size()), Name.c_str(), &h, static_cast<short>(Dpb.size()), Dpb.data()))
    Raise(sv);
  Db = FromHandle(h);
}

void TFbClientLibrary::DetachDatabase(Handle& Db) {
  if (!Db) return;
  ISC_STATUS_ARRAY sv;
  isc_db_handle h = ToHandle<isc_db_handle>(Db);
  e_->isc_detach_database(sv, &h);
  Db = 0;
}

std::string TFbClientLibrary::DatabaseInfo(Handle& Db, const std::string& Items, std::size_t BufferSize) {
  CheckLength(Items, 0x7FFF);
  std::string out(BufferSize, '\0');
  ISC_STATUS_ARRAY sv;
  isc_db_handle h = ToHandle<isc_db_handle>(Db);
  if (e_->isc_database_info(sv, &h, static_cast<short>(Items.size()), Items.data(), static_cast<short>(BufferSize), out.data()))
    Raise(sv);
  return out;
}

void TFbClientLibrary::ServiceAttach(const std::string& Name, const std::string& Spb, Handle& Svc) {
  CheckLength(Name, 0xFFFF);
  CheckLength(Spb, 0xFFFF);
  ISC_STATUS_ARRAY sv;
  isc_svc_handle h = 0;
  if (e_->isc_service_attach(sv, static_cast<unsigned short>(Name.size()), Name.c_str(), &h,
                    static_cast<unsigned short>(Spb.size()), Spb.data()))
    Raise(sv);
  Svc = FromHandle(h);
}

void TFbClientLibrary::ServiceStart(Handle& Svc, const std::string& Request) {
  CheckLength(Request, 0xFFFF);
  ISC_STATUS_ARRAY sv;
  isc_svc_handle h = ToHandle<isc_svc_handle>(Svc);
  if (e_->isc_service_start(sv, &h, nullptr, static_cast<unsigned short>(Request.size()), Request.data())) Raise(sv);
}

void TFbClientLibrary::ServiceDetach(Handle& Svc) {
  if (!Svc) return;
  ISC_STATUS_ARRAY sv;
  isc_svc_handle h = ToHandle<isc_svc_handle>(Svc);
  e_->isc_service_detach(sv, &h);
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

// The query and the transaction hold nothing of the server; the attachment
// goes first, the connection's client library last (the members' order).
TDBConnection::~TDBConnection() = default;

void TDBConnection::Connect(const std::string& ClientLib) {
  Disconnect();
  client_.reset();
  const TDBLocation l = SplitDatabaseString(connection_.DatabaseName);
  const std::string name = ToClientText(l.Tcp ? l.Server + ":" + l.Path : l.Path, TClientText::DatabasePath);
  fbclient::ParameterBlock dpb(std::string(1, static_cast<char>(isc_dpb_version1)));
  bool fits = dpb.AddString(isc_dpb_user_name, ToClientText(connection_.UserName, TClientText::UserName)) &&
              dpb.AddString(isc_dpb_password, ToClientText(connection_.Password, TClientText::Password)) &&
              (connection_.RoleName.empty() ||
               dpb.AddString(isc_dpb_sql_role_name, ToClientText(connection_.RoleName, TClientText::Role))) &&
              dpb.AddString(isc_dpb_lc_ctype, connection_.CharSet);
  if (!fits) throw EFBError("Слишком длинный параметр подключения!", 0, 0);
  dpb.AddByte(isc_dpb_sql_dialect, static_cast<std::uint8_t>(connection_.SqlDialect));
  client_ = std::make_unique<TFbClientLibrary>(ClientLib);
  db_ = std::make_unique<TFbAttachment>(*client_);
  client_->AttachDatabase(name, dpb.Bytes(), db_->Get());
}

void TDBConnection::Disconnect() { db_.reset(); }

std::string TDBConnection::DatabaseInfo(const std::string& Items, std::size_t BufferSize) {
  if (!Connected()) throw EFBError("Нет подключения к базе данных!", 0, 0);
  return client_->DatabaseInfo(db_->Get(), Items, BufferSize);
}
