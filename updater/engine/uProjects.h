// uProjects - the project table: the three projects an installation can
// hold, with the file names and the free-space factor of each.
#pragma once

#include "uHost.h"

#include <cstdint>
#include <string>
#include <vector>

// What choosing a project puts into the main window's settings.
struct TProject {
  std::string Code;        // "TAMBER", "ZAVUDAVADA", "TAMBER_MINI"
  std::string Name;        // "Tamber", ... as the Project menu shows it
  std::string DBFileName;  // "Tamber.fdb", ...
  std::string ExeFileName; // "Tamber.exe", ...
  std::string Location;    // proposed location under the all-users profile folder
  std::uint8_t SpaceFactor = 0;
};

// The three projects, in the order of the Project menu.
const std::vector<TProject>& Projects();
// The project of Code (letter case ignored); nullptr for an unknown code.
const TProject* FindProject(const std::string& Code);
// Base with the project's settings (ProjectCode, DBFileName, ExeFileName,
// SpaceFactor) filled in; raises std::invalid_argument for an unknown code.
TUpdateSettings ProjectSettings(const std::string& Code, TUpdateSettings Base = {});
