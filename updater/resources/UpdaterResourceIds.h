// UpdaterResourceIds - identifiers of the resources the updater program carries besides the named
// ones of its payloads, libraries, help and pictures (see Updater_Tamber.rc).
// Included by the resource script and by the program's C++ code.
#pragma once

// The program's icon: the first icon group, which the shell shows for the file.
#define IDI_UPDATER_TAMBER 1

// Version of the program, in the version resource and the manifest.
#define UPDATER_VERSION_NUMBERS 1, 0, 0, 0
#define UPDATER_VERSION_TEXT "1.0.0.0"
