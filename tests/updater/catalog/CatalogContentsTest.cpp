// CatalogContentsTest - the catalogs compiled into the program: the message catalog's rows and the
// main window's translation table.
#include "TestHosts.h"
#include "uLDM.h"

#include <gtest/gtest.h>

#include <set>

namespace {

class BuiltInCatalog : public ::testing::Test {
protected:
  RecordingHost dialogs;
  TLDM ldm{dialogs, BuiltInMessageCatalog()};
  const std::vector<TLangRow>& Strings() const { return ldm.Sil.Rows(TSection::stStrings); }
};

int CountDelims(std::string_view stored, std::string_view key) {
  size_t at = stored.find(std::string("\r\n") + std::string(key) + "\x01");
  if (at == std::string_view::npos) return -1;
  size_t end = stored.find("\r\n", at + 2);
  int n = 0;
  for (size_t i = at + 2; i < end; ++i) n += stored[i] == LangDelim;
  return n;
}

} // namespace

TEST_F(BuiltInCatalog, HoldsEveryMessageRowWithAllColumns) {
  ASSERT_EQ(Strings().size(), 113u);
  EXPECT_EQ(ldm.Sil.Rows(TSection::stDlgsCaptions).size(), 15u);
  std::set<std::string> keys;
  for (const TLangRow& r : Strings()) {
    EXPECT_TRUE(keys.insert(r.Key).second) << "duplicate key " << r.Key;
    EXPECT_EQ(CountDelims(BuiltInMessageCatalog(), r.Key), 6) << r.Key;
    EXPECT_EQ(r.Text(1), r.Text(2)) << r.Key;
    EXPECT_FALSE(r.Text(1).empty()) << r.Key;
    bool onlyRussian = r.Key == "uUpdate_CopyFileWithBackUp_5";
    for (int l = 3; l <= 5; ++l)
      EXPECT_EQ(r.Text(l).empty(), onlyRussian) << r.Key << " column " << l;
    // German and French translate, they do not repeat the English text.
    if (!onlyRussian && r.Text(3).size() > 12) {
      EXPECT_NE(r.Text(4), r.Text(3)) << r.Key;
      EXPECT_NE(r.Text(5), r.Text(3)) << r.Key;
    }
    // Every column keeps the placeholders of the English text.
    for (int n = 0; n < 10; ++n) {
      std::string ph = "{" + std::to_string(n) + "}";
      bool inEnglish = r.Text(3).find(ph) != std::string::npos;
      for (int l = 4; l <= 5; ++l)
        EXPECT_EQ(r.Text(l).find(ph) != std::string::npos, inEnglish) << r.Key << " " << ph << " column " << l;
    }
    EXPECT_EQ(r.Text(1).find('\x19'), std::string::npos) << r.Key;
  }
}

