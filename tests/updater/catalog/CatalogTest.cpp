// CatalogTest - the message catalog's machinery on small stored tables: loading, lookup,
// placeholder filling, language switching and the empty-text check.
#include "TestHosts.h"
#include "uLDM.h"

#include <gtest/gtest.h>


namespace {

// One stored row: key and five texts, each behind a 0x01, and a final 0x01.
std::string Row(const std::string& key, const std::array<std::string, 5>& t) {
  std::string r = key;
  for (const std::string& s : t) r += "\x01" + s;
  return r + "\x01\r\n";
}

std::string SmallCatalog() {
  return "stCaptions\r\nstHints\r\nstStrings\r\n" +
         Row("uTest_Folder_1", {"Папка {0}!", "Папка {0}!", "Folder {0}!", "Ordner {0}!", "Dossier {0}!"}) +
         Row("uTest_Twice_1", {"{0}+{0}", "{0}+{0}", "{0} and {0}", "", ""}) +
         Row("uTest_Chain_1", {"<{0}|{1}>", "<{0}|{1}>", "<{0}|{1}>", "<{0}|{1}>", "<{0}|{1}>"}) +
         Row("uTest_Fallback_1", {"Только по-русски", "Только по-русски", "", "", ""}) +
         Row("uTest_Break_1", {"a\x19\x1A" "b", "a\x19\x1A" "b", "one\x19\x1Atwo\x19\x1A\x19\x1Athree", "x", "y"}) +
         Row("uTest_Empty_1", {"", "", "", "", ""}) + "stOtherStrings\r\n";
}

class CatalogTest : public ::testing::Test {
protected:
  RecordingHost dialogs;
  TLDM ldm{dialogs, SmallCatalog()};
};

} // namespace

TEST_F(CatalogTest, GetMsgTextFillsPlaceholdersInOrder) {
  const std::string N = kNullArg;
  struct Case {
    int Language;
    std::string Key;
    std::vector<std::string> Args;
    std::string Expected;
  } cases[] = {
      {2, "uTest_Folder_1", {"C:\\Data"}, "Папка C:\\Data!"},
      {2, "uTest_Folder_1", {}, "Папка {0}!"},                       // all "*Null*"
      {2, "UTEST_FOLDER_1", {"x"}, "Папка x!"},                      // key in other letter case
      {2, "utest_folder_1", {"x"}, "Папка x!"},
      {3, "uTest_Folder_1", {""}, "Folder !"},                       // empty argument
      {3, "uTest_Folder_1", {"*null*"}, "Folder *null*!"},           // marker is case-sensitive
      {3, "uTest_Folder_1", {"*Null* "}, "Folder *Null* !"},
      {3, "uTest_Twice_1", {"W"}, "W and W"},                        // repeated placeholder
      {3, "uTest_Chain_1", {"{1}", "W"}, "<W|W>"},                   // "{1}" inside argument 0
      {3, "uTest_Chain_1", {"{0}", "W"}, "<{0}|W>"},                 // no re-scan of a step
      {3, "uTest_Chain_1", {N, "W"}, "<{0}|W>"},
      {4, "uTest_Twice_1", {"W"}, "W+W"},                            // empty cell: column 1
      {3, "uTest_Fallback_1", {}, "Только по-русски"},
      {3, "uTest_Break_1", {}, "one\r\ntwo\r\n\r\nthree"},           // 0x19 0x1A is CR LF
      {2, "uTest_Break_1", {}, "a\r\nb"},
      {3, "uTest_Unknown_1", {"x", "y"}, ""},                       // unknown key
      {3, "", {}, ""},
      {3, "uTest_Empty_1", {"x"}, ""},                               // empty everywhere
  };
  for (const Case& c : cases) {
    ldm.Sild.SetActiveLanguage(c.Language);
    std::vector<std::string> a = c.Args;
    a.resize(10, N);
    EXPECT_EQ(GetMsgText(c.Key, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9]), c.Expected)
        << c.Key << " in language " << c.Language;
  }
}

