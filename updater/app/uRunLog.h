// uRunLog - the run log: one file per program start in the folder "Logs"
// beside the program, and the lines of the main window's log pane.
// SaveExceptionToLog writes any entry, not only errors (its name is older
// than that use); AEException is the program-wide error hook (named after
// the application-events handler that calls it).
//
// A file entry is a lone CR, the date, " - ", the time, ": ", the text as it
// stands and CR LF. In the pane the text is split into lines; the first gets
// the date and time in front, every further one a tab. The file is UTF-8 and
// is opened and closed for every entry, so other programs can read it while
// the updater runs.
#pragma once

#include "os/OsLayer.h"
#include "uHost.h"

#include <stdexcept>
#include <string>
#include <vector>

// The input/output error of a log file that cannot be created or written.
class EInOutError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Where the lines of the log pane go (the window's mLog).
class ILogPane {
public:
  virtual ~ILogPane() = default;
  virtual void AddLine(const std::string& Line) = 0;
};

// "ddmmyy-hhnnss_Updater.log" for a program started at Start.
std::string LogFileName(const os::LocalDateTime& Start);

// Text split into pane lines at CR LF, a lone CR or a lone LF; a break at the
// very end starts no further line.
std::vector<std::string> SplitLogLines(const std::string& Text);

class TRunLog {
public:
  // Creates the folder "Logs" in ProgramDir (with missing parents) and the
  // empty log file named from the clock; an existing file of that name is
  // emptied. Fails with EInOutError; FileName() is the file's name then too.
  void Create(const std::string& ProgramDir);
  const std::string& FileName() const { return fileName_; }

  // Adds the entry for Text to the pane, then appends it to the file. When
  // the file cannot be written, fails with EInOutError after the pane lines
  // were added.
  void SaveExceptionToLog(ILogPane& Pane, const std::string& Text) const;

private:
  std::string fileName_;
};

// The program-wide error hook, for an error that left a handler: what
// ErrorKindOf calls Shown is logged and shown in the error box; an error
// already logged and the silent abort are neither. When the log file cannot
// be written, the box still shows the message, followed by the input/output
// error.
void AEException(const TRunLog& Log, ILogPane& Pane, IHost& Host, const std::exception& E);
