// uFbService - the installed Firebird server: finding its Windows service in
// the registry, stopping it (processes included) and restarting it.
//
// Every failure is raised as std::runtime_error carrying a fixed Russian
// text; the routines show dialogs only to confirm success, when asked to.
#pragma once

#include "uServParams.h"

#include <string>

class IHost;

// The server folder of a service command line: everything up to and
// including the backslash that opens the first "\bin\" (letter case
// matters); empty without one.
std::string ServerDirOf(const std::string& ImagePath);

// The port after the first "-p " of a command line: leading blanks dropped,
// cut before the next blank. Found is false (and the result empty) without
// "-p ".
std::string PortOf(const std::string& ImagePath, bool& Found);

// Reads the registry for the maker's own server service, then for a
// Firebird 2.0 default instance installed by the maker's installer, and
// fills Params. Finding neither is no error: ServerType stays empty and the
// other fields keep what they held. Raises when an accepted service is
// damaged.
void GetFBServParams(TFBServParams& Params);

// Stops the server's service, ends every process of its executable whose
// program file lies in the server's folder (Params.ServerDir) and waits 15
// seconds; with ShowMsg the user is told it has stopped.
void StopFBService(TFBServParams Params, bool ShowMsg, IHost& Host);

// Stops the server (its errors ignored), starts the service, checks that a
// server service runs and waits 15 seconds; with ShowMsg the user is told.
void StartFBService(TFBServParams Params, bool ShowMsg, IHost& Host);

// True when "FirebirdGuardianDefaultInstance", "FirebirdServerDefaultInstance"
// or "NorvelRaruRIvizServer" runs, asked in this order.
bool IsFBServiceRunning();
