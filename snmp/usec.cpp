// Placeholders until the user-based security mode is built: it replaces this
// file with the parameters builder and the keyed MD5 digest. Until then a
// version-2 message cannot be built, so no unauthenticated message can go out
// in place of an authenticated one.
#include "snmp/usec.h"

int32_t buildUsecParameters(const SnmpSession* /*session*/, int32_t /*flag*/, uint8_t* /*out*/, int32_t* /*length*/)
{
    return -1;
}

void messageDigest(const uint8_t* /*message*/, int32_t /*length*/, const uint8_t* /*key*/, uint8_t* /*digest*/)
{
}
