// ClientBindingTest - the client binding without a client: which entries a library must offer,
// and reading a status vector with the entry a client of its age has.
#include "FbClient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(ClientBinding, RefusesALibraryWithoutAnEntryItMustOffer) {
  struct Case {
    const char* Name;
    std::vector<std::string> Absent;
    const char* Missing; // nullptr: accepted
  };
  const Case cases[] = {
      {"a current client", {}, nullptr},
      {"a client before 2.5 (no SQLSTATE)", {"fb_sqlstate"}, nullptr},
      {"a client before 2.0 (the old interpreter only)", {"fb_interpret", "fb_sqlstate"}, nullptr},
      {"no interpreter at all", {"fb_interpret", "isc_interprete"}, "isc_interprete"},
      {"no attach", {"isc_attach_database"}, "isc_attach_database"},
      {"no statement entry", {"isc_dsql_execute2"}, "isc_dsql_execute2"},
      {"no service entry", {"isc_service_start"}, "isc_service_start"},
      {"the first missing one is named", {"isc_sqlcode", "isc_detach_database"}, "isc_detach_database"},
  };
  static char anyEntry; // a non-null address for every entry that is there
  for (const Case& c : cases) {
    fbclient::Entries e;
    const char* missing = e.Bind([&](const char* name) -> void* {
      return std::count(c.Absent.begin(), c.Absent.end(), name) ? nullptr : &anyEntry;
    });
    if (!c.Missing) {
      EXPECT_EQ(missing, nullptr) << c.Name << ": " << missing;
      EXPECT_NE(e.isc_attach_database, nullptr) << c.Name;
      EXPECT_EQ(e.fb_sqlstate == nullptr, std::count(c.Absent.begin(), c.Absent.end(), "fb_sqlstate") == 1) << c.Name;
    } else {
      ASSERT_NE(missing, nullptr) << c.Name;
      EXPECT_STREQ(missing, c.Missing) << c.Name;
      EXPECT_EQ(e.isc_attach_database, nullptr) << c.Name << ": a refused library leaves no entry bound";
    }
  }
}

// A status vector the fakes read: one message per two slots.
const char* const kTexts[] = {"first message", "second message"};

ISC_LONG ISC_EXPORT NewInterpret(ISC_SCHAR* Buf, unsigned Size, const ISC_STATUS** Vector) {
  const ISC_STATUS index = (*Vector)[0];
  if (index < 0) return 0;
  std::snprintf(Buf, Size, "%s", kTexts[index]);
  *Vector += 1;
  return static_cast<ISC_LONG>(std::strlen(Buf));
}
ISC_LONG ISC_EXPORT OldInterprete(ISC_SCHAR* Buf, ISC_STATUS** Vector) {
  const ISC_STATUS index = (*Vector)[0];
  if (index < 0) return 0;
  std::snprintf(Buf, 64, "old: %s", kTexts[index]);
  *Vector += 1;
  return static_cast<ISC_LONG>(std::strlen(Buf));
}

TEST(ClientBinding, StatusMessagesComeFromTheInterpreterTheClientHas) {
  const ISC_STATUS status[] = {0, 1, -1};
  fbclient::Entries e;
  EXPECT_EQ(fbclient::StatusMessages(e, status), std::vector<std::string>{}) << "no interpreter: no messages";
  e.isc_interprete = OldInterprete;
  EXPECT_EQ(fbclient::StatusMessages(e, status), (std::vector<std::string>{"old: first message", "old: second message"}));
  e.fb_interpret = NewInterpret;
  EXPECT_EQ(fbclient::StatusMessages(e, status), (std::vector<std::string>{"first message", "second message"}));
  EXPECT_EQ(fbclient::SqlState(e, status), "") << "a client without fb_sqlstate tells no SQLSTATE";
}

} // namespace
