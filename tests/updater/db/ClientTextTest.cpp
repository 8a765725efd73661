// ClientTextTest - texts between the updater and the Firebird client, both ways.
// What reaches the client when the installation folder, the user or the
// password holds letters outside ASCII: on Windows every call hands them
// over in the system's ANSI code page (script runs in either character set,
// the Services API, the attachment, the engine library called directly), and
// a character the code page cannot hold is refused with a message that names
// it, before anything reaches the client; elsewhere they go as UTF-8. What
// comes back (the messages of a refusal, the names of attached users) is in
// the same form and reaches the updater's reports as UTF-8. A stand-in
// client records the bytes it receives and answers with the bytes a test
// gives it; it lies in a folder with a Cyrillic name, as the program's own
// folder may.
#include "StandInClient.h"
#include "TestHosts.h"
#include "os/OsLayer.h"
#include "sqlscript.h"
#include "uDBConnection.h"
#include "uSqlScript.h"

#include <gtest/gtest.h>
#include <ibase.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace {

// The native system without the wait after a shutdown request.
class NoWaitSys : public os::Api {
public:
  void Sleep(std::uint32_t) override {}
};

// What the client receives for the path, the user and the password, or the
// messages with which the updater and the engine refuse them.
struct Outcome {
  std::string Path, User, Password;
  std::string Refusal;       // the updater's message; empty: handed over
  std::string EngineRefusal; // the engine library's reason for the same
};

struct Case {
  const char* Name;
  std::string Path, User, Password; // UTF-8
  Outcome Cp1251, Cp1252;           // on Windows, by the system's ANSI code page
};

const std::string kPassword = "masterkey";

const Case kCases[] = {
    {"a Cyrillic installation folder", "C:\\Тамбер\\DB\\TAMBER.FDB", "SYSDBA", kPassword,
     {"C:\\\xD2\xE0\xEC\xE1\xE5\xF0\\DB\\TAMBER.FDB", "SYSDBA", kPassword, "", ""},
     {"", "", "", "Символ «Т» пути к базе данных не представим в кодовой странице ANSI системы (1252)!",
      "The character U+0422 of db_name is not in the system's ANSI code page (1252)"}},
    {"a Western installation folder", "C:\\Données\\TAMBER.FDB", "SYSDBA", kPassword,
     {"", "", "", "Символ «é» пути к базе данных не представим в кодовой странице ANSI системы (1251)!",
      "The character U+00E9 of db_name is not in the system's ANSI code page (1251)"},
     {"C:\\Donn\xE9" "es\\TAMBER.FDB", "SYSDBA", kPassword, "", ""}},
    {"a Cyrillic user", "C:\\DB\\T.FDB", "ИВАНОВ", kPassword,
     {"C:\\DB\\T.FDB", "\xC8\xC2\xC0\xCD\xCE\xC2", kPassword, "", ""},
     {"", "", "", "Символ «И» имени пользователя не представим в кодовой странице ANSI системы (1252)!",
      "The character U+0418 of user_name is not in the system's ANSI code page (1252)"}},
    {"a Cyrillic password, whose characters are not repeated", "C:\\DB\\T.FDB", "SYSDBA", "пароль",
     {"C:\\DB\\T.FDB", "SYSDBA", "\xEF\xE0\xF0\xEE\xEB\xFC", "", ""},
     {"", "", "", "Пароль содержит символ, не представимый в кодовой странице ANSI системы (1252)!",
      "The password holds a character that is not in the system's ANSI code page (1252)"}},
    {"a character neither code page holds", "C:\\DB\\日本.FDB", "SYSDBA", kPassword,
     {"", "", "", "Символ «日» пути к базе данных не представим в кодовой странице ANSI системы (1251)!",
      "The character U+65E5 of db_name is not in the system's ANSI code page (1251)"},
     {"", "", "", "Символ «日» пути к базе данных не представим в кодовой странице ANSI системы (1252)!",
      "The character U+65E5 of db_name is not in the system's ANSI code page (1252)"}},
};

