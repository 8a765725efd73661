// uLangTable - translation tables in five language columns and the language
// dispatcher that switches all linked tables at once ("Lang": language).
//
// A table is read from its stored form: lines ending in CR LF; a line that
// equals a section name (ignoring letter case) starts that section; every
// other line is a row: the key, then for each language 0x01 and its text,
// and a final 0x01. Inside a text the bytes 0x19 0x1A stand for CR LF. The
// stored texts are UTF-8.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

constexpr int kLanguageCount = 5;
constexpr char LangDelim = 1;

enum TLanguage : int {
  Programmer_Language = 1, // Russian; default and fallback column
  Russian_Language = 2,
  English_Language = 3,
  German_Language = 4,
  French_Language = 5,
};

// The sections of a stored table, in the order in which they are written.
enum class TSection {
  stCaptions, stHints, stDisplayLabels, stFonts, stMultiLines, stDlgsCaptions,
  stStrings, stOtherStrings, stLocales, stCollections, stCharSets,
};
constexpr int kSectionCount = 11;
const char* SectionName(TSection Section);

struct TLangRow {
  std::string Key;
  std::array<std::string, kLanguageCount> Texts; // index 0 is language 1
  // The text of language number Language (1..5).
  const std::string& Text(int Language) const { return Texts[static_cast<size_t>(Language - 1)]; }
};

// Fails with the catalog's range message unless 1 <= Language <= 5.
void CheckLanguageNumber(int Language);

// What a table re-labels: a window with named controls. The row keyed by the
// window's class name addresses the window itself.
class ITranslationTarget {
public:
  virtual ~ITranslationTarget() = default;
  virtual std::string ClassName() const = 0;
  // Text properties by name ("Caption", "Hint", "Text", "HelpFile", ...).
  // False when the control or property does not exist.
  virtual bool GetText(const std::string& Control, const std::string& Property, std::string& Value) const = 0;
  virtual void SetText(const std::string& Control, const std::string& Property, const std::string& Value) = 0;
  virtual bool GetLines(const std::string& Control, std::vector<std::string>& Lines) const = 0;
  virtual void SetLines(const std::string& Control, const std::vector<std::string>& Lines) = 0;
  // The control's font; a control that takes its parent's font answers false.
  virtual bool GetFont(const std::string& Control, std::string& Name, std::string& CharSet) const = 0;
  virtual void SetFont(const std::string& Control, const std::string& Name, const std::string& CharSet) = 0;
};

class TLangTable {
public:
  TLangTable(std::string Owner, std::string Name);
  virtual ~TLangTable() = default;
  TLangTable(const TLangTable&) = delete;
  TLangTable& operator=(const TLangTable&) = delete;

  // Replaces the rows with those of a stored table. Malformed lines are read
  // as far as they go: missing fields are empty, surplus fields are ignored,
  // rows before the first section header are dropped.
  void LoadFromStored(std::string_view Stored);

  const std::vector<TLangRow>& Rows(TSection Section) const;
  const std::string& Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  int ActiveLanguage() const { return active_; }

  // Switches the active language; a table whose language already is
  // Language does nothing. Fails on a number outside 1..5.
  void SetActiveLanguage(int Language);

  // Window tables: the window whose controls the table re-labels, and the
  // "Control.Property" names it never touches (e.g. "pBtn.Caption").
  void SetTarget(ITranslationTarget* Target) { target_ = Target; }
  void SetExclusions(std::vector<std::string> Names) { exclusions_ = std::move(Names); }
  // Applies the rows of the active language to the target (if any).
  void Apply();

protected:
  virtual void Loaded() {}

private:
  bool Excluded(const std::string& Control, const std::string& Property) const;
  void ApplyText(const std::string& Control, const std::string& Property, const std::string& Text);

  std::string owner_, name_;
  int active_ = Programmer_Language;
  std::array<std::vector<TLangRow>, kSectionCount> sections_;
  ITranslationTarget* target_ = nullptr;
  std::vector<std::string> exclusions_;
};

// The language dispatcher: holds the active language number and passes every
// change on to the linked tables in the order in which they linked.
class TLangDispatcher {
public:
  // Called after a table has linked and applied the active language.
  std::function<void(TLangTable&)> OnLinkToDispatcher;

  int ActiveLanguage() const { return active_; }
  void Link(TLangTable& Table);
  void Unlink(TLangTable& Table);
  void SetActiveLanguage(int Language);

private:
  int active_ = Programmer_Language;
  std::vector<TLangTable*> tables_;
};
