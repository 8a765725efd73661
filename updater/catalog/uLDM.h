// uLDM - the message catalog and the choice of the user-interface language.
// The name: Language Data Module, the one object (TLDM) that holds the
// program's texts; Sil is its string table (strings in languages), Sild the
// dispatcher of Sil and of every linked table, Sill a window's table.
//
// The program creates one TLDM before its main window. It owns the message
// catalog Sil, whose string section GetMsgText reads, and the dispatcher
// Sild, which switches every linked translation table (the main window's
// Sill among them) to the active language.
#pragma once

#include "uHost.h"
#include "uLangTable.h"

#include <string>
#include <vector>

// The argument marker of GetMsgText: "no argument".
inline const std::string kNullArg = "*Null*";

// The message catalog: a translation table whose string section is indexed by
// key, ignoring letter case, when it is loaded.
class TMessageCatalog : public TLangTable {
public:
  using TLangTable::TLangTable;
  // The key's text in the active language, falling back to column 1 when
  // that text is empty; the empty text for an unknown key.
  std::string Lookup(const std::string& Key) const;

protected:
  void Loaded() override;

private:
  std::vector<const TLangRow*> index_; // string rows sorted by key, ignoring case
};

class TLDM {
public:
  // Loads the catalog with active language 1, indexes it and links it to the
  // dispatcher. Stored is the stored message catalog; the program's own is
  // BuiltInMessageCatalog().
  TLDM(IHost& Host, std::string_view Stored);
  ~TLDM();
  TLDM(const TLDM&) = delete;
  TLDM& operator=(const TLDM&) = delete;

  // The single instance (the newest one created), for GetMsgText.
  static TLDM& Instance();

  // Chooses the start-up language: one more than GetSystemLanguage().
  void DataModuleCreate();
  // Checks the catalog for empty texts in the language active until now,
  // then switches every linked table to Language. A failure is shown in an
  // error dialog and ends the program.
  void SetLanguage(int Language);
  // Links a window's translation table to the dispatcher: it takes the
  // active language and applies it, then its texts are checked.
  void LinkTable(TLangTable& Table);
  void UnlinkTable(TLangTable& Table);
  void SildLinkToDispatcher(TLangTable& Catalog);

  // Shows a warning listing the rows of the captions and string sections of
  // Catalog that are empty in its active language, if there are any.
  void CheckEmptyTexts(const TLangTable& Catalog);

  TMessageCatalog Sil;
  TLangDispatcher Sild;

private:
  IHost& host_;
  TLDM* previous_;
};

// The rows of Section whose text in the active language is empty, as
// " (Captions):" or " (Strings):", CR, then per row two blanks, the key, ":"
// and its column-1 text, rows separated by CR; empty when there are none.
std::string ListEmptyTexts(const TLangTable& Catalog, TSection Section);

// The key's text in the active language with "{0}" ... "{9}" replaced by
// A0 ... A9 in this order; an argument "*Null*" leaves its placeholder.
std::string GetMsgText(const std::string& Key, const std::string& A0 = kNullArg,
                       const std::string& A1 = kNullArg, const std::string& A2 = kNullArg,
                       const std::string& A3 = kNullArg, const std::string& A4 = kNullArg,
                       const std::string& A5 = kNullArg, const std::string& A6 = kNullArg,
                       const std::string& A7 = kNullArg, const std::string& A8 = kNullArg,
                       const std::string& A9 = kNullArg);

// The program's stored catalogs, compiled into it.
std::string_view BuiltInMessageCatalog();
std::string_view BuiltInMainWindowTable();

// Fills the main window's translation table Sill (owner "frmMain") from the
// built-in rows; the button panel's caption is never translated.
void InitMainWindowTable(TLangTable& Sill, ITranslationTarget* Window);
