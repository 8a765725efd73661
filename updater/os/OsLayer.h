//===- OsLayer.h - the one narrow operating-system interface --------------===//
//
// Everything the updater asks of the operating system goes through os::Api.
// There is one implementation per platform (Windows/OsLayer.inc for the
// product, Unix/OsLayer.inc for native builds), chosen at build time. A test
// that must inject a fault or control the system derives from the native
// implementation, overrides single calls and installs itself with
// os::ScopedApi for the duration of the test.
//
// All texts are UTF-8; the Windows implementation converts to UTF-16 at the
// call of each W function.
//
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <string>

namespace os {

// A local calendar date and wall-clock time, read from the system clock.
struct LocalDateTime {
  int Year = 0;    // four digits
  int Month = 0;   // 1..12
  int Day = 0;     // 1..31
  int Hour = 0;    // 0..23
  int Minute = 0;  // 0..59
  int Second = 0;  // 0..59
};

class Api {
public:
  virtual ~Api() = default;

  // The system's default language identifier (a Windows LANGID: the low
  // 10 bits hold the primary language, e.g. 0x19 Russian, 0x07 German).
  virtual std::uint16_t SystemDefaultLangId();

  // The current local date and time.
  virtual LocalDateTime Now();
  // The date in the system's short date format and the time in its long
  // time format (the regional settings; on POSIX the locale's %x and %X).
  virtual std::string FormatShortDate(const LocalDateTime& t);
  virtual std::string FormatLongTime(const LocalDateTime& t);

  // Full path of the running program's own file.
  virtual std::string ProgramFile();

  virtual bool DirectoryExists(const std::string& path);
  virtual bool FileExists(const std::string& path);
  // Creates the folder and any missing parents; true when it exists afterwards.
  virtual bool CreateDirectories(const std::string& path);
  // Writes Data to the file: Append adds it at the end (the file must exist),
  // otherwise the file is created or emptied first. Opened and closed here.
  virtual bool WriteFile(const std::string& path, const std::string& data, bool append);

  // Suspends the calling thread.
  virtual void Sleep(std::uint32_t milliseconds);

  // --- Dynamic libraries ---
  // Loads a library and returns its handle, nullptr when it cannot be
  // loaded. A plain name (no folder) is looked for in the program's own
  // folder first, then by the system's search.
  virtual void* OpenLibrary(const std::string& name);
  // The address of an export, nullptr when the library has none of that name.
  virtual void* LibrarySymbol(void* library, const std::string& name);
  // Releases a handle of OpenLibrary; nullptr is ignored.
  virtual void CloseLibrary(void* library);
};

// The implementation in force: the native one unless a test installed another.
Api& Sys();

// The native implementation of this platform.
Api& Native();

// Installs Replacement for the lifetime of this object (tests only).
class ScopedApi {
public:
  explicit ScopedApi(Api& replacement);
  ~ScopedApi();
  ScopedApi(const ScopedApi&) = delete;
  ScopedApi& operator=(const ScopedApi&) = delete;

private:
  Api* previous_;
};

// The platform's path delimiter ('\\' on Windows, '/' elsewhere).
char PathDelim();

} // namespace os
