// uMainTranslation - TfrmMain as the target of its translation table: the
// texts, lines and fonts of its controls, menu entries and caption, by name.
#include "uMain.h"

#include "uMainText.h"

namespace {

using os::win::Narrow;
using os::win::Widen;

// The properties the table names: "Text" for an edit box, "Caption" for the
// rest.
bool IsEdit(const std::string& Name) {
  return Name == "eProgramLocation" || Name == "ePassword" || Name == "mLog" || Name == "mCaptions";
}

// The lines of a multi-line box; an empty box has none.
std::vector<std::string> SplitLines(const std::string& Text) {
  std::vector<std::string> lines = SplitLogLines(Text);
  if (lines.size() == 1 && lines.front().empty()) lines.clear();
  return lines;
}

} // namespace

bool TfrmMain::GetText(const std::string& Name, const std::string& Property, std::string& Value) const {
  if (Name == ClassName()) {
    if (Property != "Caption") return false;
    Value = WindowText(hwnd_);
    return true;
  }
  if (auto m = menu_.find(Name); m != menu_.end()) {
    if (Property != "Caption") return false;
    Value = Narrow(m->second.Text);
    return true;
  }
  HWND c = Control(Name);
  if (!c) return false;
  if (Property == (IsEdit(Name) ? "Text" : "Caption")) {
    Value = WindowText(c);
    return true;
  }
  return false;
}

void TfrmMain::SetText(const std::string& Name, const std::string& Property, const std::string& Value) {
  if (Name == ClassName()) {
    if (Property == "Caption") SetWindowTextUtf8(hwnd_, Value);
    return;
  }
  if (auto m = menu_.find(Name); m != menu_.end()) {
    if (Property != "Caption") return;
    MenuEntry& entry = m->second;
    entry.Text = Widen(Value);
    if (entry.Parent) {
      MENUITEMINFOW mii{};
      mii.cbSize = sizeof mii;
      mii.fMask = MIIM_STRING;
      mii.dwTypeData = entry.Text.data();
      SetMenuItemInfoW(entry.Parent, entry.Position, TRUE, &mii);
      DrawMenuBar(hwnd_);
    }
    return;
  }
  if (HWND c = Control(Name); c && Property == (IsEdit(Name) ? "Text" : "Caption")) SetWindowTextUtf8(c, Value);
}

bool TfrmMain::GetLines(const std::string& Name, std::vector<std::string>& Lines) const {
  if (Name != "mLog" && Name != "mCaptions") return false;
  Lines = SplitLines(WindowText(Control(Name)));
  return true;
}

void TfrmMain::SetLines(const std::string& Name, const std::vector<std::string>& Lines) {
  if (Name != "mLog" && Name != "mCaptions") return;
  std::string text;
  for (size_t i = 0; i < Lines.size(); ++i) text += (i ? "\r\n" : "") + Lines[i];
  SetWindowTextUtf8(Control(Name), text);
}

bool TfrmMain::GetFont(const std::string& Name, std::string& FontName, std::string& CharSet) const {
  auto it = fonts_.find(Name);
  if (it == fonts_.end()) return false;
  FontName = it->second.Name;
  CharSet = it->second.CharSet;
  return true;
}

void TfrmMain::SetFont(const std::string& Name, const std::string& FontName, const std::string& CharSet) {
  auto it = fonts_.find(Name);
  if (it == fonts_.end()) return;
  it->second.Name = FontName;
  it->second.CharSet = CharSet;
  ApplyFont(Name, it->second);
}