// A one-byte-length item of an attach block.
std::string Item(char Tag, const std::string& Value) {
  return std::string(1, Tag) + static_cast<char>(Value.size()) + Value;
}

std::string MessageOfAny(const std::function<void()>& f) {
  try {
    f();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "<no error>";
}

std::vector<std::string> engineErrors;
int32_t SQLSCRIPT_CALL RecordConnectError(const char* Text) {
  engineErrors.push_back(Text);
  return 0;
}

class ClientTexts : public ::testing::Test {
protected:
  void SetUp() override {
#ifdef _WIN32
    // A run that is meant for one code page makes sure it has it.
    if (const char* acp = std::getenv("EXPECT_ANSI_CODE_PAGE")) {
      ASSERT_EQ(GetACP(), std::strtoul(acp, nullptr, 10));
    }
#endif
    const std::string program = os::path::FolderOf(os::Sys().ProgramFile());
    const std::string folder = dir_.File("Тамбер");
    ASSERT_TRUE(os::Sys().CreateDirectories(folder));
    clientLib_ = os::path::Join(folder, STANDIN_CLIENT);
    ASSERT_TRUE(os::Sys().FileCopy(program + STANDIN_CLIENT, clientLib_, false));
    standIn_ = os::Sys().LoadSharedLibrary(clientLib_);
    ASSERT_TRUE(standIn_);
    record_ = reinterpret_cast<StandInRecordFn>(os::Sys().Symbol(standIn_, kStandInRecord));
    reset_ = reinterpret_cast<StandInResetFn>(os::Sys().Symbol(standIn_, kStandInReset));
    refuseWith_ = reinterpret_cast<StandInRefuseWithFn>(os::Sys().Symbol(standIn_, kStandInRefuseWith));
    answerInfo_ = reinterpret_cast<StandInAnswerInfoFn>(os::Sys().Symbol(standIn_, kStandInAnswerInfo));
    ASSERT_TRUE(record_ && reset_ && refuseWith_ && answerInfo_);
  }

  // What this system should hand to the client for the case.
  static Outcome Expected(const Case& c) {
#ifdef _WIN32
    if (GetACP() == 1251) return c.Cp1251;
    if (GetACP() == 1252) return c.Cp1252;
    ADD_FAILURE() << "no expectation for the ANSI code page " << GetACP();
    return {};
#else
    return {c.Path, c.User, c.Password, "", ""};
#endif
  }

  NoWaitSys sys_;
  os::ScopedApi use_{sys_};
  TempDir dir_;
  std::string clientLib_;
  os::Library standIn_;
  StandInRecordFn record_ = nullptr;
  StandInResetFn reset_ = nullptr;
  StandInRefuseWithFn refuseWith_ = nullptr;
  StandInAnswerInfoFn answerInfo_ = nullptr;
};

TEST_F(ClientTexts, ReachTheClientInTheSystemsFormInEveryCall) {
  const std::string server = "localhost/3051:";
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.Name);
    const Outcome want = Expected(c);
    const std::string db = server + c.Path;
    const std::string attachRefused = kStandInRefusal;

    // A database attachment: by the engine in a script run of either
    // character set, by the engine called directly, and by the updater.
    struct Attach {
      const char* Name;
      std::function<std::string()> Call; // the raised message
      std::string Refused;               // what the caller raises when the client refuses it
      std::string Refusal;               // what the caller raises when a text is refused
    };
    const os::Library engine = os::Sys().LoadSharedLibrary(os::SharedLibraryFileName("sqlscript"));
    ASSERT_TRUE(engine);
    auto connect = reinterpret_cast<decltype(&::Connect)>(os::Sys().Symbol(engine, "Connect"));
    ASSERT_NE(connect, nullptr);
    const Attach attaches[] = {
        {"WIN1251 script run",
         [&] { return MessageOfAny([&] { RunScriptText(clientLib_, db, c.User, "WIN1251", c.Password, "", "select 1",
                                                       nullptr, 0); }); },
         "Ошибка подключения к базе данных!\r" + attachRefused, want.Refusal},
        {"UTF8 script run",
         [&] { return MessageOfAny([&] { RunScriptText(clientLib_, db, c.User, "UTF8", c.Password, "", "select 1",
                                                       nullptr, 0); }); },
         "Ошибка подключения к базе данных!\r" + attachRefused, want.Refusal},
        {"the engine's Connect",
         [&] {
           engineErrors.clear();
           const std::string cs = BuildConnectString(db, c.Password, c.User, "UTF8", "", clientLib_);
           EXPECT_EQ(connect(cs.c_str(), RecordConnectError), 1);
           EXPECT_EQ(engineErrors.size(), 1u) << "one report per failed Connect";
           return engineErrors.empty() ? std::string() : engineErrors.back();
         },
         attachRefused, want.EngineRefusal},
        {"attached users",
         [&] {
           std::vector<std::string> users;
           return MessageOfAny([&] { GetAttachedUsers(clientLib_, db, c.User, c.Password, "", users); });
         },
         attachRefused, want.Refusal},
    };
    for (const Attach& a : attaches) {
      SCOPED_TRACE(a.Name);
      reset_();
      const std::string raised = a.Call();
      const std::vector<StandInCall>& calls = record_();
      if (!want.Refusal.empty()) {
        EXPECT_EQ(raised, a.Refusal);
        EXPECT_TRUE(calls.empty()) << "nothing reaches the client";
        continue;
      }
      EXPECT_EQ(raised, a.Refused);
      ASSERT_EQ(calls.size(), 1u);
      EXPECT_EQ(calls[0].Entry, "isc_attach_database");
      EXPECT_EQ(calls[0].Name, server + want.Path);
      EXPECT_NE(calls[0].Block.find(Item(isc_dpb_user_name, want.User)), std::string::npos);
      EXPECT_NE(calls[0].Block.find(Item(isc_dpb_password, want.Password)), std::string::npos);
    }

    // The Services API: the attachment to the service manager and the request.
    struct Service {
      const char* Name;
      std::function<void()> Call;
      std::function<std::string(const std::string&)> Request;
    };
    const Service services[] = {
        {"shutdown", [&] { DatabaseShutdown(clientLib_, db, c.User, c.Password); }, ShutdownRequest},
        {"online", [&] { DatabaseOnline(clientLib_, db, c.User, c.Password); }, OnlineRequest},
    };
    for (const Service& s : services) {
      SCOPED_TRACE(s.Name);
      reset_();
      const std::string raised = MessageOfAny(s.Call);
      const std::vector<StandInCall>& calls = record_();
      if (!want.Refusal.empty()) {
        EXPECT_EQ(raised, want.Refusal);
        EXPECT_TRUE(calls.empty()) << "nothing reaches the client";
        continue;
      }
      EXPECT_EQ(raised, "<no error>");
      ASSERT_EQ(calls.size(), 2u);
      EXPECT_EQ(calls[0].Name, server + "service_mgr");
      EXPECT_NE(calls[0].Block.find(Item(isc_spb_user_name, want.User)), std::string::npos);
      EXPECT_NE(calls[0].Block.find(Item(isc_spb_password, want.Password)), std::string::npos);
      EXPECT_EQ(calls[1].Block, s.Request(want.Path));
    }
  }
}

