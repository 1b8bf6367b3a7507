// The receive check of the user-based mode: what a version-2 message must
// show before the engine takes it, and the estimate of the agent's clock that
// accepted messages keep.
#pragma once

#include <cstdint>

#include "snmp/security/usec/usec_parameters.h"
#include "snmp/snmp.h"

// The hook of a user-based session (its authHook): decodes the parameters
// into pdu->security and checks the agent identifier, the context, the user,
// the protection, the digest and the time window; an accepted authenticated
// message moves the session's clock estimate forward. Answers one of the
// verdicts of usec_parameters.h, never a negative number. The message is only
// read.
int32_t usecAuthenticate(const uint8_t* message, int32_t messageLength, const uint8_t* parameters,
                         int32_t parametersLength, SnmpSession* session, SnmpPdu* pdu);
