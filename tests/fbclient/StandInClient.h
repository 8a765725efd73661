// StandInClient - A stand-in Firebird client library for tests that check what reaches the
// client: it records the name and the parameter block of every attach, the
// name and block of every service attach and every service request, and
// refuses database attachments. The test loads the same library to read
// the record.
#pragma once

#include <string>
#include <vector>

struct StandInCall {
  std::string Entry; // "isc_attach_database", "isc_service_attach", "isc_service_start"
  std::string Name;  // the database or service manager name; empty for a request
  std::string Block; // the attach block, or the request
};

// The recording entries of the stand-in, found by these names.
using StandInRecordFn = const std::vector<StandInCall>& (*)();
using StandInResetFn = void (*)();
constexpr const char* kStandInRecord = "StandIn_Record";
constexpr const char* kStandInReset = "StandIn_Reset";
// The message with which it refuses a database attachment.
constexpr const char* kStandInRefusal = "stand-in client: attachment refused";
