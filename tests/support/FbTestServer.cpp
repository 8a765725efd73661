// FbTestServer - the private Firebird test server as the tests see it (see FbTestServer.h).
#include "FbTestServer.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <unistd.h>

namespace fbtest {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  if (!v || !*v) throw std::runtime_error(std::string(name) + " is not set: run the test through CTest");
  return v;
}

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string Run(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) throw std::runtime_error("cannot run " + command);
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

std::string ScriptFile(const std::string& script) {
  std::string name = Root() + "/tmp/isql-" + std::to_string(getpid()) + ".sql";
  std::ofstream(name, std::ios::binary) << script;
  return name;
}

} // namespace

std::string Root() { return Env("FBSERVER_ROOT"); }
// FBSERVER_PORT, or else the port in the server's own configuration.
std::string Port() {
  const char* v = std::getenv("FBSERVER_PORT");
  if (v && *v) return v;
  std::ifstream conf(Root() + "/firebird.conf");
  std::string key, eq, value;
  while (conf >> key >> eq >> value)
    if (key == "RemoteServicePort" && eq == "=") return value;
  throw std::runtime_error("no RemoteServicePort in " + Root() + "/firebird.conf");
}
std::string Password() {
  const char* v = std::getenv("FB_PASSWORD");
  return v && *v ? v : "qelvormask";
}
std::string ClientLib() { return "libfbclient.so.2"; }
std::string Connection(const std::string& Path) { return "localhost/" + Port() + ":" + Path; }

std::string CreateDatabase(const std::string& Name, const std::string& CharSet) {
  std::string path = Root() + "/data/" + Name;
  std::remove(path.c_str());
  std::string file = ScriptFile("create database '" + Connection(path) + "' default character set " + CharSet + ";\n");
  std::string out = Run("isql-fb -q -user SYSDBA -password " + Quote(Password()) + " -i " + Quote(file) + " 2>&1");
  std::remove(file.c_str());
  if (!out.empty()) throw std::runtime_error("create database " + path + ": " + out);
  return path;
}

std::string Isql(const std::string& Path, const std::string& Script, const std::string& CharSet) {
  std::string file = ScriptFile(Script);
  std::string out = Run("isql-fb -q -user SYSDBA -password " + Quote(Password()) + " -ch " + CharSet + " -i " +
                        Quote(file) + " " + Quote(Connection(Path)) + " 2>&1");
  std::remove(file.c_str());
  return out;
}

int OtherAttachments(const std::string& Path) {
  std::string out = Isql(Path, "set list on;\nselect count(*) as n from mon$attachments "
                               "where mon$attachment_id <> current_connection and mon$system_flag = 0;\n");
  std::size_t p = out.find("N ");
  if (p == std::string::npos) throw std::runtime_error("attachments of " + Path + ": " + out);
  return std::atoi(out.c_str() + out.find_first_not_of(' ', p + 1));
}

} // namespace fbtest
