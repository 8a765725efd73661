// CampaignTest - a fault at every call of a whole update run and of the
// database mode commands: the OS layer, the Firebird client, a payload
// program and a service command fail in turn, once or for good, and after
// every run the invariants are checked from outside (Campaign.h). The test
// prints the campaign's report and fails when a run broke an invariant.
//
// A run takes seconds (the server really stops and starts three times), so
// CTest runs a fixed sample of about forty: points spread over the final
// swap (the first call of each kind on each folder) and a stride through
// the rest, a few client calls, the payloads, each service command once,
// and two calls of each undoing; FAULT_CAMPAIGN=all runs every fault point
// (scripts/fault-campaign.sh).
#include "Campaign.h"
#include "FaultClient.h"
#include "FbTestServer.h"
#include "TestHosts.h"
#include "uSqlScript.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>

namespace fs = std::filesystem;
using namespace campaign;

namespace {

bool WholeCampaign() {
  const char* v = std::getenv("FAULT_CAMPAIGN");
  return v && std::string(v) == "all";
}

// The fault points among Count calls: every call of each phase of Phases
// and, unless Samples is 0, every other call too; in the sample, of each
// phase the first call of each kind on each folder and its last call (a
// run of the same call over the files of one folder fails alike), and a
// stride of about Samples points through the rest. Of a call, Key tells
// its kind and folder.
std::vector<long> Points(long Count, const std::vector<std::pair<long, long>>& Phases, long Samples,
                         const std::function<std::string(long)>& Key = nullptr) {
  std::vector<long> points;
  const long stride = Samples > 0 ? std::max(1L, Count / Samples) : 0;
  for (long k = 1; k <= Count; ++k) {
    bool pick = stride != 0 && (WholeCampaign() || (k - 1) % stride == 0);
    for (const auto& [from, to] : Phases) {
      if (k < from || k > to) continue;
      bool firstOfKind = true;
      for (long j = from; j < k && Key; ++j) firstOfKind = firstOfKind && Key(j) != Key(k);
      pick = pick || WholeCampaign() || !Key || firstOfKind || k == to;
    }
    if (pick) points.push_back(k);
  }
  return points;
}

// Whether the campaign covers the kind Name ("os", "client", "payload", "service",
// "undo"): FAULT_CAMPAIGN_KINDS lists the kinds of fault to run, all when unset.
bool Covers(const std::string& Name) {
  const char* v = std::getenv("FAULT_CAMPAIGN_KINDS");
  if (!v || !*v) return true;
  const std::string kinds = std::string(",") + v + ",";
  return kinds.find("," + Name + ",") != std::string::npos;
}

// At most Count of Points, evenly spread, in the sample; all of them in the
// whole campaign.
std::vector<long> AtMost(const std::vector<long>& Points, size_t Count) {
  if (WholeCampaign() || Points.size() <= Count) return Points;
  std::vector<long> kept;
  for (size_t i = 0; i < Count; ++i) kept.push_back(Points[i * Points.size() / Count]);
  return kept;
}

// An OS call's kind and folder.
std::function<std::string(long)> CallKey(const RunRecord& Run) {
  return [&Run](long k) {
    const CountedCall& c = Run.OsCalls[static_cast<size_t>(k - 1)];
    return c.Call + " " + c.Path.substr(0, c.Path.find_last_of('/'));
  };
}

// The OS calls of Run from its first log entry equal to From (the entry's
// own write included) up to the one equal to To (excluded; the end when
// not found).
std::pair<long, long> Phase(const RunRecord& Run, const std::string& From, const std::string& To) {
  long first = 0, last = static_cast<long>(Run.OsCalls.size());
  for (size_t i = 0; i < Run.Entries.size(); ++i) {
    if (first == 0 && Run.Entries[i] == From) first = static_cast<long>(Run.EntryCalls[i]) + 1;
    else if (first != 0 && Run.Entries[i] == To) {
      last = static_cast<long>(Run.EntryCalls[i]);
      break;
    }
  }
  return first == 0 ? std::pair{0L, -1L} : std::pair{first, last};
}

// With FAULT_CAMPAIGN_PROGRESS set, a line for every run as it ends, and
// the invariants it broke.
void Progress(const Report& report, const std::string& point, const RunRecord& run) {
  static const bool wanted = std::getenv("FAULT_CAMPAIGN_PROGRESS") != nullptr;
  static const Report* last = nullptr;
  static size_t shown = 0;
  if (!wanted) return;
  if (&report != last) last = &report, shown = 0;
  std::cerr << "run " << report.Runs << " (" << report.Broken << " broke): " << point << " -> " << run.Outcome << "\n";
  for (; shown < report.Breaks.size(); ++shown) std::cerr << "  " << report.Breaks[shown] << "\n";
  std::cerr.flush();
}

std::string U(const std::string& n) { return GetMsgText("uUpdate_UpdateProgramm_" + n); }

FaultPlan OsFault(long k, bool persist, const FaultPlan& base = {}) {
  FaultPlan p = base;
  p.Kind = "os";
  p.Mode = persist ? "persist" : "once";
  p.K = k;
  if (persist) p.OsFrom = k;
  else p.OsAt.push_back(k);
  return p;
}

FaultPlan ClientFault(long k, bool persist, const FaultPlan& base = {}) {
  FaultPlan p = base;
  p.Kind = "client";
  p.Mode = persist ? "persist" : "once";
  p.K = k;
  if (persist) p.ClientFrom = k;
  else p.ClientAt.push_back(k);
  return p;
}

class Campaigns : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    if (!campaign::ServerRuns()) campaign::StartServer();
    dir = new TempDir(".");
    c = new Campaign(fs::absolute(dir->Path()).lexically_normal().string());
  }
  static void TearDownTestSuite() {
    delete c;
    delete dir;
    if (!campaign::ServerRuns()) campaign::StartServer();
  }
  static TempDir* dir;
  static Campaign* c;
};
TempDir* Campaigns::dir = nullptr;
Campaign* Campaigns::c = nullptr;

