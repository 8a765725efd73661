// StandInClient - A stand-in Firebird client library for tests that check what reaches the
// client: it records the name and the parameter block of every attach, the
// name and block of every service attach and every service request, and
// refuses database attachments. The test loads the same library to read
// the record, and to make the stand-in answer as a real client would for
// tests of what comes back: refusals with the messages a server sends, or
// an attachment whose information items the test gives.
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
using StandInResetFn = void (*)(); // also ends the answers below
constexpr const char* kStandInRecord = "StandIn_Record";
constexpr const char* kStandInReset = "StandIn_Reset";

// Later database and service attachments are refused with these messages
// instead, each carried as the string argument of an entry of the status
// vector, byte for byte as given (at most four).
using StandInRefuseWithFn = void (*)(const char* const* Messages, int Count);
constexpr const char* kStandInRefuseWith = "StandIn_RefuseWith";
// Later database attachments succeed, and isc_database_info answers with
// these bytes.
using StandInAnswerInfoFn = void (*)(const char* Info, int Length);
constexpr const char* kStandInAnswerInfo = "StandIn_AnswerInfo";
// The message with which it refuses a database attachment.
constexpr const char* kStandInRefusal = "stand-in client: attachment refused";
