// JournalTest - the run journal as it is written and read back, and what the
// next start does with what it finds when it cannot be sure: a journal that
// is not one, a database renamed aside without a journal; and the one thing
// it can always mend: the installation folder left under the lock check's
// name. (Runs killed at every step, with the server, are in the console's
// kill test.)
#include "SystemDoubles.h"
#include "TestHosts.h"
#include "uLDM.h"
#include "uRecovery.h"
#include "uRunJournal.h"
#include "uUpdate.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

void Write(const std::string& path, const std::string& bytes) {
  fs::create_directories(fs::u8path(path).parent_path());
  std::ofstream(fs::u8path(path), std::ios::binary | std::ios::trunc) << bytes;
}

// The system, with flushes recorded and the journal's writes failing on request.
struct FlushSys : os::Api {
  std::vector<std::string> Flushed;
  bool FailWrites = false;
  os::Status WriteFile(const std::string& p, const std::string& d, bool a) override {
    return FailWrites ? Injected("WriteFile", p) : os::Api::WriteFile(p, d, a);
  }
  os::Status FlushFile(const std::string& p) override {
    Flushed.push_back("file " + p);
    return os::Api::FlushFile(p);
  }
  os::Status FlushFolder(const std::string& p) override {
    Flushed.push_back("folder " + p);
    return os::Api::FlushFolder(p);
  }
};

class Journal : public ::testing::Test {
protected:
  RecordingHost host;
  ScopedHost useHost{host};
  TLDM ldm{host, BuiltInMessageCatalog()};
  TempDir dir;
  void SetUp() override { ldm.SetLanguage(English_Language); }
};

} // namespace

TEST_F(Journal, RecordsAreOnTheDiskBeforeTheStepAndReadBackAsWritten) {
  FlushSys sys;
  os::ScopedApi use(sys);
  const std::string file = JournalFileName(dir.Path());
  TRunJournal journal(file);
  const std::vector<TJournalRecord> records = {
      {TJournalStep::Run, dir.File("Tmp$111226140000"), ""},
      {TJournalStep::Shutdown, "", ""},
      {TJournalStep::ServerFile, dir.File("udf") + "QRX_UDF.dll", "{dlt}_C{3A}{5C}FB{5C}udf{5C}QRX_UDF.dll"},
      {TJournalStep::DbAside, dir.File("Tamber.fdb_"), ""},
      {TJournalStep::Done, "", ""},
  };
  for (const TJournalRecord& r : records) ASSERT_TRUE(journal.Record(r.Step, r.Value, r.Extra));
  // Each record flushed; the file's entry in its folder once, when it was made.
  ASSERT_EQ(sys.Flushed.size(), records.size() + 1);
  EXPECT_EQ(sys.Flushed[0], "file " + file);
  EXPECT_EQ(sys.Flushed[1].rfind("folder ", 0), 0u);

  std::vector<TJournalRecord> read;
  ASSERT_TRUE(ReadJournal(file, read));
  ASSERT_EQ(read.size(), records.size());
  for (size_t i = 0; i < read.size(); ++i) {
    EXPECT_EQ(read[i].Step, records[i].Step) << i;
    EXPECT_EQ(read[i].Value, records[i].Value) << i;
    EXPECT_EQ(read[i].Extra, records[i].Extra) << i;
  }
  EXPECT_TRUE(journal.Remove());
  EXPECT_FALSE(os::Sys().FileExists(file));
  EXPECT_TRUE(journal.Remove()) << "a journal that is gone already";
}

TEST_F(Journal, WhatIsNotAJournalIsNotReadAsOne) {
  const std::string file = dir.File("Updater.journal");
  const struct {
    const char* What;
    std::string Bytes;
    bool Journal;
    size_t Records;
  } cases[] = {
      {"two whole records", "run\tT\r\nshutdown\r\n", true, 2},
      {"a last record a crash cut short is not one", "run\tT\r\nshutdown\r\nlock\tC:\\In", true, 2},
      {"no run record first", "shutdown\r\nrun\tT\r\n", false, 0},
      {"an unknown step", "run\tT\r\nformat c:\r\n", false, 0},
      {"too many values", "run\tT\r\nserver-file\ta\tb\tc\r\n", false, 0},
      {"empty", "", false, 0},
  };
  for (const auto& c : cases) {
    Write(file, c.Bytes);
    std::vector<TJournalRecord> read = {{}};
    EXPECT_EQ(ReadJournal(file, read), c.Journal) << c.What;
    EXPECT_EQ(read.size(), c.Records) << c.What;
  }
  std::vector<TJournalRecord> read;
  EXPECT_FALSE(ReadJournal(dir.File("missing.journal"), read));
}

