// uLangTable - translation tables and the language dispatcher (see uLangTable.h).
#include "uLangTable.h"

#include "os/StringExtras.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace {

constexpr const char* kSectionNames[kSectionCount] = {
    "stCaptions", "stHints", "stDisplayLabels", "stFonts", "stMultiLines", "stDlgsCaptions",
    "stStrings", "stOtherStrings", "stLocales", "stCollections", "stCharSets",
};

int SectionOfLine(std::string_view line) {
  for (int i = 0; i < kSectionCount; ++i)
    if (os::EqualsIgnoringAsciiCase(line, kSectionNames[i])) return i;
  return -1;
}

// Stored line breaks (0x19 0x1A) become CR LF; each byte on its own.
std::string Unescape(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c == 0x19) c = '\r';
    else if (c == 0x1A) c = '\n';
  }
  return out;
}

TLangRow ParseRow(std::string_view line) {
  TLangRow row;
  size_t delim = line.find(LangDelim);
  row.Key = std::string(line.substr(0, delim));
  for (int n = 0; n < kLanguageCount && delim != std::string_view::npos; ++n) {
    size_t next = line.find(LangDelim, delim + 1);
    size_t end = next == std::string_view::npos ? line.size() : next;
    row.Texts[static_cast<size_t>(n)] = Unescape(line.substr(delim + 1, end - delim - 1));
    delim = next;
  }
  return row;
}

// A comma-separated list: items separated by commas, an item in double
// quotes may hold commas and doubled quotes.
std::vector<std::string> SplitCommaText(const std::string& text) {
  std::vector<std::string> items;
  std::string cur;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') { cur += '"'; ++i; }
      else if (c == '"') quoted = false;
      else cur += c;
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      items.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  items.push_back(cur);
  return items;
}

const TLangRow* FindRow(const std::vector<TLangRow>& rows, const std::string& key) {
  for (const TLangRow& r : rows)
    if (os::EqualsIgnoringAsciiCase(r.Key, key)) return &r;
  return nullptr;
}

} // namespace

const char* SectionName(TSection Section) { return kSectionNames[static_cast<int>(Section)]; }

void CheckLanguageNumber(int Language) {
  if (Language < 1 || Language > kLanguageCount) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%d - is not a valid property value!\rValue must be within [1..%d]!",
                  Language, kLanguageCount);
    throw std::runtime_error(buf);
  }
}

TLangTable::TLangTable(std::string Owner, std::string Name)
    : owner_(std::move(Owner)), name_(std::move(Name)) {}

void TLangTable::LoadFromStored(std::string_view Stored) {
  for (auto& s : sections_) s.clear();
  int section = -1;
  size_t pos = 0;
  while (pos < Stored.size()) {
    size_t eol = Stored.find("\r\n", pos);
    size_t end = eol == std::string_view::npos ? Stored.size() : eol;
    std::string_view line = Stored.substr(pos, end - pos);
    pos = eol == std::string_view::npos ? Stored.size() : eol + 2;
    if (line.empty()) continue;
    if (int s = SectionOfLine(line); s >= 0) {
      section = s;
    } else if (section >= 0) {
      sections_[static_cast<size_t>(section)].push_back(ParseRow(line));
    }
  }
  Loaded();
}

const std::vector<TLangRow>& TLangTable::Rows(TSection Section) const {
  return sections_[static_cast<size_t>(Section)];
}

void TLangTable::SetActiveLanguage(int Language) {
  if (Language == active_) return;
  CheckLanguageNumber(Language);
  active_ = Language;
  Apply();
}

bool TLangTable::Excluded(const std::string& Control, const std::string& Property) const {
  std::string name = Control + "." + Property;
  return std::any_of(exclusions_.begin(), exclusions_.end(),
                     [&](const std::string& e) { return os::EqualsIgnoringAsciiCase(e, name); });
}

void TLangTable::ApplyText(const std::string& Control, const std::string& Property, const std::string& Text) {
  std::string current;
  if (Text.empty() || Excluded(Control, Property)) return;
  if (!target_->GetText(Control, Property, current) || current == Text) return;
  target_->SetText(Control, Property, Text);
}

void TLangTable::Apply() {
  if (!target_) return;
  const int L = active_;
  for (const TLangRow& r : Rows(TSection::stCaptions)) ApplyText(r.Key, "Caption", r.Text(L));
  for (const TLangRow& r : Rows(TSection::stHints)) ApplyText(r.Key, "Hint", r.Text(L));
  // "Control.Property" keys.
  auto split = [](const std::string& key, std::string& control, std::string& prop) {
    size_t dot = key.rfind('.');
    if (dot == std::string::npos) return false;
    control = key.substr(0, dot);
    prop = key.substr(dot + 1);
    return true;
  };
  std::string control, prop;
  for (const TLangRow& r : Rows(TSection::stMultiLines)) {
    const std::string& text = r.Text(L);
    if (text.empty() || !split(r.Key, control, prop) || Excluded(control, prop)) continue;
    std::vector<std::string> current, lines = SplitCommaText(text);
    if (target_->GetLines(control, current) && current != lines) target_->SetLines(control, lines);
  }
  for (const TLangRow& r : Rows(TSection::stOtherStrings))
    if (split(r.Key, control, prop)) ApplyText(control, prop, r.Text(L));
  for (const TLangRow& r : Rows(TSection::stFonts)) {
    std::string name, charset;
    if (!target_->GetFont(r.Key, name, charset)) continue;
    std::string newName = r.Text(L).empty() ? name : r.Text(L);
    std::string newCharset = charset;
    if (const TLangRow* cs = FindRow(Rows(TSection::stCharSets), r.Key); cs && !cs->Text(L).empty())
      newCharset = cs->Text(L);
    if (newName != name || newCharset != charset) target_->SetFont(r.Key, newName, newCharset);
  }
}

void TLangDispatcher::Link(TLangTable& Table) {
  tables_.push_back(&Table);
  // A linking table always shows the dispatcher's language, even when it
  // already holds that number.
  if (Table.ActiveLanguage() != active_) Table.SetActiveLanguage(active_);
  else Table.Apply();
  if (OnLinkToDispatcher) OnLinkToDispatcher(Table);
}

void TLangDispatcher::Unlink(TLangTable& Table) {
  tables_.erase(std::remove(tables_.begin(), tables_.end(), &Table), tables_.end());
}

void TLangDispatcher::SetActiveLanguage(int Language) {
  CheckLanguageNumber(Language);
  active_ = Language;
  for (TLangTable* t : tables_) t->SetActiveLanguage(Language);
}
