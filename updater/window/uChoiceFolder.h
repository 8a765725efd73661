// uChoiceFolder - the shell's folder browser, for the program location.
#pragma once

#include <string>

// Shows the modal folder browser titled Caption, its tree rooted at Root (the
// desktop when empty) and, when Folder names an existing folder, opening with
// it selected. Only file-system folders can be confirmed. True when the user
// confirmed one, which is then in Folder (UTF-8); Folder is cleared when it
// named no existing folder, and is otherwise left as it was on a cancel.
bool ChooseFolder(const std::string& Caption, const std::string& Root, std::string& Folder);
