// uLDM - the message catalog and the language choice (see uLDM.h).
#include "uLDM.h"

#include "os/StringExtras.h"
#include "uQrxRout.h"

#include <algorithm>
#include <stdexcept>

extern const unsigned char LDM_Sil_lang[];
extern const std::size_t LDM_Sil_lang_size;
extern const unsigned char frmMain_Sill_lang[];
extern const std::size_t frmMain_Sill_lang_size;

std::string_view BuiltInMessageCatalog() {
  return {reinterpret_cast<const char*>(LDM_Sil_lang), LDM_Sil_lang_size};
}
std::string_view BuiltInMainWindowTable() {
  return {reinterpret_cast<const char*>(frmMain_Sill_lang), frmMain_Sill_lang_size};
}

void InitMainWindowTable(TLangTable& Sill, ITranslationTarget* Window) {
  Sill.LoadFromStored(BuiltInMainWindowTable());
  Sill.SetExclusions({"pBtn.Caption"});
  Sill.SetTarget(Window);
}

namespace {
TLDM* instance = nullptr;
} // namespace

void TMessageCatalog::Loaded() {
  index_.clear();
  for (const TLangRow& r : Rows(TSection::stStrings)) index_.push_back(&r);
  std::stable_sort(index_.begin(), index_.end(),
                   [](const TLangRow* a, const TLangRow* b) { return os::CompareIgnoringAsciiCase(a->Key, b->Key) < 0; });
}

std::string TMessageCatalog::Lookup(const std::string& Key) const {
  auto it = std::lower_bound(index_.begin(), index_.end(), Key,
                             [](const TLangRow* r, const std::string& k) { return os::CompareIgnoringAsciiCase(r->Key, k) < 0; });
  if (it == index_.end() || os::CompareIgnoringAsciiCase((*it)->Key, Key) != 0) return {};
  const std::string& text = (*it)->Text(ActiveLanguage());
  return text.empty() ? (*it)->Text(Programmer_Language) : text;
}

TLDM::TLDM(IHost& Host, std::string_view Stored)
    : Sil("LDM", "Sil"), host_(Host), previous_(instance) {
  Sil.LoadFromStored(Stored);
  Sild.OnLinkToDispatcher = [this](TLangTable& t) { SildLinkToDispatcher(t); };
  Sild.Link(Sil);
  instance = this;
}

TLDM::~TLDM() {
  if (instance == this) instance = previous_;
}

TLDM& TLDM::Instance() {
  if (!instance) throw std::logic_error("the message catalog is not loaded");
  return *instance;
}

void TLDM::DataModuleCreate() { SetLanguage(GetSystemLanguage() + 1); }

void TLDM::SetLanguage(int Language) {
  try {
    CheckEmptyTexts(Sil);
    Sild.SetActiveLanguage(Language);
  } catch (const std::exception& e) {
    host_.ShowMessage(TMsgDlgType::Error, e.what());
    host_.EndProgram();
  }
}

void TLDM::LinkTable(TLangTable& Table) { Sild.Link(Table); }
void TLDM::UnlinkTable(TLangTable& Table) { Sild.Unlink(Table); }

void TLDM::SildLinkToDispatcher(TLangTable& Catalog) {
  // The message catalog itself is checked by SetLanguage.
  if (&Catalog != &Sil) CheckEmptyTexts(Catalog);
}

void TLDM::CheckEmptyTexts(const TLangTable& Catalog) {
  std::string a = ListEmptyTexts(Catalog, TSection::stCaptions);
  std::string b = ListEmptyTexts(Catalog, TSection::stStrings);
  std::string text = a + (a.empty() ? "" : "\r") + b;
  if (text.empty()) return;
  host_.ShowMessage(TMsgDlgType::Warning,
                    "Check for emptyes in:\r\r" + Catalog.Owner() + ":" + Catalog.Name() + text);
}

std::string ListEmptyTexts(const TLangTable& Catalog, TSection Section) {
  std::string lines;
  for (const TLangRow& r : Catalog.Rows(Section)) {
    if (!r.Text(Catalog.ActiveLanguage()).empty()) continue;
    if (!lines.empty()) lines += '\r';
    lines += "  " + r.Key + ":" + r.Text(Programmer_Language);
  }
  if (lines.empty()) return {};
  const char* name = Section == TSection::stCaptions ? "Captions" : "Strings";
  return std::string(" (") + name + "):\r" + lines;
}

std::string GetMsgText(const std::string& Key, const std::string& A0, const std::string& A1,
                       const std::string& A2, const std::string& A3, const std::string& A4,
                       const std::string& A5, const std::string& A6, const std::string& A7,
                       const std::string& A8, const std::string& A9) {
  const std::string* args[10] = {&A0, &A1, &A2, &A3, &A4, &A5, &A6, &A7, &A8, &A9};
  std::string result = TLDM::Instance().Sil.Lookup(Key);
  for (int n = 0; n < 10; ++n) {
    if (*args[n] == kNullArg) continue;
    result = ReplaceAll(result, "{" + std::to_string(n) + "}", *args[n]);
  }
  return result;
}
