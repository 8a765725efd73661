// uDialogs - the seam through which portable units show modal dialogs and
// end the program. The main window implements it with real message boxes;
// tests implement it with recorded dialogs and scripted answers.
#pragma once

#include <string>

// Custom is a plain box: no icon, the program's title as caption.
enum class TMsgDlgType { Warning, Error, Information, Confirmation, Custom };

class IUserDialogs {
public:
  virtual ~IUserDialogs() = default;
  // A modal message box with a single OK button; returns when it is closed.
  virtual void ShowMessage(TMsgDlgType Type, const std::string& Text) = 0;
  // Ends the program at once; never returns to the caller.
  [[noreturn]] virtual void EndProgram() = 0;
};