TEST_F(BuiltInCatalog, ExactTexts) {
  struct Case {
    int Language;
    const char* Key;
    const char* Arg0;
    std::string Expected;
  } cases[] = {
      {2, "uUpdate_MyCreateDir_1", "C:\\ProgramData\\NorvelSoft", "Невозможно создать папку C:\\ProgramData\\NorvelSoft!"},
      {2, "uUpdate_MyCreateDir_1", "*Null*", "Невозможно создать папку {0}!"},
      {3, "uUpdate_CopyFileWithBackUp_5", "*Null*", "Проверка блокировок файла базы данных и замена рабочей базы обновленной версией"},
      {2, "uMain_FormCreate_1", "*Null*", "Updater ПО КЛУР ГК \"Норвел\": выберите проект"},
      {3, "uMain_FormCreate_1", "*Null*", "NORVEL software Updater: choose the project"},
      {3, "uMain_OkBtn_2", "*Null*", "The updating is in progress…"},
      {3, "uUpdate_UpdateProgramm_62", "*Null*", "The script checks the project caused the error! "},
      {3, "uUpdate_UpdateOnLine_02", "*Null*",
       "According to the specified path to the updatable program the update program has found out that there is no "
       "SERVER part of  the updatable program on this computer, that's why executing of this function is impossible!"},
      {2, "uMain_Finished_1", "*Null*", "Обновление прошло успешно.\r\nЗавершите работу с программой."},
      {2, "uMain_FormCreate_2", "*Null*",
       "Возможно, сервер Firebird не отвечает, поврежден или установлен\r\nсторонним разработчиком. Закройте "
       "Updater, перезагрузите\r\nкомпьютер и повторите запуск программы.\r\n\r\nЕсли ошибка повторится - "
       "обратитесь к разработчику."},
      {3, "uMain_FormCreate_2", "*Null*",
       "Probably the Firebird server is not responding, is damaged or has been\r\ninstalled by detached developper. "
       "Close the Updater, reboot\r\nyou copmputer and rerun the program.\r\n\r\nIf there is still error - please, "
       "contact the developer."},
      {2, "uUpdate_UpdateProgramm_11", "Иванов", "Иванов\r\n\r\nНеобходимо, чтобы все подключенные пользователи"},
      {3, "uMain_ClientLibrary_1", "C:\\Firebird\\bin\\fbclient.dll", "Firebird client library: C:\\Firebird\\bin\\fbclient.dll"},
      {4, "uMain_ClientLibrary_1", "C:\\Firebird\\bin\\fbclient.dll", "Firebird-Clientbibliothek: C:\\Firebird\\bin\\fbclient.dll"},
      {5, "uMain_ClientLibrary_2", "C:\\F\\fbclient.dll", "La bibliothèque cliente Firebird C:\\F\\fbclient.dll n'est pas utilisée :\r\n{1}"},
      {3, "uUpdate_UpdateProgramm_04", "C:\\T", "Neither CLEINT nor SERVER part of the program \"{1}\" has been found in the catalogue \"C:\\T\""},
  };
  for (const Case& c : cases) {
    ldm.Sild.SetActiveLanguage(c.Language);
    std::string got = GetMsgText(c.Key, c.Arg0);
    if (std::string(c.Key) == "uUpdate_UpdateProgramm_11") got = got.substr(0, c.Expected.size());
    EXPECT_EQ(got, c.Expected) << c.Key << " in language " << c.Language;
  }
  const TLangRow& yesToAll = ldm.Sil.Rows(TSection::stDlgsCaptions).back();
  EXPECT_EQ(yesToAll.Key, "Help");
  EXPECT_EQ(ldm.Sil.Rows(TSection::stDlgsCaptions)[13].Key, "Yes To All");
  EXPECT_EQ(ldm.Sil.Rows(TSection::stDlgsCaptions)[13].Text(1), "Yes to &All");
}

TEST_F(BuiltInCatalog, LeavingAWesternLanguageWarnsOfTheOneRussianOnlyRow) {
  const std::string warning =
      "Check for emptyes in:\r\rLDM:Sil (Strings):\r  uUpdate_CopyFileWithBackUp_5:"
      "Проверка блокировок файла базы данных и замена рабочей базы обновленной версией";
  struct Step {
    int To;
    bool Warns;
  } steps[] = {{2, false}, {3, false}, {3, true}, {2, true}, {4, false}, {5, true}, {2, true}, {2, false}};
  for (const Step& s : steps) {
    dialogs.Shown.clear();
    ldm.SetLanguage(s.To);
    if (s.Warns) {
      ASSERT_EQ(dialogs.Shown.size(), 1u) << "to " << s.To;
      EXPECT_EQ(dialogs.Shown[0].first, TMsgDlgType::Warning);
      EXPECT_EQ(dialogs.Shown[0].second, warning);
    } else {
      EXPECT_TRUE(dialogs.Shown.empty()) << "to " << s.To;
    }
    EXPECT_EQ(ldm.Sil.ActiveLanguage(), s.To);
  }
}

TEST_F(BuiltInCatalog, StartsInTheSystemLanguage) {
  const std::pair<std::uint16_t, int> cases[] = {
      {0x0419, 2}, {0x0407, 4}, {0x040C, 5}, {0x0409, 3}, {0x0410, 3}, {0x0422, 3}};
  LanguageSys sys;
  os::ScopedApi use(sys);
  for (auto [id, language] : cases) {
    RecordingHost d;
    TLDM fresh(d, BuiltInMessageCatalog());
    sys.Id = id;
    fresh.DataModuleCreate();
    EXPECT_EQ(fresh.Sil.ActiveLanguage(), language) << std::hex << id;
    EXPECT_TRUE(d.Shown.empty()) << "language 1 has no empty texts";
  }
}