TEST_F(Campaigns, WholeUpdate) {
  Report report("a whole update of Tamber with both parts", [](const std::string& t) { return c->Short(t); });
  const RunRecord clean = c->Update({});
  ASSERT_EQ(clean.Outcome, "updated") << clean.Message;
  ASSERT_TRUE(clean.OsInjected.empty() && clean.ClientInjected == 0);
  c->TakeUpdatedTrees();
  report.Add({}, "no fault", clean, c->UpdateBreaks({}, clean));
  const long osCalls = static_cast<long>(clean.OsCalls.size());
  const long clientCalls = static_cast<long>(clean.ClientCalls.size());
  std::cout << "clean run: " << osCalls << " OS calls, " << clientCalls << " client calls, " << clean.ServiceStarts
            << " service starts, " << clean.ServiceStops << " service stops\n";

  auto run = [&](const FaultPlan& plan, const std::string& point) {
    const RunRecord r = c->Update(plan);
    report.Add(plan, point, r, c->UpdateBreaks(plan, r));
    Progress(report, point, r);
    return r;
  };

  // The OS: the first call of each kind on each folder of the final swap
  // and a stride through the rest (in the sample, eight of them spread).
  const auto swap = Phase(clean, "Завершено обновление клиентской части", U("48"));
  if (Covers("os"))
    for (long k : AtMost(Points(osCalls, {swap}, 8, CallKey(clean)), 8))
      for (bool persist : {false, true}) run(OsFault(k, persist), c->OsPoint(clean, k));
  // The client.
  if (Covers("client"))
    for (long k : AtMost(Points(clientCalls, {}, 4), 4))
      for (bool persist : {false, true}) run(ClientFault(k, persist), c->ClientPoint(clean, k));
  // A payload program that fails.
  for (const char* payload : {"FILES", "FILES_G"}) {
    if (!Covers("payload")) break;
    FaultPlan p;
    p.Kind = "payload";
    p.Mode = payload;
    p.DamagedPayload = payload;
    run(p, std::string("the payload program ") + payload + " exits with a failure");
  }
  // A service command that fails: each start and each stop of the clean
  // run, once and (in the whole campaign) for good.
  for (const char* verb : {"start", "stop"}) {
    if (!Covers("service")) break;
    const int commands = std::string(verb) == "start" ? clean.ServiceStarts : clean.ServiceStops;
    for (int n = 1; n <= commands; ++n)
      for (bool persist : {false, true}) {
        if (persist && !WholeCampaign()) continue;
        FaultPlan p;
        p.Kind = std::string("service ") + verb;
        p.Mode = persist ? "persist" : "once";
        p.K = n;
        for (int m = n; m <= (persist ? commands + 8 : n); ++m) p.ServiceFails.push_back(m);
        run(p, std::string("the service's ") + verb + " command " + std::to_string(n));
      }
  }

  // The undoing: with a fault that makes the run undo what it changed, each
  // call of the undoing fails in turn (in the sample, two of them). First the rollback after a failed
  // structure script, then the swap undoing itself after a copy back that
  // failed.
  FaultPlan failingScript;
  failingScript.FailingScript = true;
  failingScript.Base = "a failing structure script";
  FaultPlan copyBack;
  for (long k = swap.first; k <= swap.second; ++k)
    if (clean.OsCalls[static_cast<size_t>(k - 1)].Call == "FileCopy" &&
        clean.OsCalls[static_cast<size_t>(k - 1)].Path.find("/TAMBER_RU/Program/") != std::string::npos) {
      copyBack = OsFault(k, false);
      copyBack.Base = "os once k=" + std::to_string(k) + " " + c->OsPoint(clean, k);
      break;
    }
  ASSERT_FALSE(copyBack.Base.empty()) << "the swap copies no file back into Program";
  for (FaultPlan base : {failingScript, copyBack}) {
    if (!Covers("undo")) break;
    // The base run itself: a plain OS fault is reported as one.
    FaultPlan first = base;
    if (base.Kind == "os") first.Base.clear();
    const RunRecord based = run(first, base.Base);
    const auto undo = Phase(based, U("45"), "");
    ASSERT_GT(undo.first, 0) << base.Base << ": no rollback";
    base.BaseOutcome = based.Outcome;
    for (long k : AtMost(Points(undo.second, {undo}, 0, CallKey(based)), 2))
      for (bool persist : {false, true}) run(OsFault(k, persist, base), c->OsPoint(based, k));
  }

  std::cout << report.Text();
  EXPECT_EQ(report.Broken, 0) << "runs broke an invariant; the report above lists them";
}

TEST_F(Campaigns, DatabaseModeCommands) {
  for (bool online : {false, true}) {
    Report report(online ? "the database mode command online" : "the database mode command shutdown",
                  [](const std::string& t) { return c->Short(t); });
    auto run = [&](const FaultPlan& plan, const std::string& point) {
      const RunRecord r = c->SwitchMode(online, plan);
      report.Add(plan, point, r, c->ModeBreaks(online, plan, r));
      Progress(report, point, r);
      return r;
    };
    const RunRecord clean = run({}, "no fault");
    ASSERT_EQ(clean.Outcome, "done") << clean.Message;
    // Every call: a command makes few.
    const long osCalls = static_cast<long>(clean.OsCalls.size());
  const long clientCalls = static_cast<long>(clean.ClientCalls.size());
    for (long k : Points(osCalls, {}, osCalls))
      for (bool persist : {false, true}) run(OsFault(k, persist), c->OsPoint(clean, k));
    for (long k : Points(clientCalls, {}, clientCalls))
      for (bool persist : {false, true}) run(ClientFault(k, persist), c->ClientPoint(clean, k));
    std::cout << report.Text();
    EXPECT_EQ(report.Broken, 0) << "runs broke an invariant; the report above lists them";
  }
}

} // namespace
