// Campaign - the runs, their invariants and the report (see Campaign.h).
#include "Campaign.h"

#include "FaultClient.h"
#include "FbTestServer.h"
#include "uSqlScript.h"
#include "uUpdate.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace fs = std::filesystem;

namespace campaign {
namespace {

std::string U(const std::string& n) { return GetMsgText("uUpdate_UpdateProgramm_" + n); }

std::string FirstLine(const std::string& text) {
  const size_t end = text.find_first_of("\r\n");
  return end == std::string::npos ? text : text.substr(0, end) + " ...";
}

std::string ReadFileOrEmpty(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

// A service command that counts itself in Dir/VERB.count and fails, without
// running Command, when its number is listed in Dir/VERB.fail.
std::string CountedCommand(const std::string& Dir, const std::string& Verb, const std::string& Command) {
  const std::string count = ShellQuoted(Dir + "/" + Verb + ".count"), fail = ShellQuoted(Dir + "/" + Verb + ".fail");
  return "n=$(( $(cat " + count + " 2>/dev/null || echo 0) + 1 )); echo $n > " + count + "; if grep -qx \"$n\" " +
         fail + " 2>/dev/null; then exit 1; fi; " + Command;
}

int CountOf(const std::string& Dir, const std::string& Verb) {
  return std::atoi(ReadFileOrEmpty(Dir + "/" + Verb + ".count").c_str());
}

} // namespace

//--- The host ------------------------------------------------------------------------------

void CampaignHost::AddLine(const std::string& Line) {
  if (Record) Record->Pane.push_back(Line);
}

void CampaignHost::ShowMessage(TMsgDlgType Type, const std::string& Text) {
  if (Record) Record->Shown.emplace_back(Type, Text);
}

void CampaignHost::EndProgram() { throw std::logic_error("the engine ended the program"); }

void CampaignHost::SaveExceptionToLog(const std::string& Text) {
  if (Record) {
    Record->Entries.push_back(Text);
    Record->EntryCalls.push_back(sys_.Calls.size());
  }
  log_.SaveExceptionToLog(*this, Text);
}

//--- The report ------------------------------------------------------------------------------

void Report::Add(const FaultPlan& Plan, const std::string& Point, const RunRecord& Run,
                 const std::vector<std::string>& Broke) {
  FaultPoints.insert(Plan.Base + "|" + Plan.Kind + "|" + std::to_string(Plan.K) + "|" +
                     (Plan.Kind == "payload" ? Plan.Mode : ""));
  ++Runs;
  if (Run.Outcome == "updated" || Run.Outcome == "done") ++Updated;
  if (Run.Outcome == "rolled back" || Run.Outcome == "failed") ++RolledBack;
  if (Run.Outcome == "needs user") ++NeedsUser;
  if (Run.Outcome == "cancelled") ++Cancelled;
  if (Run.ServerLeftStopped) ++LeftStopped;
  if (Broke.empty()) return;
  ++Broken;
  std::string head = "k=" + std::to_string(Plan.K) + " " + Plan.Kind + " " + Plan.Mode;
  if (!Plan.Base.empty()) head += " [after " + Plan.Base + "]";
  head += ": " + Point + " -> " + Run.Outcome;
  if (!Run.Message.empty()) head += " \"" + Shorten(FirstLine(Run.Message)) + "\"";
  for (const std::string& b : Broke) Breaks.push_back(head + "\n      broke: " + b);
}

std::string Report::Text() const {
  std::ostringstream s;
  s << "=== " << Title << " ===\n"
    << "fault points " << FaultPoints.size() << ", runs " << Runs << ": success/done " << Updated
    << ", rolled back/failed " << RolledBack << ", needs the user " << NeedsUser << ", cancelled " << Cancelled
    << "; server left stopped " << LeftStopped << "; broke an invariant " << Broken << "\n";
  for (const std::string& b : Breaks) s << "  " << b << "\n";
  return s.str();
}

//--- The campaign --------------------------------------------------------------------------

Campaign::Campaign(const std::string& Dir)
    : dir_(Dir), logs_(Dir + "/Logs"), serviceDir_(Dir + "/service"),
      install_(Dir, MakeSampleDatabase("campaign_template.fdb")), client_(std::make_unique<FaultClient>(FAULT_CLIENT)) {
  ldm_.SetLanguage(English_Language);
  fs::create_directories(logs_);
  fs::create_directories(serviceDir_);
  os::DefineService(kService, {CountedCommand(serviceDir_, "start", ServerCommand("start")),
                               CountedCommand(serviceDir_, "stop", ServerCommand("stop")), ServerCommand("status")});
  host_.Values.ConnectPrefix = "localhost/" + fbtest::Port() + ":";
  host_.Values = ProjectSettings("TAMBER", host_.Values);
  host_.Values.ClientLibName = FAULT_CLIENT;
  host_.Values.ServParams = {install_.Server() + "/", "SUPER", host_.Values.ConnectPrefix, "FBSERVER.EXE", kService};
  install_.Restore();
  clientBefore_ = install_.Client();
  serverBefore_ = install_.ServerFiles();
}

Campaign::~Campaign() { os::ForgetService(kService); }

void Campaign::TakeUpdatedTrees() {
  clientAfter_ = install_.Client();
  serverAfter_ = install_.ServerFiles();
}

void Campaign::Prepare(const FaultPlan& Plan) {
  if (!ServerRuns()) StartServer();
  client_->CloseLeftOpen();
  install_.Restore();
  if (Plan.FailingScript)
    payloads_.RegisterFailingScript();
  else if (!Plan.DamagedPayload.empty())
    payloads_.RegisterDamaged(Plan.DamagedPayload);
  else
    payloads_.Register();
  for (const char* verb : {"start", "stop"}) {
    fs::remove(serviceDir_ + "/" + verb + ".count");
    std::ofstream fail(serviceDir_ + "/" + verb + ".fail", std::ios::trunc);
    if (Plan.Kind == std::string("service ") + verb)
      for (int n : Plan.ServiceFails) fail << n << "\n";
  }
  host_.SetHadErrors(false);
  host_.NewLog(dir_);
}

void Campaign::Collect(RunRecord& Run) {
  host_.Record = nullptr;
  Run.OsCalls = sys_.Calls;
  Run.OsInjected = sys_.Injected;
  Run.Started = sys_.Started;
  for (long k = 1; k <= client_->Calls(); ++k) Run.ClientCalls.push_back(client_->CallName(k));
  Run.ClientInjected = client_->Failed();
  // Nothing of the checks that follow may be counted or fail.
  sys_.Arm({}, 0);
  client_->Arm({}, 0);
  Run.LogFile = ReadFileOrEmpty(host_.LogFileName());
  Run.ServiceStarts = CountOf(serviceDir_, "start");
  Run.ServiceStops = CountOf(serviceDir_, "stop");
  // A run may leave the server stopped; it is recorded, and the server is
  // started for the checks and the next run.
  Run.ServerLeftStopped = !ServerRuns();
  if (Run.ServerLeftStopped) StartServer();
  client_->CloseLeftOpen();
}

void Campaign::Armed(const FaultPlan& Plan, RunRecord& Run, const std::function<void()>& Body) {
  host_.Record = &Run;
  sys_.Arm(Plan.OsAt, Plan.OsFrom);
  client_->Arm(Plan.ClientAt, Plan.ClientFrom);
  {
    os::ScopedApi use(sys_);
    Body();
    Collect(Run);
  }
}

RunRecord Campaign::Update(const FaultPlan& Plan) {
  Prepare(Plan);
  RunRecord run;
  Armed(Plan, run, [&] {
    try {
      UpdateProgramm(install_.Root(), fbtest::Password(), "TAMBER");
      run.Outcome = "updated";
    } catch (const EAbort& e) {
      run.Outcome = "cancelled";
      run.Message = e.what();
    } catch (const EUpdateNeedsUser& e) {
      run.Outcome = "needs user";
      run.Message = e.what();
    } catch (const std::exception& e) {
      run.Outcome = "rolled back";
      run.Message = e.what();
    } catch (...) {
      run.Outcome = "rolled back";
      run.Message = "<an exception that is no std::exception>";
    }
  });
  return run;
}

RunRecord Campaign::SwitchMode(bool Online, const FaultPlan& Plan) {
  Prepare(Plan);
  const TDBParams db{fbtest::ClientLib(), host_.Values.ConnectPrefix + install_.Db(), "SYSDBA", fbtest::Password(), ""};
  if (Online) DatabaseShutdown(db);
  RunRecord run;
  run.ModeBefore = DatabaseState(install_.Db());
  Armed(Plan, run, [&] {
    try {
      if (Online)
        UpdateOnLine(install_.Root(), fbtest::Password());
      else
        UpdateShutdown(install_.Root(), fbtest::Password());
      run.Outcome = "done";
    } catch (const std::exception& e) {
      run.Outcome = "failed";
      run.Message = e.what();
    }
  });
  return run;
}

//--- Reading a run ---------------------------------------------------------------------------

std::string Campaign::Short(const std::string& Text) const {
  static const std::regex kStamp("Tmp\\$[0-9]+");
  std::string s = std::regex_replace(Text, kStamp, "Tmp$*");
  for (const auto& [path, name] : {std::pair{install_.Root(), "{ROOT}"}, {install_.Server(), "{SERVER}"},
                                   {logs_, "{LOGS}"}, {dir_, "{DIR}"},
                                   {std::string(FAULT_CLIENT), "{FAULT_CLIENT}"}})
    for (size_t p; (p = s.find(path)) != std::string::npos;) s.replace(p, path.size(), name);
  return s;
}

std::string Campaign::OsPoint(const RunRecord& Run, long K) const {
  if (K < 1 || K > static_cast<long>(Run.OsCalls.size())) return "OS call " + std::to_string(K) + " (not reached)";
  const CountedCall& c = Run.OsCalls[static_cast<size_t>(K - 1)];
  return c.Call + " \"" + Short(c.Path) + "\"";
}

std::string Campaign::ClientPoint(const RunRecord& Run, long K) {
  if (K < 1 || K > static_cast<long>(Run.ClientCalls.size()))
    return "client call " + std::to_string(K) + " (not reached)";
  const std::string& entry = Run.ClientCalls[static_cast<size_t>(K - 1)];
  // The how-manieth call of that entry it is.
  const long nth = std::count(Run.ClientCalls.begin(), Run.ClientCalls.begin() + K, entry);
  return entry + " #" + std::to_string(nth);
}

bool Campaign::Seen(const RunRecord& Run, const std::string& Text) {
  auto in = [&](const std::string& s) { return s.find(Text) != std::string::npos; };
  if (in(Run.Message) || in(Run.LogFile)) return true;
  for (const std::string& e : Run.Entries)
    if (in(e)) return true;
  for (const auto& box : Run.Shown)
    if (in(box.second)) return true;
  return false;
}

//--- The invariants ---------------------------------------------------------------------------

void Campaign::CommonBreaks(const FaultPlan& Plan, const RunRecord& Run, std::vector<std::string>& Broke) const {
  // What failed is named: an OS failure as the system described it (the
  // call, the path and the system's error), a client failure by the
  // client's message. In a series with a base fault, a failure that did not
  // change how the run ended (an attribute change before a delete that
  // went through) needs no name of its own.
  const bool ended =
      Run.Outcome != "updated" && Run.Outcome != "done" && (Plan.Base.empty() || Run.Outcome != Plan.BaseOutcome);
  if (ended && !Run.OsInjected.empty()) {
    bool named = false;
    for (const os::Error& e : Run.OsInjected) named = named || Seen(Run, os::Describe(e));
    if (!named)
      Broke.push_back("failure named: neither the log nor the message names the failed call (" +
                      Short(os::Describe(Run.OsInjected.front())) + ")");
  }
  if (ended && Run.ClientInjected > 0 && !Seen(Run, kFaultClientMessage))
    Broke.push_back("failure named: neither the log nor the message has the client's error");
  // A log entry that could not be written is reported.
  for (const os::Error& e : Run.OsInjected)
    if (e.Path == host_.LogFileName() && !Seen(Run, "I/O error: the log file")) {
      Broke.push_back("log failure reported: a log entry could not be written and nobody is told");
      break;
    }
  // The password: in no log line, box, message, child's command line or
  // environment.
  const std::string password = fbtest::Password();
  if (Seen(Run, password)) Broke.push_back("password: in the log, a box or the message");
  for (const std::string& line : Run.Pane)
    if (line.find(password) != std::string::npos) {
      Broke.push_back("password: in a line of the log pane");
      break;
    }
  for (const std::string& started : Run.Started)
    if (started.find(password) != std::string::npos) Broke.push_back("password: on a child's command line");
  for (char** e = environ; *e; ++e)
    if (std::string(*e).find(password) != std::string::npos)
      Broke.push_back("password: in the environment children get");
}

std::vector<std::string> Campaign::UpdateBreaks(const FaultPlan& Plan, const RunRecord& Run) {
  std::vector<std::string> broke;
  const std::string root = install_.Root();
  const bool needsUser = Run.Outcome == "needs user";
  const bool namesPlace = Run.Message.find(root) != std::string::npos ||
                          Run.Message.find(install_.Server()) != std::string::npos;
  // An installation folder the lock check could not rename back (a disk
  // that fails for good) is where the message of a run that needs the user
  // says it is: its database is looked for there.
  const bool folderAsideNamed = needsUser && !fs::exists(root) && fs::exists(root + "_") &&
                                Run.Message.find(root + "_") != std::string::npos;
  const std::string db = folderAsideNamed ? root + "_" + install_.Db().substr(root.size()) : install_.Db();

  // The live database: in place, attachable, one of the two versions.
  std::string dbForm = "missing";
  bool asideNamed = false;
  for (const std::string& aside : install_.AsideFiles())
    asideNamed = asideNamed || Run.Message.find(aside) != std::string::npos;
  if (!fs::exists(db)) {
    // Where nothing can be renamed any more, the message of a run that
    // needs the user must say where the database is.
    if (!(needsUser && asideNamed)) broke.push_back("database in place: the live database file is missing");
  } else {
    const std::string state = DatabaseState(db);
    const std::string version = state.substr(0, state.find(' '));
    dbForm = version == "106.1" ? "old" : version == "107.0" ? "new" : "unreadable";
    if (dbForm == "unreadable") broke.push_back("database in place: " + Short(state));
    const std::string mode = state.size() > 2 ? state.substr(state.size() - 1) : "";
    // Online whenever the server runs, unless the ending says otherwise.
    if (dbForm != "unreadable" && mode != "0" && !needsUser)
      broke.push_back("online: the database is left in shutdown mode " + mode + " and the ending does not say so");
  }
  for (const std::string& aside : install_.AsideFiles())
    if (Run.Message.find(aside) == std::string::npos)
      broke.push_back("database in place: " + Short(aside) + " is left beside it and the message does not name it");
  if ((fs::exists(root + "_") || !fs::exists(root)) && !folderAsideNamed)
    broke.push_back("installation folder: left renamed to " + Short(root + "_") + " and the message does not say so");
  if (Run.ServerLeftStopped && !needsUser)
    broke.push_back("online: the server is left stopped and the ending does not say so");

  // Every part in one form, the same for all, or the user is told where
  // each is.
  const std::string client = Compare(install_.Client(), clientBefore_, clientAfter_);
  const std::string server = Compare(install_.ServerFiles(), serverBefore_, serverAfter_);
  const std::string forms = "database " + dbForm + ", Program/Resources " + client + ", server files " + server;
  const bool allOld = dbForm == "old" && client == "old" && server == "old";
  const bool allNew = dbForm == "new" && client == "new" && server == "new";
  if (!allOld && !allNew && !(needsUser && namesPlace))
    broke.push_back("one form: " + forms + (needsUser ? "; the message names no place" : ""));

  // The ending matches the disk.
  if (Run.Outcome == "updated" && !allNew) broke.push_back("ending: success, but " + forms);
  if (Run.Outcome == "rolled back") {
    if (!allOld) broke.push_back("ending: rolled back, but " + forms);
    const std::string tmp = install_.TmpDir();
    bool rollbackBegan = false;
    for (const std::string& e : Run.Entries) rollbackBegan = rollbackBegan || e == U("45");
    if (rollbackBegan && (tmp.empty() || !fs::exists(tmp + "/Old")))
      broke.push_back("ending: rolled back, but the run's backup (Tmp$*/Old) is gone");
  }
  if (needsUser && Run.Message.empty()) broke.push_back("ending: needs the user with an empty message");
  if (Run.Outcome == "cancelled") broke.push_back("ending: cancelled although every question was answered Yes");

  // The run's New folder is gone, or the user is told it is left.
  if (const std::string tmp = install_.TmpDir(); !tmp.empty() && fs::exists(tmp + "/New") && !Seen(Run, tmp + "/New"))
    broke.push_back("New gone: " + Short(tmp + "/New") + " is left and the log does not say so");

  CommonBreaks(Plan, Run, broke);
  return broke;
}

std::vector<std::string> Campaign::ModeBreaks(bool Online, const FaultPlan& Plan, const RunRecord& Run) {
  std::vector<std::string> broke;
  const std::string wanted = Online ? "0" : "1";
  const std::string before = Run.ModeBefore.substr(Run.ModeBefore.size() - 1);
  if (!fs::exists(install_.Db())) {
    broke.push_back("database in place: the live database file is missing");
  } else {
    const std::string state = DatabaseState(install_.Db());
    if (state.rfind("106.1 ", 0) != 0) {
      broke.push_back("database in place: " + Short(state));
    } else {
      const std::string mode = state.substr(state.size() - 1);
      if (Run.Outcome == "done" && mode != wanted)
        broke.push_back("ending: done, but the database is in mode " + mode + ", not " + wanted);
      if (Run.Outcome == "failed" && mode != before)
        broke.push_back("ending: failed, but the database's mode changed from " + before + " to " + mode);
    }
  }
  if (Run.ServerLeftStopped) broke.push_back("online: the command left the server stopped");
  if (fs::exists(install_.Root() + "_")) broke.push_back("installation folder: left renamed");
  CommonBreaks(Plan, Run, broke);
  return broke;
}

} // namespace campaign