TEST(MainWindowTable, CaptionsInEveryLanguageAndTheSharedRows) {
  TLangTable sill("frmMain", "Sill");
  InitMainWindowTable(sill, nullptr);
  const auto& captions = sill.Rows(TSection::stCaptions);
  ASSERT_EQ(captions.size(), 24u);
  for (const TLangRow& r : captions)
    for (int l = 1; l <= 5; ++l) EXPECT_FALSE(r.Text(l).empty()) << r.Key << " column " << l;
  auto caption = [&](const char* key, int l) -> std::string {
    for (const TLangRow& r : captions)
      if (r.Key == key) return r.Text(l);
    return "<none>";
  };
  EXPECT_EQ(caption("OKBtn", 2), "&Старт");
  EXPECT_EQ(caption("OKBtn", 3), "&Start");
  EXPECT_EQ(caption("gbConnection", 1), " Подключение  ");
  EXPECT_EQ(caption("lPassword", 2), "Системный пароль: (требуется при обновлении ");
  EXPECT_EQ(caption("bbProgramLocation", 2), "...");
  EXPECT_EQ(caption("bbProgramLocation", 3), "…");
  for (int l = 1; l <= 5; ++l) {
    EXPECT_EQ(caption("TfrmMain", l), "Updater");
    EXPECT_EQ(caption("mmProject_Tamber", l), "Tamber");
    EXPECT_EQ(caption("mmProject_TamberMini", l), "Tamber_Mini");
  }
  ASSERT_EQ(sill.Rows(TSection::stFonts).size(), 10u);
  ASSERT_EQ(sill.Rows(TSection::stCharSets).size(), 10u);
  for (size_t i = 0; i < 10; ++i) {
    const TLangRow& f = sill.Rows(TSection::stFonts)[i];
    const TLangRow& c = sill.Rows(TSection::stCharSets)[i];
    EXPECT_EQ(f.Key, c.Key);
    for (int l = 1; l <= 5; ++l) {
      EXPECT_EQ(f.Text(l), "Microsoft Sans Serif");
      EXPECT_EQ(c.Text(l), l <= 2 ? "RUSSIAN_CHARSET" : "ANSI_CHARSET") << c.Key;
    }
  }
  for (TSection s : {TSection::stHints, TSection::stMultiLines, TSection::stOtherStrings}) {
    EXPECT_FALSE(sill.Rows(s).empty()) << SectionName(s);
    for (const TLangRow& r : sill.Rows(s))
      for (int l = 1; l <= 5; ++l) EXPECT_TRUE(r.Text(l).empty()) << r.Key;
  }
  for (TSection s : {TSection::stDlgsCaptions, TSection::stLocales, TSection::stStrings})
    EXPECT_TRUE(sill.Rows(s).empty()) << SectionName(s);

  // Linking the table shows no warning: none of its captions is empty.
  RecordingHost dialogs;
  TLDM ldm(dialogs, BuiltInMessageCatalog());
  ldm.SetLanguage(3);
  dialogs.Shown.clear();
  ldm.LinkTable(sill);
  EXPECT_TRUE(dialogs.Shown.empty());
  EXPECT_EQ(sill.ActiveLanguage(), 3);
  ldm.UnlinkTable(sill);
}

TEST(MainWindowTable, SwitchingTheLanguageRelabelsTheWindow) {
  // The window's own captions are the Russian ones.
  FakeWindow w;
  TLangTable defaults("frmMain", "defaults");
  defaults.LoadFromStored(BuiltInMainWindowTable());
  for (const TLangRow& r : defaults.Rows(TSection::stCaptions)) w.Props[r.Key + ".Caption"] = r.Text(1);
  w.Props["pBtn.Caption"] = "";
  for (const TLangRow& r : defaults.Rows(TSection::stFonts)) w.Fonts[r.Key] = {"Microsoft Sans Serif", "RUSSIAN_CHARSET"};

  RecordingHost dialogs;
  TLDM ldm(dialogs, BuiltInMessageCatalog());
  ldm.SetLanguage(2);
  TLangTable sill("frmMain", "Sill");
  InitMainWindowTable(sill, &w);
  ldm.LinkTable(sill);
  EXPECT_EQ(w.Writes, 0) << "Russian is what the window shows already";

  ldm.SetLanguage(3);
  EXPECT_EQ(w.Props["OKBtn.Caption"], "&Start");
  EXPECT_EQ(w.Props["TfrmMain.Caption"], "Updater");
  EXPECT_EQ(w.Props["mmProject_Tamber.Caption"], "Tamber");
  EXPECT_EQ(w.Props["miLanguage.Caption"], "Language");
  EXPECT_EQ(w.Props["pBtn.Caption"], "");
  EXPECT_EQ(w.Fonts["mLog"], std::make_pair(std::string("Microsoft Sans Serif"), std::string("ANSI_CHARSET")));
  ldm.SetLanguage(2);
  EXPECT_EQ(w.Props["OKBtn.Caption"], "&Старт");
  EXPECT_EQ(w.Fonts["mLog"].second, "RUSSIAN_CHARSET");
  ldm.UnlinkTable(sill);
}
