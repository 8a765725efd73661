// ConnectStringTest - the engine's reading of the connect string the updater builds.
#include "ScriptEngine.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

using Items = std::map<std::string, std::string>;

TEST(ConnectString, ReadsEveryItemAndKeepsBlanksOfValues) {
  Items items;
  std::string error;
  ASSERT_TRUE(sqlscript::ParseConnectString(
      "db_name=localhost/3051:C:\\Data\\db.fdb; password= pass word ; user_name=SYSDBA; lc_ctype=WIN1251; "
      "sql_role_name=; sql_dialect=3; clientlib=\"fbclient.dll\"",
      items, error))
      << error;
  EXPECT_EQ(items, (Items{{"db_name", "localhost/3051:C:\\Data\\db.fdb"},
                          {"password", " pass word "},
                          {"user_name", "SYSDBA"},
                          {"lc_ctype", "WIN1251"},
                          {"sql_role_name", ""},
                          {"sql_dialect", "3"},
                          {"clientlib", "fbclient.dll"}}));
}

TEST(ConnectString, SeparatorsAreOnlyThoseBeforeAnItemName) {
  Items items;
  std::string error;
  ASSERT_TRUE(sqlscript::ParseConnectString(
      "DB_NAME=db; Password=a;b; c; USER_NAME=u; clientlib=\"dir;x\\fb \"\"x\"\".dll\"", items, error));
  EXPECT_EQ(items["password"], "a;b; c");
  EXPECT_EQ(items["clientlib"], "dir;x\\fb \"x\".dll");
  EXPECT_EQ(items["user_name"], "u");
}

TEST(ConnectString, RejectsMissingAndUnknownItems) {
  struct Bad {
    const char* Text;
    const char* Reason;
  };
  const Bad cases[] = {
      {"password=x; user_name=u; clientlib=\"l\"", "no db_name"},
      {"db_name=d; password=x; clientlib=\"l\"", "no user_name"},
      {"db_name=d; user_name=u; clientlib=\"\"", "no clientlib"},
      {"server=d; user_name=u; clientlib=\"l\"", "unknown item"},
      // An item given twice: a value that held "; db_name=" would otherwise
      // replace the database named first.
      {"db_name=d; password=x; db_name=other; user_name=u; clientlib=\"l\"", "gives db_name twice"},
      {"db_name=d; password=x; Password=y; user_name=u; clientlib=\"l\"", "gives password twice"},
  };
  for (const Bad& b : cases) {
    Items items;
    std::string error;
    EXPECT_FALSE(sqlscript::ParseConnectString(b.Text, items, error)) << b.Text;
    EXPECT_NE(error.find(b.Reason), std::string::npos) << b.Text << " -> " << error;
  }
  // An unknown item is named without the value after it.
  Items items;
  std::string error;
  EXPECT_FALSE(sqlscript::ParseConnectString("pwd=secret; db_name=d; user_name=u; clientlib=\"l\"", items, error));
  EXPECT_EQ(error, "The connect string has an unknown item at \"pwd\"");
}

} // namespace
