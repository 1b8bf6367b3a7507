// Receiving: one datagram from every session whose socket is ready, decoded
// and handed to the session's callback once it shows it may answer.
#pragma once

#include <cstdint>

#include "platform/winsock.h"

struct SessionSlot;

// Reads one datagram from every session whose socket is in the read set and
// hands it to the session's callback, matching replies to pending requests:
// a reply counts only with an awaited id, from the address and port the
// request went to (anyone for a broadcast), with the session's version and,
// for the community-based versions, its community.
void readSockets(WinFdSet* readSet);

// The receive of a wait on the one open session: one datagram read (waiting
// at most `wait`, and then until it has passed) and handled as readSockets
// handles it. 1 when a datagram was handled; 0 when the time ran out; -1
// when the receive failed (reported): the caller lets time-outs run either
// way, so that a failing socket cannot keep a call waiting past its end.
int32_t receiveWithin(SessionSlot* slot, const timeval& wait);