TEST_F(Journal, ARecordThatCannotBeWrittenFailsAndAValueMayNotBreakALine) {
  FlushSys sys;
  os::ScopedApi use(sys);
  TRunJournal journal(JournalFileName(dir.Path()));
  sys.FailWrites = true;
  EXPECT_FALSE(journal.Record(TJournalStep::Run, "T"));
  sys.FailWrites = false;
  EXPECT_FALSE(journal.Record(TJournalStep::DbAside, "a\r\nshutdown"));
  EXPECT_FALSE(journal.Record(TJournalStep::ServerFile, "a", "b\tc"));
}

TEST_F(Journal, TheNextStartRenamesTheInstallationFolderBackAndTouchesNothingItCannotBeSureOf) {
  host.Values = ProjectSettings("TAMBER", host.Values);
  const std::string root = dir.File("TAMBER_RU");
  const std::string db = root + os::path::Delim() + "DB_Data" + os::path::Delim() + "Tamber.fdb";

  // Left under the lock check's name, without a journal: the name goes back.
  Write(root + "_" + os::path::Delim() + "Program" + os::path::Delim() + "Tamber.exe", "client");
  EXPECT_NO_THROW(RecoverUnfinishedRun(root, host.Values, "pw"));
  EXPECT_TRUE(os::Sys().DirectoryExists(root));
  EXPECT_FALSE(os::Sys().DirectoryExists(root + "_"));
  ASSERT_EQ(host.Questions.size(), 1u) << "the user is asked first";
  EXPECT_NE(host.Questions[0].find(root + "_"), std::string::npos) << host.Questions[0];

  // A database renamed aside, none under its name, no journal: whose it is
  // nobody can tell, so it stays where it is and the message says where.
  Write(db + "_", "a database");
  const std::string error = MessageOf<EUpdateNeedsUser>([&] { RecoverUnfinishedRun(root, host.Values, "pw"); });
  EXPECT_NE(error.find(db + "_"), std::string::npos) << error;
  EXPECT_EQ(ReadFileBytes(db + "_"), "a database");
  EXPECT_FALSE(os::Sys().FileExists(db));

  // A journal that is not one: nothing is touched, nothing is asked.
  fs::remove(fs::u8path(db + "_"));
  Write(JournalFileName(root), "not a journal\r\n");
  host.Questions.clear();
  const std::string unreadable = MessageOf<EUpdateNeedsUser>([&] { RecoverUnfinishedRun(root, host.Values, "pw"); });
  EXPECT_NE(unreadable.find(JournalFileName(root)), std::string::npos) << unreadable;
  EXPECT_TRUE(host.Questions.empty());
  EXPECT_EQ(ReadFileBytes(JournalFileName(root)), "not a journal\r\n");

  // A journal that names what no run of this installation writes (a file
  // outside the server's folder, planted by someone who may write to the
  // installation folder) is not followed.
  host.Values.ServParams.ServerDir = dir.File("Firebird") + os::path::Delim();
  const std::string victim = dir.File("victim.dll");
  Write(victim, "precious");
  const std::string tmp = root + os::path::Delim() + "Tmp$111226140000";
  Write(tmp + os::path::Delim() + "Old" + os::path::Delim() + "Other" + os::path::Delim() + EncodeBackupName(victim),
        "planted");
  Write(JournalFileName(root), "run\t" + tmp + "\r\nshutdown\r\nserver-file\t" + victim + "\t" +
                                   EncodeBackupName(victim) + "\r\n");
  const std::string foreign = MessageOf<EUpdateNeedsUser>([&] { RecoverUnfinishedRun(root, host.Values, "pw"); });
  EXPECT_NE(foreign.find(JournalFileName(root)), std::string::npos) << foreign;
  EXPECT_EQ(ReadFileBytes(victim), "precious");
  EXPECT_TRUE(host.Questions.empty());

  // A No leaves everything as it is and cancels the command.
  fs::remove(fs::u8path(JournalFileName(root)));
  fs::rename(fs::u8path(root), fs::u8path(root + "_"));
  host.Answers = {false};
  EXPECT_NE(MessageOf<EUnfinishedRunLeft>([&] { RecoverUnfinishedRun(root, host.Values, "pw"); }), "<no error>");
  EXPECT_TRUE(os::Sys().DirectoryExists(root + "_"));
}
