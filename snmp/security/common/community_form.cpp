#include "snmp/security/common/community_form.h"

#include "snmp/security/usm/usm_string.h"

const uint8_t* afterVersionPrefix(const uint8_t* text, int32_t* length, bool* v2c)
{
    if (text == nullptr || *length <= 0 || text[0] != '+')
        return text;
    --*length;
    if (v2c != nullptr)
        *v2c = true;
    return text + 1;
}

CommunityKind communityKind(const uint8_t* text, int32_t length)
{
    text = afterVersionPrefix(text, &length);
    if (text == nullptr || length <= 0)
        return CommunityKind::Community;
    if (text[0] == '/')
        return CommunityKind::UserBased;
    if (isUsmString(reinterpret_cast<const char*>(text), static_cast<size_t>(length)))
        return CommunityKind::Usm;
    return CommunityKind::Community;
}
