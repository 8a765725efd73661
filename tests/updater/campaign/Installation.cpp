// Installation - the campaign's installation, server and payloads (see Installation.h).
#include "Installation.h"

#include "FbTestServer.h"
#include "os/OsLayer.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace campaign {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string ReadAll(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

void Write(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string Trimmed(std::string s) {
  const size_t a = s.find_first_not_of(" \n\r\t"), b = s.find_last_not_of(" \n\r\t");
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

} // namespace

std::string ShellQuoted(const std::string& S) {
  std::string q = "'";
  for (char c : S) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

//--- The private server ---------------------------------------------------------------

std::string ServerCommand(const std::string& Verb) {
  std::string command = "bash " + ShellQuoted(Env("UPDATER_SOURCE_DIR") + "/scripts/fbserver.sh") + " " + Verb + " " +
                        ShellQuoted(fbtest::Root());
  if (Verb == "start") command += " " + fbtest::Port();
  return command + " >/dev/null 2>&1";
}

bool ServerRuns() { return std::system(ServerCommand("status").c_str()) == 0; }
void StartServer() {
  if (std::system(ServerCommand("start").c_str()) != 0) throw std::runtime_error("the private server does not start");
}
void StopServer() { std::system(ServerCommand("stop").c_str()); }

//--- The database ----------------------------------------------------------------------

std::string MakeSampleDatabase(const std::string& Name) {
  const std::string path = fbtest::CreateDatabase(Name, "WIN1251");
  const std::string out = fbtest::Isql(path, ReadAll(Env("UPDATER_SOURCE_DIR") + "/scripts/sample-database.sql"));
  if (!out.empty()) throw std::runtime_error("sample database " + Name + ": " + out);
  return path;
}

std::string DatabaseState(const std::string& Path) {
  const std::string out =
      fbtest::Isql(Path, "set heading off;\nselect version_no || '.' || release_no || ' ' || "
                         "(select mon$shutdown_mode from mon$database) from project_info;\n");
  const std::string state = Trimmed(out);
  static const std::regex kState("[0-9]+\\.[0-9]+ [0-9]");
  return std::regex_match(state, kState) ? state : "unattachable: " + state;
}

//--- Trees of files ----------------------------------------------------------------------

Tree ReadTree(const std::string& Dir) {
  Tree tree;
  std::error_code ec;
  if (!fs::is_directory(Dir, ec)) return tree;
  for (const auto& e : fs::recursive_directory_iterator(Dir)) {
    const std::string rel = fs::relative(e.path(), Dir).generic_string();
    if (e.is_directory()) continue;
    tree[rel] = ReadAll(e.path().string());
  }
  return tree;
}

Tree ReadTrees(const std::string& Root, const std::vector<std::string>& Folders) {
  Tree all;
  for (const std::string& folder : Folders)
    for (auto& [path, bytes] : ReadTree(Root + "/" + folder)) all[folder + "/" + path] = std::move(bytes);
  return all;
}

std::string Compare(const Tree& Now, const Tree& Before, const Tree& After) {
  if (Now == Before) return "old";
  if (Now == After) return "new";
  // The first file that is in neither form.
  for (const auto& [path, bytes] : Now) {
    auto b = Before.find(path), a = After.find(path);
    const bool asBefore = b != Before.end() && b->second == bytes, asAfter = a != After.end() && a->second == bytes;
    if (!asBefore && !asAfter) return "mixed: " + path + " is in neither form";
  }
  for (const auto& [path, bytes] : Before)
    if (!Now.count(path) && After.count(path)) return "mixed: " + path + " is missing";
  // Every file is in one form or the other, but not all in the same one.
  for (const auto& [path, bytes] : Now)
    if (Before.count(path) && Before.at(path) != bytes) return "mixed: " + path + " is new, other files old";
  return "mixed: some files new, others old";
}

//--- The installation -----------------------------------------------------------------------

Installation::Installation(const std::string& Dir, const std::string& Database)
    : template_(Dir + "/template"), root_(Dir + "/TAMBER_RU"), server_(Dir + "/Firebird") {
  const std::string root = template_ + "/TAMBER_RU", server = template_ + "/Firebird";
  Write(root + "/Program/Tamber.exe", "old client");
  Write(root + "/Program/grids.ini", "[grid]\nwidth=10\n");
  Write(root + "/Program/Reports/r1.mht", "report");
  Write(root + "/Resources/Logo.bmp", "old logo");
  fs::create_directories(root + "/DB_Data");
  fs::copy_file(Database, root + "/DB_Data/Tamber.fdb");
  Write(server + "/udf/QRX_UDF.dll", "old QRX_UDF");
  Write(server + "/bin/udf_trans_p$2_l$0.fpd", "old support file");
}

void Installation::Restore() const {
  for (const std::string& dir : {root_, root_ + "_", server_}) fs::remove_all(dir);
  fs::copy(template_ + "/TAMBER_RU", root_, fs::copy_options::recursive);
  fs::copy(template_ + "/Firebird", server_, fs::copy_options::recursive);
}

Tree Installation::Client() const { return ReadTrees(root_, {"Program", "Resources"}); }
Tree Installation::ServerFiles() const { return ReadTree(server_); }

std::string Installation::TmpDir() const {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(root_, ec))
    if (e.path().filename().string().rfind("Tmp$", 0) == 0) return e.path().string();
  return {};
}

std::vector<std::string> Installation::AsideFiles() const {
  std::vector<std::string> aside;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(root_ + "/DB_Data", ec))
    if (e.path().filename().string().rfind("Tamber.fdb_", 0) == 0) aside.push_back(e.path().string());
  return aside;
}

//--- The payload programs -------------------------------------------------------------------

Payloads::Payloads()
    : server_(ReadAll(SERVER_PAYLOAD)), tamber_(ReadAll(TAMBER_PAYLOAD)), zavudavada_(ReadAll(ZAVUDAVADA_PAYLOAD)),
      failingScript_(ReadAll(FAILING_SCRIPT_PAYLOAD)),
      // Cut short, a payload program finds no archive in itself and exits
      // with a failure.
      damagedServer_(server_.substr(0, server_.size() - 100)),
      damagedTamber_(tamber_.substr(0, tamber_.size() - 100)) {}

void Payloads::Register() {
  os::RegisterResource("EXEFILE", "FILES", server_);
  os::RegisterResource("EXEFILE", "FILES_G", tamber_);
  os::RegisterResource("EXEFILE", "FILES_GC", zavudavada_);
}

void Payloads::RegisterDamaged(const std::string& ResourceName) {
  Register();
  if (ResourceName == "FILES") os::RegisterResource("EXEFILE", "FILES", damagedServer_);
  if (ResourceName == "FILES_G") os::RegisterResource("EXEFILE", "FILES_G", damagedTamber_);
}

void Payloads::RegisterFailingScript() {
  Register();
  os::RegisterResource("EXEFILE", "FILES", failingScript_);
}

} // namespace campaign
