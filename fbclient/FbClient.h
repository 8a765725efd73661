// FbClient - the project's one binding of the Firebird client library: the
// list of entries it calls, their lookup in a loaded library, the reading of
// a status vector, the building of parameter blocks, and the form in which
// names and passwords are handed to the client.
//
// The library itself is loaded by the caller (the updater through its
// operating-system layer, the script engine through SharedLibrary) and
// looked up through a symbol function; nothing links against the client.
// ibase.h gives the entry signatures and every constant.
#pragma once

#include <ibase.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fbclient {

// Every entry the project calls, with what a client must offer:
//   Required   - the library is refused without it;
//   Optional   - used when present;
//   Fallback   - required only when fb_interpret is missing (clients before 2.0).
#define FBCLIENT_ENTRIES(X)                                                                                           \
  X(isc_attach_database, Required)                                                                                    \
  X(isc_detach_database, Required)                                                                                    \
  X(isc_database_info, Required)                                                                                      \
  X(isc_start_transaction, Required)                                                                                  \
  X(isc_commit_transaction, Required)                                                                                 \
  X(isc_commit_retaining, Required)                                                                                   \
  X(isc_rollback_transaction, Required)                                                                               \
  X(isc_rollback_retaining, Required)                                                                                 \
  X(isc_dsql_allocate_statement, Required)                                                                            \
  X(isc_dsql_prepare, Required)                                                                                       \
  X(isc_dsql_sql_info, Required)                                                                                      \
  X(isc_dsql_describe, Required)                                                                                      \
  X(isc_dsql_execute, Required)                                                                                       \
  X(isc_dsql_execute2, Required)                                                                                      \
  X(isc_dsql_fetch, Required)                                                                                         \
  X(isc_dsql_free_statement, Required)                                                                                \
  X(isc_dsql_execute_immediate, Required)                                                                             \
  X(isc_service_attach, Required)                                                                                     \
  X(isc_service_start, Required)                                                                                      \
  X(isc_service_detach, Required)                                                                                     \
  X(isc_sqlcode, Required)                                                                                            \
  X(fb_interpret, Optional)                                                                                           \
  X(isc_interprete, Fallback)                                                                                         \
  X(fb_sqlstate, Optional)

// The entries of one loaded client; an entry the library lacks is null.
// isc_interprete is marked deprecated by the header, but it is the only way
// to read a status vector with a client older than 2.0.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
struct Entries {
#define FBCLIENT_FIELD(name, need) decltype(&::name) name = nullptr;
  FBCLIENT_ENTRIES(FBCLIENT_FIELD)
#undef FBCLIENT_FIELD

  // Looks every entry up through Symbol (the library's lookup by name).
  // Returns the name of the first entry the client must have but lacks,
  // nullptr when it has them all; the entries are cleared in that case.
  const char* Bind(const std::function<void*(const char*)>& Symbol);
  void Clear() { *this = Entries{}; }
};
#pragma GCC diagnostic pop

// The messages of a status vector as the client interprets them one after
// another (fb_interpret, or isc_interprete with older clients), in order.
std::vector<std::string> StatusMessages(const Entries& Client, const ISC_STATUS* Status);

// The SQLSTATE of a status vector; empty when the client cannot tell it
// (clients before 2.5).
std::string SqlState(const Entries& Client, const ISC_STATUS* Status);

// A parameter block (database attach, service attach, service request)
// being built: a header, then clusters of a tag and its value.
class ParameterBlock {
public:
  explicit ParameterBlock(std::string_view Header) : bytes_(Header) {}

  // Tag, a one-byte length and the text; false (nothing added) when the
  // text is longer than 255 bytes.
  [[nodiscard]] bool AddString(char Tag, std::string_view Value);
  // Tag, a two-byte length (low byte first) and the text; false (nothing
  // added) when the text is longer than 65535 bytes.
  [[nodiscard]] bool AddLongString(char Tag, std::string_view Value);
  // Tag, the length 1 and one byte: a small number of an attach block.
  void AddByte(char Tag, std::uint8_t Value);
  // Tag and four bytes, low byte first: a number of a service request.
  void AddInt32(char Tag, std::uint32_t Value);

  const std::string& Bytes() const { return bytes_; }

private:
  std::string bytes_;
};

// A character that the text handed to the client cannot carry.
struct Unrepresentable {
  std::string Character;   // the character, UTF-8
  char32_t CodePoint = 0;
  unsigned CodePage = 0;   // the system's ANSI code page
};

// File names, user names, role names and passwords as the client takes
// them: on Windows in the system's ANSI code page (a Firebird 2.x server
// there reads file names in it, and the client passes the bytes on
// unchanged), elsewhere the UTF-8 text itself. Out is set only on success;
// a character the code page cannot hold is returned instead of being
// replaced.
std::optional<Unrepresentable> ToClientText(std::string_view Utf8, std::string& Out);

// "U+0416": a code point as Unicode writes it.
std::string CodePointName(char32_t CodePoint);

} // namespace fbclient
