// uMainText - the texts of windows and controls in UTF-8, and the line
// breaks of catalog texts; shared by the files of the main window.
#pragma once

#include "os/WindowsSupport.h"

#include <string>

inline std::string WindowText(HWND Window) {
  const int length = GetWindowTextLengthW(Window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(Window, text.data(), length + 1);
  return os::win::Narrow(text.data(), static_cast<size_t>(got > 0 ? got : 0));
}

inline void SetWindowTextUtf8(HWND Window, const std::string& Text) {
  SetWindowTextW(Window, os::win::Widen(Text).c_str());
}

// Lone CRs of the catalog texts become CR LF, the line break the system's
// boxes and multi-line edit controls show.
inline std::wstring WithLineBreaks(const std::string& Text) {
  std::string out;
  for (size_t i = 0; i < Text.size(); ++i) {
    out += Text[i];
    if (Text[i] == '\r' && (i + 1 >= Text.size() || Text[i + 1] != '\n')) out += '\n';
  }
  return os::win::Widen(out);
}