// The system whose client gives back the bytes of a case: its ANSI code
// page on Windows, kNative elsewhere.
constexpr unsigned kNative = 0;
unsigned ThisSystem() {
#ifdef _WIN32
  return GetACP();
#else
  return kNative;
#endif
}

// Texts as the client gives them back, and as the updater reports them.
// On Windows the client's bytes are in the system's ANSI code page: a
// Firebird 2.x server quotes a path as it received it, the system's error
// texts are in it, and user names are what the clients sent. Elsewhere they
// are UTF-8, which a broken server may still spoil.
struct Returned {
  const char* Name;
  unsigned System;                // where the client gives these bytes
  std::vector<std::string> Sent;  // the client's messages or names
  std::vector<std::string> Shown; // the same in UTF-8
};

const std::string kReplaced = "\xEF\xBF\xBD"; // U+FFFD

const Returned kMessages[] = {
    {"a Cyrillic path the server quotes and the system's text", 1251,
     {"I/O error during \"CreateFile (open)\" operation for file \"C:\\\xD2\xE0\xEC\xE1\xE5\xF0\\TAMBER.FDB\"",
      "Error while trying to open file", "\xD4\xE0\xE9\xEB \xED\xE5 \xED\xE0\xE9\xE4\xE5\xED."},
     {"I/O error during \"CreateFile (open)\" operation for file \"C:\\Тамбер\\TAMBER.FDB\"",
      "Error while trying to open file", "Файл не найден."}},
    {"a Western path the server quotes and the system's text", 1252,
     {"I/O error during \"CreateFile (open)\" operation for file \"C:\\Donn\xE9" "es\\F\xFCr.FDB\"",
      "Error while trying to open file", "Le fichier sp\xE9" "cifi\xE9 est introuvable."},
     {"I/O error during \"CreateFile (open)\" operation for file \"C:\\Données\\Für.FDB\"",
      "Error while trying to open file", "Le fichier spécifié est introuvable."}},
    {"a Cyrillic path the server quotes and the system's text", kNative,
     {"I/O error during \"open\" operation for file \"/srv/Тамбер/tamber.fdb\"", "Error while trying to open file",
      "Нет такого файла или каталога"},
     {"I/O error during \"open\" operation for file \"/srv/Тамбер/tamber.fdb\"", "Error while trying to open file",
      "Нет такого файла или каталога"}},
    {"bytes that are not UTF-8", kNative,
     {"I/O error during \"open\" operation for file \"/srv/\xD2\xE0\xEC/tamber.fdb\""},
     {"I/O error during \"open\" operation for file \"/srv/" + kReplaced + kReplaced + kReplaced + "/tamber.fdb\""}},
};

