// FaultClient - a Firebird client library for fault tests: it exports the
// client entries the project calls, passes each on to the real client and
// counts the calls; the test picks calls that fail instead, with the status
// vector of a connection that broke (the real client's fb_interpret reads
// it). Selected like any client, through the client-library setting.
//
// Its state lives in the library, so it survives the updater's and the
// script engine's loads and unloads as long as the test keeps its own load
// of it; the test drives it through the control entries below, found by
// these names.
//
// Counted are the calls that reach the server or change the client's state
// (attach, detach, transactions, statements, services); the entries that
// only read a status vector (isc_sqlcode, fb_interpret, isc_interprete,
// fb_sqlstate) pass through uncounted.
#pragma once

// The real client the calls go to (a name dlopen takes); until it is set,
// libfbclient.so.2. False when it cannot be loaded.
using FaultClientTargetFn = bool (*)(const char* Library);
constexpr const char* kFaultClientTarget = "FaultClient_Target";

// Starts a new count: the calls numbered FailAt[0..Count) fail once each,
// and every call from FailFrom on (0: none) fails. Call numbers start at 1.
using FaultClientArmFn = void (*)(const long* FailAt, int Count, long FailFrom);
constexpr const char* kFaultClientArm = "FaultClient_Arm";

// The calls counted since the last Arm, and how many of them failed.
using FaultClientCountFn = long (*)();
constexpr const char* kFaultClientCalls = "FaultClient_Calls";
constexpr const char* kFaultClientFailed = "FaultClient_Failed";

// The entry of call K since the last Arm ("isc_dsql_execute"), or "".
using FaultClientCallNameFn = const char* (*)(long K);
constexpr const char* kFaultClientCallName = "FaultClient_CallName";

// Ends what failed calls left open through the real client: transactions
// are rolled back, attachments and service attachments detached. Returns
// how many handles it closed. The test calls it between runs, so a detach
// that failed on purpose does not keep the database in use.
using FaultClientCloseLeftOpenFn = int (*)();
constexpr const char* kFaultClientCloseLeftOpen = "FaultClient_CloseLeftOpen";

// The first message the real client reads from an injected failure.
constexpr const char* kFaultClientMessage = "Unable to complete network request to host \"localhost\".";
