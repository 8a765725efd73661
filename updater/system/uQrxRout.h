// uQrxRout - stateless system routines shared by the updater's units.
// The name: the routines ("Rout") of the maker's QRX toolkit, whose name its
// server libraries (QRX_UDF and the others) carry too. IntToStr2 is the
// integer as text of two digits.
//
// Text helpers (the two-digit number of log file names, the start-up
// language choice, repeated replacement) and the wrappers of the system's
// services: service control, process termination, the debug privilege,
// copying and moving over protected files, running a program and waiting
// for it, and the free-space check. Everything goes through os::Sys(). The
// wrappers report through their results; GetSystemDir, ExecAndWait and
// CheckFreeSize raise std::runtime_error with fixed Russian texts.
#pragma once

#include "os/OsLayer.h"

#include <cstdint>
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

//--- Services, processes and privileges -----------------------------------
//
// The service routines never raise and always release what they opened.
// MachineName empty means this computer. Their results convert to bool as
// the routines' yes or no; a failure carries the call that failed, or the
// state the service was left in.

// Starts the service and waits until it runs. Waits 30 seconds between
// opening the service and the start request. True only when the last status
// obtained says running; a service that runs already gives false.
os::Status ServiceStart(const std::string& MachineName, const std::string& ServiceName);

// Stops the service and waits until it has stopped; true when the last
// status says stopped, also for a service that was stopped already.
os::Status ServiceStop(const std::string& MachineName, const std::string& ServiceName);

// The service's state (1 stopped ... 7 paused); 1 when the manager, the
// service or its status cannot be reached.
int ServiceGetStatus(const std::string& MachineName, const std::string& ServiceName);

// The pending-state loops of ServiceStart and ServiceStop end after this
// many milliseconds of waits in total, and never wait less than
// kServiceMinPollMs per round.
constexpr std::uint32_t kServiceWaitLimitMs = 120000;
constexpr std::uint32_t kServiceMinPollMs = 100;

// Terminates (exit code 0) every process whose executable's file name, or
// whole path, equals ExeName, letter case ignored. -1 when none matched,
// else the outcome of the last termination (0 failed, 1 succeeded).
int KillTask(const std::string& ExeName);

// KillTask limited to the programs of one folder: terminates (exit code 0)
// every process whose program file's name equals ExeName, letter case
// ignored, and whose program file lies in Folder or below it (letter case
// ignored on Windows). A process whose program path the system does not
// tell is left alone, and an empty Folder matches nothing. The same results
// as KillTask.
int KillTaskInFolder(const std::string& ExeName, const std::string& Folder);

// Enables or disables "SeDebugPrivilege" in the own access token; true when
// the change was fully applied.
os::Status SetDebugPrivilege(bool Enable);

//--- Files and programs ----------------------------------------------------

// The system folder with a trailing path delimiter; raises when the system
// cannot tell.
std::string GetSystemDir();

// Clears the read-only and hidden bits of an existing Target, then copies
// Source over it. The copy's outcome: true when it succeeded.
os::Status CopyFileClearAttr(const std::string& Source, const std::string& Target);

// Copies Source over Target so that a crash or a power cut at any moment
// leaves Target whole, old or new, never cut short: the copy is written
// under a temporary name beside Target ("<Target>.$upd"), put on the disk,
// and renamed over Target, protected or not; the rename is on the disk when
// the call returns. Target takes Source's attributes, as a copy does. A
// failure leaves Target as it was.
os::Status CopyFileDurably(const std::string& Source, const std::string& Target);

// Clears the read-only and hidden bits of an existing Target, then moves
// Source to Target, which is never replaced: an existing Target fails.
os::Status MoveFileClearAttr(const std::string& Source, const std::string& Target);

// Runs ProgramFile, expanded to a full path, with Params appended to its
// command line as given (a caller starts them with a blank), in the
// program's own folder, and waits without time limit. Returns the exit
// code; raises when the program cannot be started (the message names the
// failed call on a line of its own). The window processes its
// pending messages before and after the wait.
int ExecAndWait(const std::string& ProgramFile, const std::string& Params, std::uint16_t ShowWindow);

// The size of the file shifted right by Shift bits, or -1 when it cannot be
// opened for reading with nobody else sharing it.
std::int64_t GetFileSizeScaled(const std::string& FileName, int Shift);

// Raises when Drive has less free space (whole mebibytes, all free bytes of
// the disk) than Factor times the size of FileName in mebibytes plus
// ExtraMb (what else the caller will write there). A free space that cannot
// be determined counts as none. A file whose size cannot be read cannot be
// checked: that raises an error with an empty message, which the caller
// names in its own words.
void CheckFreeSize(const std::string& FileName, const std::string& Drive, std::uint8_t Factor,
                   std::int64_t ExtraMb = 0);