TEST_F(CatalogTest, AllTenPlaceholdersAreFilled) {
  TLDM many(dialogs, "stStrings\r\n" + Row("k", {"{9}{8}{7}{6}{5}{4}{3}{2}{1}{0}", "", "", "", ""}));
  EXPECT_EQ(GetMsgText("k", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9"), "9876543210");
}

TEST(CatalogLoader, MalformedRowsAreReadAsFarAsTheyGo) {
  struct Case {
    std::string Stored;
    std::string Key;
    std::array<std::string, 5> Texts;
  } cases[] = {
      {"stStrings\r\nbare\r\n", "bare", {}},                                            // no delimiter
      {"stStrings\r\nk\x01one\r\n", "k", {"one", "", "", "", ""}},                      // field beyond the last delimiter
      {"stStrings\r\nk\x01" "a\x01" "b\r\n", "k", {"a", "b", "", "", ""}},
      {"stStrings\r\nk\x01\x01\x01\x01\x01" "e\x01" "f\x01g\r\n", "k", {"", "", "", "", "e"}},  // surplus fields
      {"STSTRINGS\r\nk\x01" "1\x01" "2\x01" "3\x01" "4\x01" "5\x01", "k", {"1", "2", "3", "4", "5"}},  // no final CR LF
      {"stStrings\r\nk\x01\x19\x1A\x19\r\n", "k", {"\r\n\r", "", "", "", ""}},
  };
  for (const Case& c : cases) {
    TLangTable t("Owner", "T");
    t.LoadFromStored(c.Stored);
    ASSERT_EQ(t.Rows(TSection::stStrings).size(), 1u) << c.Stored;
    const TLangRow& r = t.Rows(TSection::stStrings)[0];
    EXPECT_EQ(r.Key, c.Key);
    EXPECT_EQ(r.Texts, c.Texts) << c.Stored;
  }
}

TEST(CatalogLoader, RowsOutsideAKnownSectionAndEmptyInputs) {
  TLangTable t("Owner", "T");
  // Rows before any header are dropped; an unknown header is itself a row of
  // the section in force; empty lines are skipped.
  t.LoadFromStored("orphan\x01x\x01\r\n\r\nstHints\r\nstNoSuchSection\r\nh\x01" "a\x01\r\n");
  ASSERT_EQ(t.Rows(TSection::stHints).size(), 2u);
  EXPECT_EQ(t.Rows(TSection::stHints)[0].Key, "stNoSuchSection");
  EXPECT_EQ(t.Rows(TSection::stHints)[1].Text(1), "a");
  for (int s = 0; s < kSectionCount; ++s) {
    if (s == static_cast<int>(TSection::stHints)) continue;
    EXPECT_TRUE(t.Rows(static_cast<TSection>(s)).empty()) << s;
  }

  for (const char* stored : {"", "\r\n", "\x01\x01\x01", "stStrings", "stStrings\r", "\r"}) {
    TLangTable e("Owner", "E");
    e.LoadFromStored(stored);
    EXPECT_TRUE(e.Rows(TSection::stStrings).empty()) << stored;
  }
}

TEST_F(CatalogTest, LanguageNumbersOutsideOneToFiveEndTheProgram) {
  struct Case {
    int Language;
    const char* Message;
  } cases[] = {
      {0, "0 - is not a valid property value!\rValue must be within [1..5]!"},
      {6, "6 - is not a valid property value!\rValue must be within [1..5]!"},
      {-1, "-1 - is not a valid property value!\rValue must be within [1..5]!"},
  };
  for (const Case& c : cases) {
    dialogs.Shown.clear();
    EXPECT_THROW(ldm.SetLanguage(c.Language), ProgramEnded) << c.Language;
    ASSERT_FALSE(dialogs.Shown.empty());
    EXPECT_EQ(dialogs.Shown.back().first, TMsgDlgType::Error);
    EXPECT_EQ(dialogs.Shown.back().second, c.Message);
    EXPECT_EQ(ldm.Sil.ActiveLanguage(), 1);
  }
  EXPECT_NO_THROW(ldm.SetLanguage(5));
  EXPECT_EQ(ldm.Sil.ActiveLanguage(), 5);
}

TEST_F(CatalogTest, EmptyTextsAreListedBeforeTheSwitch) {
  // Starting in 1 nothing is empty except uTest_Empty_1; switching away from
  // a language checks the language that was active until now.
  ldm.SetLanguage(3);
  ASSERT_EQ(dialogs.Shown.size(), 1u);
  EXPECT_EQ(dialogs.Shown[0].first, TMsgDlgType::Warning);
  EXPECT_EQ(dialogs.Shown[0].second, "Check for emptyes in:\r\rLDM:Sil (Strings):\r  uTest_Empty_1:");

  dialogs.Shown.clear();
  ldm.SetLanguage(2); // leaving English: uTest_Fallback_1 and uTest_Empty_1 are empty there
  ASSERT_EQ(dialogs.Shown.size(), 1u);
  EXPECT_EQ(dialogs.Shown[0].second,
            "Check for emptyes in:\r\rLDM:Sil (Strings):\r  uTest_Fallback_1:Только по-русски\r  uTest_Empty_1:");
  EXPECT_EQ(ldm.Sil.ActiveLanguage(), 2);
}

TEST(ListEmptyTexts, JoinsCaptionsAndStringsWithOneCR) {
  TLangTable t("frmTest", "Sill");
  t.LoadFromStored("stCaptions\r\n" + Row("lA", {"A", "", "", "", ""}) + Row("lB", {"B", "", "", "", ""}) +
                   "stStrings\r\n" + Row("s1", {"S", "", "", "", ""}));
  RecordingHost dialogs;
  TLDM ldm(dialogs, "stStrings\r\n");
  ldm.Sild.SetActiveLanguage(2);
  t.SetActiveLanguage(2);
  EXPECT_EQ(ListEmptyTexts(t, TSection::stCaptions), " (Captions):\r  lA:A\r  lB:B");
  EXPECT_EQ(ListEmptyTexts(t, TSection::stStrings), " (Strings):\r  s1:S");
  ldm.CheckEmptyTexts(t);
  ASSERT_EQ(dialogs.Shown.size(), 1u);
  EXPECT_EQ(dialogs.Shown[0].second,
            "Check for emptyes in:\r\rfrmTest:Sill (Captions):\r  lA:A\r  lB:B\r (Strings):\r  s1:S");
  t.SetActiveLanguage(1);
  EXPECT_EQ(ListEmptyTexts(t, TSection::stCaptions), "");
}


TEST(WindowTable, AppliesEachSectionOnlyWhereTheTextIsSetAndNew) {
  TLangTable t("frmTest", "Sill");
  t.LoadFromStored("stCaptions\r\n" + Row("TfrmTest", {"Окно", "Окно", "Window", "Fenster", "Fenêtre"}) +
                   Row("okBtn", {"&Старт", "&Старт", "&Start", "&Start", "&Démarrer"}) +
                   Row("pBtn", {"П", "П", "P", "P", "P"}) +                       // excluded
                   Row("lKeep", {"Метка", "Метка", "", "", ""}) +                 // no fallback
                   "stHints\r\n" + Row("okBtn", {"", "", "Starts", "", ""}) +
                   "stMultiLines\r\n" + Row("mList.Lines", {"", "", "a,\"b,c\",d", "", ""}) +
                   "stOtherStrings\r\n" + Row("eName.Text", {"", "", "name", "", ""}) +
                   "stFonts\r\n" + Row("okBtn", {"Sans", "Sans", "Sans", "Sans", "Sans"}) +
                   Row("pBtn", {"Sans", "Sans", "Sans", "Sans", "Sans"}) +   // takes its parent's font
                   "stCharSets\r\n" + Row("okBtn", {"RUSSIAN_CHARSET", "RUSSIAN_CHARSET", "ANSI_CHARSET", "ANSI_CHARSET", "ANSI_CHARSET"}));
  FakeWindow w;
  w.Props = {{"TfrmTest.Caption", "Окно"}, {"okBtn.Caption", "&Старт"}, {"pBtn.Caption", "П"},
             {"lKeep.Caption", "Метка"}, {"okBtn.Hint", ""}, {"eName.Text", ""}};
  w.Lines["mList"] = {};
  w.Fonts["okBtn"] = {"Sans", "RUSSIAN_CHARSET"};
  t.SetTarget(&w);
  t.SetExclusions({"pBtn.Caption"});

  TLangDispatcher d;
  d.Link(t);
  EXPECT_EQ(w.Writes, 0); // language 1 equals the window's own texts
  d.SetActiveLanguage(3);
  EXPECT_EQ(w.Props["TfrmTest.Caption"], "Window");
  EXPECT_EQ(w.Props["okBtn.Caption"], "&Start");
  EXPECT_EQ(w.Props["pBtn.Caption"], "П");
  EXPECT_EQ(w.Props["lKeep.Caption"], "Метка");
  EXPECT_EQ(w.Props["okBtn.Hint"], "Starts");
  EXPECT_EQ(w.Props["eName.Text"], "name");
  EXPECT_EQ(w.Lines["mList"], (std::vector<std::string>{"a", "b,c", "d"}));
  EXPECT_EQ(w.Fonts["okBtn"], std::make_pair(std::string("Sans"), std::string("ANSI_CHARSET")));
  EXPECT_EQ(w.Fonts.count("pBtn"), 0u);

  int writes = w.Writes;
  d.SetActiveLanguage(3); // the active language again: nothing re-labelled
  EXPECT_EQ(w.Writes, writes);
  d.SetActiveLanguage(4); // only what differs is written
  EXPECT_EQ(w.Props["TfrmTest.Caption"], "Fenster");
  EXPECT_EQ(w.Props["okBtn.Caption"], "&Start");
  EXPECT_EQ(w.Props["okBtn.Hint"], "Starts"); // empty cell leaves the property
  EXPECT_EQ(w.Writes, writes + 1);
}
