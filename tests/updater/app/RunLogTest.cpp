// RunLogTest - the run log: file names from the clock, the entry in the file and in the
// pane, the input/output error and the program-wide error hook.
#include "TestHosts.h"
#include "uRunLog.h"

#include <gtest/gtest.h>

TEST(RunLog, FileNameFromTheStartTime) {
  const std::pair<os::LocalDateTime, const char*> cases[] = {
      {{2025, 12, 9, 14, 30, 5}, "091225-143005_Updater.log"},
      {{2026, 1, 1, 0, 0, 0}, "010126-000000_Updater.log"},
      {{2099, 12, 31, 23, 59, 59}, "311299-235959_Updater.log"},
      {{2100, 2, 3, 4, 5, 6}, "030200-040506_Updater.log"},
  };
  for (const auto& [t, name] : cases) EXPECT_EQ(LogFileName(t), name);
}

TEST(RunLog, SplitsTextIntoPaneLines) {
  using L = std::vector<std::string>;
  const std::pair<const char*, L> cases[] = {
      {"abc", {"abc"}},
      {"a\r\nb", {"a", "b"}},
      {"a\rb\nc", {"a", "b", "c"}},
      {"\rscript error\r\nline", {"", "script error", "line"}},
      {"a\r\n\r\nb", {"a", "", "b"}},
      {"a\n\rb", {"a", "", "b"}},  // LF then a lone CR: two breaks
      {"a\r\n", {"a"}},            // a break at the very end starts no line
      {"a\r\n\r\n", {"a", ""}},
      {"\r\n", {""}},
      {"", {""}},
  };
  for (const auto& [text, lines] : cases) EXPECT_EQ(SplitLogLines(text), lines) << text;
}

class RunLogFile : public ::testing::Test {
protected:
  FixedClockSys sys;
  os::ScopedApi use{sys};
  TempDir dir;
  RecordingPane pane;
  TRunLog log;
};

TEST_F(RunLogFile, EntriesGoToThePaneThenTheFile) {
  log.Create(dir.Path() + os::path::Delim() + "prog");  // missing parents are created
  EXPECT_EQ(log.FileName(), dir.File("prog") + os::path::Delim() + "Logs" + os::path::Delim() + "091225-143005_Updater.log");
  EXPECT_EQ(ReadFileBytes(log.FileName()), "");

  log.SaveExceptionToLog(pane, "abc");
  log.SaveExceptionToLog(pane, "a\r\nb");
  log.SaveExceptionToLog(pane, "\rНе удалось: ошибка\r\nстрока 2");
  EXPECT_EQ(pane.Lines, (std::vector<std::string>{
                            "09.12.2025 - 14:30:05: abc",
                            "09.12.2025 - 14:30:05: a",
                            "\tb",
                            "09.12.2025 - 14:30:05: ",
                            "\tНе удалось: ошибка",
                            "\tстрока 2",
                        }));
  EXPECT_EQ(ReadFileBytes(log.FileName()),
            "\r09.12.2025 - 14:30:05: abc\r\n"
            "\r09.12.2025 - 14:30:05: a\r\nb\r\n"
            "\r09.12.2025 - 14:30:05: \rНе удалось: ошибка\r\nстрока 2\r\n");

  // A second start within the same second empties the same file.
  TRunLog again;
  again.Create(dir.File("prog"));
  EXPECT_EQ(again.FileName(), log.FileName());
  EXPECT_EQ(ReadFileBytes(log.FileName()), "");
}

TEST_F(RunLogFile, AnUnwritableFileFailsAfterThePaneLines) {
  log.Create(dir.Path());
  std::filesystem::remove(std::filesystem::path(log.FileName()));
  std::filesystem::remove(std::filesystem::path(dir.File("Logs")));
  EXPECT_THROW(log.SaveExceptionToLog(pane, "x\ny"), EInOutError);
  EXPECT_EQ(pane.Lines, (std::vector<std::string>{"09.12.2025 - 14:30:05: x", "\ty"}));
}

TEST_F(RunLogFile, AFolderThatCannotBeCreatedIsAnInputOutputErrorNamingTheFile) {
  // A file stands where the log folder should be.
  ASSERT_TRUE(os::Sys().WriteFile(dir.File("Logs"), "x", false));
  const std::string name = dir.File("Logs") + os::path::Delim() + "091225-143005_Updater.log";
  const std::string created = MessageOf<EInOutError>([&] { log.Create(dir.Path()); });
  EXPECT_EQ(created.rfind("I/O error: the log file " + name + " cannot be created\r", 0), 0u) << created;
  // Every later entry says which file it missed.
  const std::string written = MessageOf<EInOutError>([&] { log.SaveExceptionToLog(pane, "x"); });
  EXPECT_EQ(written.rfind("I/O error: the log file " + name + " cannot be written\r", 0), 0u) << written;
}

TEST_F(RunLogFile, TheErrorHookLogsAndShowsOnlyErrorsWithAMessage) {
  RecordingHost dialogs;
  log.Create(dir.Path());
  AEException(log, pane, dialogs, std::runtime_error(""));
  AEException(log, pane, dialogs, EAbort("Cancel"));
  EXPECT_TRUE(pane.Lines.empty());
  EXPECT_TRUE(dialogs.Shown.empty());
  EXPECT_EQ(ReadFileBytes(log.FileName()), "");

  AEException(log, pane, dialogs, std::runtime_error("Сбой"));
  EXPECT_EQ(pane.Lines, std::vector<std::string>{"09.12.2025 - 14:30:05: Сбой"});
  ASSERT_EQ(dialogs.Shown.size(), 1u);
  EXPECT_EQ(dialogs.Shown[0].first, TMsgDlgType::Error);
  EXPECT_EQ(dialogs.Shown[0].second, "Сбой");
  EXPECT_EQ(ReadFileBytes(log.FileName()), "\r09.12.2025 - 14:30:05: Сбой\r\n");

  // With the file gone the user still sees the error, and why it is not logged.
  std::filesystem::remove(std::filesystem::path(log.FileName()));
  dialogs.Shown.clear();
  AEException(log, pane, dialogs, std::runtime_error("Сбой 2"));
  ASSERT_EQ(dialogs.Shown.size(), 1u);
  EXPECT_EQ(dialogs.Shown[0].second.rfind("Сбой 2\rI/O error", 0), 0u) << dialogs.Shown[0].second;
}

TEST(RunLogNative, DateAndTimeComeFromTheSystem) {
  // The real clock and regional formats: the stamp is "D - H: ".
  TempDir dir;
  RecordingPane pane;
  TRunLog log;
  log.Create(dir.Path());
  log.SaveExceptionToLog(pane, "x");
  ASSERT_EQ(pane.Lines.size(), 1u);
  const std::string& line = pane.Lines[0];
  ASSERT_GT(line.size(), 8u);
  EXPECT_NE(line.find(" - "), std::string::npos) << line;
  EXPECT_EQ(line.substr(line.size() - 3), ": x") << line;
  // The file reads the clock again, so its stamp may be a second later.
  std::string entry = ReadFileBytes(log.FileName());
  EXPECT_EQ(entry.substr(0, 1), "\r");
  EXPECT_NE(entry.find(" - "), std::string::npos) << entry;
  EXPECT_EQ(entry.substr(entry.size() - 5), ": x\r\n");
}
