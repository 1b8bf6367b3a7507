// The read-ahead of a walk: snmpgetnext over SNMPv2c and SNMPv3 asks with a
// GetBulkRequest, answers the call with the first binding of the reply, and
// keeps the others for the calls that continue the walk, which they answer
// without a datagram while they are fresh.
#pragma once

#include <cstdint>

#include "hostapi/host_value.h"
#include "script/exchange.h"

// How long kept bindings may answer a call, in milliseconds of the tick
// count: a walk takes them within microseconds; a script that waits longer
// wants the agent's values of now.
constexpr uint32_t ReadAheadFreshMs = 1000;
// Max-repetitions: where a walk starts (as snmpbulkwalk does), and the most it
// grows to. The script may set its own (snmpreadahead), up to the last.
constexpr int32_t ReadAheadStart = 10;
constexpr int32_t ReadAheadGrowthLimit = 100;
constexpr int32_t ReadAheadSettingLimit = 1000;

// Answers the get-next from the kept bindings when they are for the current
// target, continue the walk (LastOid is the name last answered) and are
// fresh; any kept bindings that cannot answer are dropped. True when it
// answered (as a GetNext answer would have: value, LastOid, LastErrorStatus 0,
// messages).
bool answerFromReadAhead(HostValue& result);

// The get-next of LastOid on an open session: a GetBulkRequest where the
// session's version has it and the agent takes it, otherwise a
// GetNextRequest. The binding that answers the call (or none, after the
// failure has been recorded as a GetNext's would be); the rest of a bulk reply
// is held until keepReadAhead or dropReadAhead.
VarListHolder walkStep(ScopedSession& session);

// After the call's answer converted: the held bindings are kept for the
// target, to continue from LastOid. Without a converted answer they are dropped.
void keepReadAhead(bool answered);

// Drops every kept binding (a set, another target, the module's exit).
void dropReadAhead();
// Drops them when the module-wide target is no longer theirs.
void dropReadAheadOfOtherTarget();

// The script's setting: 0 turns the read-ahead off, a positive number fixes
// the max-repetitions it starts from and never grows beyond, and a negative
// one returns to the default (start at ReadAheadStart, grow up to
// ReadAheadGrowthLimit). Answers the max-repetitions the next GetBulk would use (0 when off).
int32_t setReadAhead(int32_t repetitions);

// snmpreadahead([repetitions]): setReadAhead with a number from 0 to
// ReadAheadSettingLimit (others are reported, 1129), or without one the
// default; the result is setReadAhead's answer.
void snmpreadahead(const HostValue* args, HostValue& result);
