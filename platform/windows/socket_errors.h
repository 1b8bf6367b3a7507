// Winsock keeps its errors apart from the runtime's (WSAGetLastError); the
// engine reads errno on every platform. These translate between the two.
#pragma once

// Copies Winsock's last error into errno (as the nearest errno value).
void errnoFromWinsock();
// errno value of a Winsock error code (EIO for one without a counterpart).
int errnoOfWinsock(int winsockError);
// The Winsock error code behind an errno value, 0 for none.
int winsockErrorOf(int error);
