// Installation - the Tamber installation a fault campaign updates over and
// over: both parts (the client's Program and Resources, DB_Data with the
// sample database) and the Firebird server's folder with older files, kept
// once as a template and laid anew by copying before every run; the private
// server that plays the Firebird service; and the readings of the result
// that the invariants compare.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace campaign {

// The service name the private server plays.
inline const char kService[] = "FirebirdGuardianDefaultInstance";

// S quoted for the shell.
std::string ShellQuoted(const std::string& S);

//--- The private server ---------------------------------------------------------------

// Whether the private server runs, and starting and stopping it by the
// project's server script (not through the layer under test).
bool ServerRuns();
void StartServer();
void StopServer();

// The shell command that controls the server ("start", "stop", "status"),
// as a service's command.
std::string ServerCommand(const std::string& Verb);

//--- The database ----------------------------------------------------------------------

// The sample project database (version 106 release 1), made once on the
// server; its path.
std::string MakeSampleDatabase(const std::string& Name);

// What isql-fb finds in the database at Path: "106.1 0" (version, release
// and shutdown mode), or "unattachable: <isql's message>".
std::string DatabaseState(const std::string& Path);

//--- Trees of files ----------------------------------------------------------------------

// Every file below Dir (relative path with '/', its bytes); a missing Dir is
// an empty tree.
using Tree = std::map<std::string, std::string>;
Tree ReadTree(const std::string& Dir);
// The files of several folders of Root, each path led by its folder.
Tree ReadTrees(const std::string& Root, const std::vector<std::string>& Folders);

// "old", "new" (equal to Before or After), or "mixed: " and the first file
// that differs from both.
std::string Compare(const Tree& Now, const Tree& Before, const Tree& After);

//--- The installation -----------------------------------------------------------------------

class Installation {
public:
  // Lays out the template below Dir: Dir/template/TAMBER_RU (Program,
  // Resources, DB_Data with a copy of Database) and Dir/template/Firebird.
  Installation(const std::string& Dir, const std::string& Database);

  // Removes what a run left (the installation, its renamed folder, the
  // server's folder) and copies the template in their place.
  void Restore() const;

  const std::string& Root() const { return root_; }     // Dir/TAMBER_RU
  const std::string& Server() const { return server_; } // Dir/Firebird
  std::string Db() const { return root_ + "/DB_Data/Tamber.fdb"; }

  // The client's folders and the server's files as they are now.
  Tree Client() const;
  Tree ServerFiles() const;
  // The run's temporary tree (Tmp$...), empty when there is none.
  std::string TmpDir() const;
  // Files beside the live database whose names begin with its name and "_".
  std::vector<std::string> AsideFiles() const;

private:
  std::string template_, root_, server_;
};

//--- The payload programs -------------------------------------------------------------------

// The payload programs the build made, registered as the program's
// resources; one of them can be replaced by a damaged copy (a payload that
// fails) or the server payload by one whose structure script fails.
class Payloads {
public:
  Payloads();
  void Register();
  void RegisterDamaged(const std::string& ResourceName); // "FILES" or "FILES_G"
  void RegisterFailingScript();

private:
  std::string server_, tamber_, zavudavada_, failingScript_;
  std::string damagedServer_, damagedTamber_;
};

} // namespace campaign
