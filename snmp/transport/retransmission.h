// Waiting and retransmission over all open sessions.
#pragma once

#include <cstdint>

#include "platform/winsock.h"

// Adds every open session's socket to the read set and raises the socket
// limit. When a request is pending anywhere, and the block flag is 1 or the
// time until its expiry has passed (the clock reads later) is shorter than
// *wait, *wait becomes that time and the block flag 0. Answers the number of
// open sessions.
int32_t prepareWait(int32_t* socketLimit, WinFdSet* readSet, timeval* wait, int32_t* block);

// Retransmits every request whose expiry has passed and still has
// transmissions left (with a jitter of 0 to 499 ms), and gives up the others
// with a timed-out callback.
void processTimeouts();