std::string MessageOfFbError(const std::function<void()>& f) {
  try {
    f();
  } catch (const EFBError& e) {
    return e.what();
  } catch (const std::exception& e) {
    return std::string("not an EFBError: ") + e.what();
  }
  return "<no error>";
}

TEST_F(ClientTexts, RefusalsComeBackInUtf8InEveryReport) {
  const std::string db = "localhost/3051:C:\\DB\\T.FDB";
  const os::Library engine = os::Sys().LoadSharedLibrary(os::SharedLibraryFileName("sqlscript"));
  ASSERT_TRUE(engine);
  auto connect = reinterpret_cast<decltype(&::Connect)>(os::Sys().Symbol(engine, "Connect"));
  ASSERT_NE(connect, nullptr);
  int ran = 0;
  for (const Returned& c : kMessages) {
    if (c.System != ThisSystem()) continue;
    ++ran;
    SCOPED_TRACE(c.Name);
    std::vector<const char*> sent;
    for (const std::string& m : c.Sent) sent.push_back(m.c_str());

    // The client's messages as an EFBError carries them, and as the engine
    // reports them.
    const std::string fbError = JoinServerMessages(c.Shown);
    std::string engineError;
    for (const std::string& m : c.Shown) engineError += (engineError.empty() ? "" : "\r\n-") + m;
    struct Call {
      const char* Name;
      std::function<std::string()> Raised;
      std::string Expected;
    };
    std::vector<std::string> users;
    const Call calls[] = {
        {"WIN1251 script run",
         [&] { return MessageOfAny([&] { RunScriptText(clientLib_, db, "SYSDBA", "WIN1251", kPassword, "", "select 1",
                                                       nullptr, 0); }); },
         "Ошибка подключения к базе данных!\r" + engineError},
        {"UTF8 script run",
         [&] { return MessageOfAny([&] { RunScriptText(clientLib_, db, "SYSDBA", "UTF8", kPassword, "", "select 1",
                                                       nullptr, 0); }); },
         "Ошибка подключения к базе данных!\r" + engineError},
        {"the engine's Connect",
         [&] {
           engineErrors.clear();
           const std::string cs = BuildConnectString(db, kPassword, "SYSDBA", "WIN1251", "", clientLib_);
           EXPECT_EQ(connect(cs.c_str(), RecordConnectError), 1);
           return engineErrors.size() == 1 ? engineErrors[0] : "<not one report>";
         },
         engineError},
        {"the attachment for the attached users",
         [&] { return MessageOfFbError([&] { GetAttachedUsers(clientLib_, db, "SYSDBA", kPassword, "", users); }); },
         fbError},
        {"shutdown through the service manager",
         [&] { return MessageOfFbError([&] { DatabaseShutdown(clientLib_, db, "SYSDBA", kPassword); }); }, fbError},
        {"online through the service manager",
         [&] { return MessageOfFbError([&] { DatabaseOnline(clientLib_, db, "SYSDBA", kPassword); }); }, fbError},
    };
    for (const Call& call : calls) {
      SCOPED_TRACE(call.Name);
      reset_();
      refuseWith_(sent.data(), static_cast<int>(sent.size()));
      EXPECT_EQ(call.Raised(), call.Expected);
    }
  }
  EXPECT_GT(ran, 0) << "no case for this system";
}

