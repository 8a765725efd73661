// Campaign - runs of a whole update and of the database mode commands with
// one fault planted in each, the invariants every run must keep, checked
// from outside the run, and the report of a campaign.
//
// A run fails OS calls (FaultSys), client calls (the forwarding client
// library), a payload program or a service command. Afterwards the disk,
// the database (through isql-fb) and the server are looked at, the ending
// is compared with them, and what the user saw (the log, the boxes, the
// message) is searched for the failure and for the password.
#pragma once

#include "FaultClientControl.h"
#include "FaultSys.h"
#include "Installation.h"
#include "uHost.h"
#include "uLDM.h"
#include "uRunLog.h"

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace campaign {

// What one run plants.
struct FaultPlan {
  std::string Kind = "none"; // "os", "client", "payload", "service start", "service stop", "none"
  std::string Mode;          // "once", "persist", or a payload's resource name
  long K = 0;                // the call (or the service command) that fails first
  std::vector<long> OsAt;    // OS calls that fail once
  long OsFrom = 0;           // every OS call from this one on fails
  std::vector<long> ClientAt;
  long ClientFrom = 0;
  std::string DamagedPayload; // "FILES" or "FILES_G"
  bool FailingScript = false; // the server payload's structure script fails
  std::vector<int> ServiceFails; // numbers of the service's Kind commands that fail
  std::string Base;             // a fault planted in every run of a series, for the report
  std::string BaseOutcome;      // how the series' run with the base fault alone ended
};

// What a run did and showed.
struct RunRecord {
  std::string Outcome; // "updated" / "done", "rolled back" / "failed", "needs user", "cancelled"
  std::string Message;
  std::vector<CountedCall> OsCalls;
  std::vector<os::Error> OsInjected;
  std::vector<std::string> ClientCalls;
  long ClientInjected = 0;
  std::vector<std::string> Entries;  // every text given to the log
  std::vector<size_t> EntryCalls;    // the OS calls counted before each entry
  std::vector<std::string> Pane;     // the log's lines as the window shows them
  std::string LogFile;               // the log file's bytes
  std::vector<std::pair<TMsgDlgType, std::string>> Shown;
  std::vector<std::string> Started;  // command lines of started processes
  int ServiceStarts = 0, ServiceStops = 0; // the service's commands run
  bool ServerLeftStopped = false;
  std::string ModeBefore;            // the mode commands: the database's state before
};

// The totals of a campaign and one line per run that broke an invariant.
struct Report {
  Report(std::string Title, std::function<std::string(const std::string&)> Shorten)
      : Title(std::move(Title)), Shorten(std::move(Shorten)) {}
  std::string Title;
  std::function<std::string(const std::string&)> Shorten; // paths of this machine in a message
  std::set<std::string> FaultPoints;
  int Runs = 0, Updated = 0, RolledBack = 0, NeedsUser = 0, Cancelled = 0, LeftStopped = 0, Broken = 0;
  std::vector<std::string> Breaks;
  void Add(const FaultPlan& Plan, const std::string& Point, const RunRecord& Run,
           const std::vector<std::string>& Broke);
  std::string Text() const;
};

// The host of the runs: the log goes through a real run log (a file of its
// own for every run, and the pane's lines), every question is answered Yes,
// boxes are recorded.
class CampaignHost : public IHost, public ILogPane {
public:
  explicit CampaignHost(const FaultSys& Sys) : sys_(Sys) {}
  TUpdateSettings Values;
  RunRecord* Record = nullptr;

  // A new log file in Dir/Logs for the next run (made through the native
  // layer).
  void NewLog(const std::string& Dir) { log_.Create(Dir); }
  const std::string& LogFileName() const { return log_.FileName(); }

  void AddLine(const std::string& Line) override;
  void ShowMessage(TMsgDlgType Type, const std::string& Text) override;
  bool AskYesNo(TMsgDlgType, const std::string&, TDefaultButton) override { return true; }
  void ProcessMessages() override {}
  [[noreturn]] void EndProgram() override;
  const TUpdateSettings& Settings() const override { return Values; }
  bool HadErrors() const override { return errors_; }
  void SetHadErrors(bool Value) override { errors_ = Value; }
  void SaveExceptionToLog(const std::string& Text) override;
  void SetStatusText(const std::string&) override {}

private:
  const FaultSys& sys_;
  TRunLog log_;
  bool errors_ = false;
};

class Campaign {
public:
  // The template below Dir, the payloads, the forwarding client and the
  // service played by the private server.
  explicit Campaign(const std::string& Dir);
  ~Campaign();

  // One whole update of the installation, laid anew, with Plan's faults.
  RunRecord Update(const FaultPlan& Plan);
  // One database mode command (online, else shutdown) on the installation
  // laid anew, its database put in the other mode first.
  RunRecord SwitchMode(bool Online, const FaultPlan& Plan);

  // The invariants a run broke, one line each.
  std::vector<std::string> UpdateBreaks(const FaultPlan& Plan, const RunRecord& Run);
  std::vector<std::string> ModeBreaks(bool Online, const FaultPlan& Plan, const RunRecord& Run);

  // The installation as the clean run left it: the reference of "updated".
  void TakeUpdatedTrees();

  // Paths of this machine shortened for a report: {ROOT}, {SERVER}, Tmp$.
  std::string Short(const std::string& Text) const;
  // The call K of a run, for a report: "FileCopy {ROOT}/Program/x".
  std::string OsPoint(const RunRecord& Run, long K) const;
  static std::string ClientPoint(const RunRecord& Run, long K);

  const Installation& Install() const { return install_; }

private:
  void Prepare(const FaultPlan& Plan);
  // Runs Body (the command, which sets Run's ending) with Plan's faults
  // armed and the fault layer in force, then collects what it did.
  void Armed(const FaultPlan& Plan, RunRecord& Run, const std::function<void()>& Body);
  void Collect(RunRecord& Run);
  // Breaks every run can show: the failure not named, the password seen.
  void CommonBreaks(const FaultPlan& Plan, const RunRecord& Run, std::vector<std::string>& Broke) const;
  // Whether Text is in the log, a box or the ending message.
  static bool Seen(const RunRecord& Run, const std::string& Text);

  std::string dir_, logs_, serviceDir_;
  FaultSys sys_;
  CampaignHost host_{sys_};
  ScopedHost useHost_{host_};
  TLDM ldm_{host_, BuiltInMessageCatalog()};
  Installation install_;
  Payloads payloads_;
  std::unique_ptr<FaultClient> client_;
  Tree clientBefore_, clientAfter_, serverBefore_, serverAfter_;
};

} // namespace campaign
