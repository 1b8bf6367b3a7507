// Receiving: one datagram from every session whose socket is ready, decoded
// and handed to the session's callback once it shows it may answer.
#pragma once

#include "platform/winsock.h"

// Reads one datagram from every session whose socket is in the read set and
// hands it to the session's callback, matching replies to pending requests:
// a reply counts only with an awaited id, from the address and port the
// request went to (anyone for a broadcast), with the session's version and,
// for the community-based versions, its community.
void readSockets(WinFdSet* readSet);