// The engine's own report of a library it cannot load is UTF-8 as well,
// and stays so whatever the character set of the run.
TEST_F(ClientTexts, AClientLibraryThatCannotBeLoadedIsNamedInUtf8) {
  const std::string missing = os::path::Join(os::path::FolderOf(clientLib_), "нет клиента.dll");
  const std::string why = os::Describe(os::Sys().LoadSharedLibrary(missing).Why().Failure());
  for (const char* charSet : {"WIN1251", "UTF8"}) {
    SCOPED_TRACE(charSet);
    EXPECT_EQ(MessageOfAny([&] { RunScriptText(missing, "localhost/3051:C:\\DB\\T.FDB", "SYSDBA", charSet, kPassword,
                                               "", "select 1", nullptr, 0); }),
              "Ошибка подключения к базе данных!\rThe client library \"" + missing + "\" cannot be loaded: " + why);
  }
}

// An isc_info_user_names answer listing Names.
std::string UserNamesInfo(const std::vector<std::string>& Names) {
  std::string info;
  for (const std::string& n : Names) {
    const std::size_t len = n.size() + 1;
    info += static_cast<char>(isc_info_user_names);
    info += static_cast<char>(len & 0xFF);
    info += static_cast<char>(len >> 8);
    info += static_cast<char>(n.size());
    info += n;
  }
  return info + static_cast<char>(isc_info_end);
}

TEST_F(ClientTexts, AttachedUserNamesComeBackInUtf8WithoutTheCallersOwn) {
  struct Names {
    Returned Answer; // Sent and Shown: the names of the attachments, the caller's own among them
    std::string User;
  };
  const Names cases[] = {
      {{"Cyrillic names", 1251, {"\xC8\xC2\xC0\xCD\xCE\xC2", "\xCF\xC5\xD2\xD0\xCE\xC2", "SYSDBA"}, {"ПЕТРОВ", "SYSDBA"}},
       "ИВАНОВ"},
      {{"Western names", 1252, {"JOS\xC9", "M\xDCLLER", "SYSDBA"}, {"JOSÉ", "SYSDBA"}}, "MÜLLER"},
      {{"Cyrillic names", kNative, {"ИВАНОВ", "ПЕТРОВ", "SYSDBA"}, {"ПЕТРОВ", "SYSDBA"}}, "ИВАНОВ"},
      {{"a name that is not UTF-8", kNative, {"SYSDBA", "\xCF\xC5\xD2"}, {kReplaced + kReplaced + kReplaced}},
       "SYSDBA"},
  };
  int ran = 0;
  for (const Names& c : cases) {
    if (c.Answer.System != ThisSystem()) continue;
    ++ran;
    SCOPED_TRACE(c.Answer.Name);
    reset_();
    const std::string info = UserNamesInfo(c.Answer.Sent);
    answerInfo_(info.data(), static_cast<int>(info.size()));
    std::vector<std::string> users;
    GetAttachedUsers(clientLib_, "localhost/3051:C:\\DB\\T.FDB", c.User, kPassword, "", users);
    EXPECT_EQ(users, c.Answer.Shown);
  }
  EXPECT_GT(ran, 0) << "no case for this system";
}

} // namespace
