// uProjects - the project table (see uProjects.h).
#include "uProjects.h"

#include "os/StringExtras.h"

#include <stdexcept>

const std::vector<TProject>& Projects() {
  static const std::vector<TProject> projects = {
      {"ZAVUDAVADA", "Zavudavada", "Zavudavada.fdb", "Zavudavada.exe", "NorvelSoft\\ZAVUDAVADA_RU", 3},
      {"TAMBER_MINI", "Tamber_Mini", "Tamber_Mini.fdb", "Tamber_Mini.exe", "NorvelSoft\\TAMBER_MINI_RU", 2},
      {"TAMBER", "Tamber", "Tamber.fdb", "Tamber.exe", "NorvelSoft\\TAMBER_RU", 2},
  };
  return projects;
}

const TProject* FindProject(const std::string& Code) {
  const std::string upper = os::UpperAscii(Code);
  for (const TProject& p : Projects())
    if (p.Code == upper) return &p;
  return nullptr;
}

TUpdateSettings ProjectSettings(const std::string& Code, TUpdateSettings Base) {
  const TProject* p = FindProject(Code);
  if (!p) throw std::invalid_argument("unknown project \"" + Code + "\"");
  Base.ProjectCode = p->Code;
  Base.DBFileName = p->DBFileName;
  Base.ExeFileName = p->ExeFileName;
  Base.SpaceFactor = p->SpaceFactor;
  return Base;
}
