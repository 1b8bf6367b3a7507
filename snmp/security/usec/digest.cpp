#include "snmp/security/usec/digest.h"

#include <cstring>

#include "snmp/security/common/md5.h"
#include "snmp/security/usec/keys.h"

void messageDigest(const uint8_t* message, int32_t length, const uint8_t* key, uint8_t* digest)
{
    uint8_t keyCopy[UsecKeyLength];
    std::memcpy(keyCopy, key, UsecKeyLength);  // the key may lie inside message or at digest
    Md5Context context;
    MD5Init(&context);
    if (length > 0)
        MD5Update(&context, message, static_cast<uint32_t>(length));
    MD5Update(&context, keyCopy, UsecKeyLength);
    MD5Final(digest, &context);
}

bool digestMatches(const uint8_t* message, int32_t length, int32_t fieldOffset, const uint8_t* key)
{
    if (message == nullptr || fieldOffset < 0 || fieldOffset > length - UsecKeyLength)
        return false;
    const int32_t behind = fieldOffset + UsecKeyLength;
    Md5Context context;
    MD5Init(&context);
    if (fieldOffset > 0)
        MD5Update(&context, message, static_cast<uint32_t>(fieldOffset));
    MD5Update(&context, key, UsecKeyLength);
    if (length > behind)
        MD5Update(&context, message + behind, static_cast<uint32_t>(length - behind));
    MD5Update(&context, key, UsecKeyLength);
    uint8_t digest[UsecKeyLength];
    MD5Final(digest, &context);
    uint8_t difference = 0;
    for (int32_t i = 0; i < UsecKeyLength; ++i)
        difference |= static_cast<uint8_t>(digest[i] ^ message[fieldOffset + i]);
    return difference == 0;
}
