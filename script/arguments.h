// Reading the script functions' arguments: the target, the OID, the settings,
// the ports and the value of a set. Every reader that rejects a value reports
// it to the host (1129) and answers false.
#pragma once

#include <cstdint>

#include "hostapi/host_value.h"

// The remote and local ports of the Ex forms and the trap (arguments 1 and 2)
// must not be negative; false after reporting the first that is.
bool portsAccepted(const HostValue* args);

// Reads the optional timeout (milliseconds) at index and retries at index + 1.
// Answers false after reporting a negative value with message 1129. A timeout
// above 2147483 ms is limited to that.
bool readTimeoutRetries(const HostValue* args, int index, int32_t& timeout, int32_t& retries);

// Stores the peer and community texts as the module-wide target.
void takeTarget(const HostValue& peer, const HostValue& community);

// Parses the OID argument into the module-wide OID; false after reporting a
// text that does not parse or names more sub-identifiers than a message may
// carry.
bool takeOidArgument(const HostValue& oid);

// The default timeout and retries, then the optional ones at index, into the
// module-wide settings.
bool takeSettings(const HostValue* args, int index);

// A set's type argument: 0 to 255, and the byte it gives.
bool typeInRange(double number);
uint8_t typeByte(double number);

// Whether the value arguments of a set are the Counter64 form (four numbers).
bool isCounter64Form(const HostValue* value);

// Whether a value names a host binary variable (the text "BIN").
bool isBinaryVariable(const HostValue& value);

// Whether a set's value can go out as the type; a text that cannot is
// reported (1129) and nothing is sent.
bool valueAccepted(uint8_t type, const HostValue& value);

// Refuses a community the function cannot send with (1129), naming it only
// up to the end of its user name ("#user", "/user", "+#user"): never a secret.
void reportCommunityRefused(const char* community);

// Sends the number, formatted "%.0lf", with message 1129.
void reportNumber(double number);
