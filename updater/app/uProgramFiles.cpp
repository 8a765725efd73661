// uProgramFiles - the files a program writes beside itself (see uProgramFiles.h).
#include "uProgramFiles.h"

#include "os/OsLayer.h"

#include <stdexcept>

std::string PartFileName(const std::string& FileName) { return FileName + ".part"; }

void WriteMissingFile(const std::string& Dir, const std::string& FileName, const std::string& Type,
                      const std::string& Name) {
  os::Api& sys = os::Sys();
  const std::string path = os::path::Join(Dir, FileName);
  if (sys.FileExists(path)) return;
  std::string_view data;
  if (const os::Status read = sys.ProgramResource(Type, Name, data); !read)
    throw std::runtime_error(os::WithCause("Не удалось прочитать ресурс " + Name + " программы", read));
  // A part left by an earlier start that failed is emptied and written anew.
  const std::string part = PartFileName(path);
  os::Status written = sys.WriteFile(part, std::string(data), false);
  if (written) written = sys.FileMove(part, path);
  if (!written) {
    sys.FileDelete(part);
    throw std::runtime_error(os::WithCause("Не удалось записать файл " + path, written));
  }
}
