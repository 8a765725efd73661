// FbTestServer - the private Firebird test server as the tests see it: where it is, fresh
// databases on it, and isql-fb as the peer that checks what a test did.
// FBSERVER_ROOT comes from the test's environment; the port is FBSERVER_PORT
// when set, otherwise the one in the server's firebird.conf.
#pragma once

#include <string>

namespace fbtest {

std::string Root();
std::string Port();
std::string Password(); // SYSDBA's
// The client library the tests load.
std::string ClientLib();
// "localhost/PORT:" + Path.
std::string Connection(const std::string& Path);
// Creates the database file ROOT/data/Name (an old one is removed first)
// with the default character set and returns its path.
std::string CreateDatabase(const std::string& Name, const std::string& CharSet = "UTF8");
// Runs Script through "isql-fb -q" against Path over TCP as SYSDBA, with the
// connection character set CharSet; standard output and error together.
std::string Isql(const std::string& Path, const std::string& Script, const std::string& CharSet = "UTF8");
// The number of attachments to the database, seen from a new one (not counted).
int OtherAttachments(const std::string& Path);

} // namespace fbtest
