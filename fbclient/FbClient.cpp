// FbClient - the Firebird client binding (see FbClient.h).
#include "FbClient.h"

#include "os/OsLayer.h"
#include "os/Unicode.h"

#include <cstdio>

namespace fbclient {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
const char* Entries::Bind(const std::function<void*(const char*)>& Symbol) {
#define FBCLIENT_LOOKUP(name, need) name = reinterpret_cast<decltype(&::name)>(Symbol(#name));
  FBCLIENT_ENTRIES(FBCLIENT_LOOKUP)
#undef FBCLIENT_LOOKUP
  const char* missing = nullptr;
  const bool fallbackNeeded = fb_interpret == nullptr;
  auto check = [&](bool present, const char* name, bool required) {
    if (!present && required && !missing) missing = name;
  };
  constexpr bool Required = true, Optional = false;
  const bool Fallback = fallbackNeeded;
#define FBCLIENT_CHECK(name, need) check(name != nullptr, #name, need);
  FBCLIENT_ENTRIES(FBCLIENT_CHECK)
#undef FBCLIENT_CHECK
  if (missing) Clear();
  return missing;
}
#pragma GCC diagnostic pop

std::vector<std::string> StatusMessages(const Entries& Client, const ISC_STATUS* Status) {
  std::vector<std::string> messages;
  const ISC_STATUS* p = Status;
  char buf[1024];
  for (int i = 0; i < 32; ++i) { // a status vector holds far fewer messages
    buf[0] = '\0';
    ISC_LONG n = 0;
    if (Client.fb_interpret) {
      n = Client.fb_interpret(buf, sizeof buf, &p);
    } else if (Client.isc_interprete) {
      // The old entry writes without a size; the buffer is far larger than
      // any single message the client produces.
      n = Client.isc_interprete(buf, const_cast<ISC_STATUS**>(&p));
    }
    if (n <= 0) break;
    buf[sizeof buf - 1] = '\0';
    messages.emplace_back(buf);
  }
  return messages;
}

std::string SqlState(const Entries& Client, const ISC_STATUS* Status) {
  if (!Client.fb_sqlstate) return {};
  char state[FB_SQLSTATE_SIZE] = {};
  Client.fb_sqlstate(state, Status);
  state[FB_SQLSTATE_SIZE - 1] = '\0';
  return state;
}

bool ParameterBlock::AddString(char Tag, std::string_view Value) {
  if (Value.size() > 255) return false;
  bytes_ += Tag;
  bytes_ += static_cast<char>(static_cast<unsigned char>(Value.size()));
  bytes_ += Value;
  return true;
}

bool ParameterBlock::AddLongString(char Tag, std::string_view Value) {
  if (Value.size() > 0xFFFF) return false;
  bytes_ += Tag;
  bytes_ += static_cast<char>(Value.size() & 0xFF);
  bytes_ += static_cast<char>((Value.size() >> 8) & 0xFF);
  bytes_ += Value;
  return true;
}

void ParameterBlock::AddByte(char Tag, std::uint8_t Value) {
  bytes_ += Tag;
  bytes_ += '\1';
  bytes_ += static_cast<char>(Value);
}

void ParameterBlock::AddInt32(char Tag, std::uint32_t Value) {
  bytes_ += Tag;
  for (int i = 0; i < 4; ++i) bytes_ += static_cast<char>((Value >> (8 * i)) & 0xFF);
}


std::optional<Unrepresentable> ToClientText(std::string_view Utf8, std::string& Out) {
  char32_t failed = 0;
  unsigned codePage = 0;
  std::string converted;
  if (!os::ToSystemCodePage(Utf8, converted, failed, codePage))
    return Unrepresentable{os::EncodeUtf8(failed), failed, codePage};
  Out = std::move(converted);
  return std::nullopt;
}

std::string CodePointName(char32_t CodePoint) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(CodePoint));
  return buf;
}

} // namespace fbclient
