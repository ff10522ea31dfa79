// SMC key access: every operation is key info followed by at most one read or
// write, each a pair of zero-filled 80-byte records on the stack.
#include "smc.h"

#include <cstring>

#include "user_client.h"

uint32_t key_code(const char* name)
{
    const auto* c = reinterpret_cast<const unsigned char*>(name);
    return uint32_t(c[0]) << 24 | uint32_t(c[1]) << 16 | uint32_t(c[2]) << 8 | uint32_t(c[3]);
}

SmcKeyInfo smc_key_info(const char* name)
{
    SmcRecord request{};
    SmcRecord reply{};
    request.key = key_code(name);
    request.command = kSmcCmdKeyInfo;
    if (smc_call(&request, &reply) != 0 || reply.result != 0)
        return {};
    bool sized = reply.dataSize >= 1 && reply.dataSize <= sizeof reply.bytes;
    return {sized, reply.dataSize, reply.dataType};
}

// Decodes a read reply by the key's data type; types we do not know read as 0.
static float decode(uint32_t type, const uint8_t* b)
{
    if (type == key_code("ui8 "))
        return float(b[0]);
    if (type == key_code("ui16"))
        return float(b[0] * 256 + b[1]);
    if (type == key_code("fpe2"))
        return float(b[0] * 256 + b[1]) * 0.25f;
    if (type == key_code("flt ")) {
        float value;
        memcpy(&value, b, sizeof value);
        return value;
    }
    return 0.0f;
}

float read_float(const char* name)
{
    SmcKeyInfo info = smc_key_info(name);
    if (!info.ok)
        return -1.0f;
    SmcRecord request{};
    SmcRecord reply{};
    request.key = key_code(name);
    request.command = kSmcCmdRead;
    request.dataSize = info.size;
    if (smc_call(&request, &reply) != 0 || reply.result != 0)
        return -1.0f;
    return decode(info.type, reply.bytes);
}

int write_key(const char* name, const uint8_t* data, uint32_t size)
{
    SmcKeyInfo info = smc_key_info(name);
    // The size must match the key exactly, which also keeps the copy within bytes[32].
    if (!info.ok || info.size != size)
        return -1;
    SmcRecord request{};
    SmcRecord reply{};
    request.key = key_code(name);
    request.command = kSmcCmdWrite;
    request.dataSize = size;
    memcpy(request.bytes, data, size);
    if (smc_call(&request, &reply) != 0 || reply.result != 0)
        return -1;
    return 0;
}
