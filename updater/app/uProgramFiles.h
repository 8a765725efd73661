// uProgramFiles - the files a program writes beside itself from its own
// resources when they are missing there (the help file, the database client
// library, the script engine library). A file is written whole or not at
// all: a start that fails half-way (a full disk, a killed process) leaves no
// truncated file, which every later start would keep, because existing
// files are never overwritten.
#pragma once

#include <string>

// The temporary name a file is written under before it is renamed into
// place: FileName with ".part" appended.
std::string PartFileName(const std::string& FileName);

// Writes the resource Name of type Type to Dir/FileName when no file of that
// name is there; an existing file is left as it is. The bytes go to the
// temporary name first, which is renamed to FileName once complete and
// removed again when anything fails. Throws std::runtime_error naming the
// file, with the failed call on a line of its own.
void WriteMissingFile(const std::string& Dir, const std::string& FileName, const std::string& Type,
                      const std::string& Name);
