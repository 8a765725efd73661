// uQrxRout - stateless system routines shared by the updater's units.
//
// This part holds the text helpers: the two-digit number of log file names,
// the start-up language choice and the repeated text replacement.
#pragma once

#include <string>

// The decimal text of Value with exactly two digits: a one-digit text gets a
// leading "0", a longer text keeps only its last two characters
// (7 -> "07", 2025 -> "25").
std::string IntToStr2(int Value);

// The updater's language index of the system's default language, taken from
// the primary language (low bits) of the language identifier: 1 Russian,
// 3 German, 4 French, 2 for every other language. The catalog's language
// number is one more than this value.
int GetSystemLanguage();

// Text with every occurrence of Pattern (letter case matters) replaced by
// Replacement, from left to right. The scan goes on after each inserted
// Replacement, so a Replacement that contains Pattern cannot loop forever.
// An empty Pattern leaves the text unchanged.
std::string ReplaceAll(const std::string& Text, const std::string& Pattern,
                       const std::string& Replacement);
