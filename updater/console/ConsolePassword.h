// ConsolePassword - where the console updater takes the database system
// password from, and what it tells the user about it: the first line of a
// password file, else the environment variable UPDATER_PASSWORD, else the
// built-in default. The variable is taken out of the environment whichever
// source wins, so that no program the updater starts (a payload, a service
// command) inherits it.
#pragma once

#include <string>

// The password a password file's bytes hold: its first line (up to the first
// CR or LF), without the byte-order mark an editor put in front of it. A file
// that starts with a UTF-16 byte-order mark is read as UTF-16 (Notepad's
// "Unicode") and given in UTF-8. Blanks are part of the password.
std::string PasswordFromFileBytes(const std::string& Bytes);

// The variable the password may come in.
inline const char kPasswordVariable[] = "UPDATER_PASSWORD";

struct TConsolePassword {
  std::string Password;
  // The password file could not be read: the command line is refused with
  // this (the file named, never its content).
  std::string Error;
  // Said once, on standard error, before the command runs: the password
  // file can be read by other users, or no password was given and the
  // default one is used. Never the password itself.
  std::string Warning;
};

// The password of this run: from PasswordFile when one is named, else from
// UPDATER_PASSWORD when it is set and not empty, else the default system
// password. UPDATER_PASSWORD is removed from the process's environment in
// every case.
TConsolePassword ConsolePassword(const std::string& PasswordFile);
