#include "base64.h"

static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Four characters for three bytes; the missing bytes of the last group are
// zeros, and the characters that stand only for them become "=".
std::string base64_encode(const std::uint8_t* bytes, std::size_t length)
{
    std::string text((length + 2) / 3 * 4, '=');
    char* out = text.data();
    for (std::size_t i = 0; i < length; i += 3, out += 4) {
        std::size_t rest = length - i;
        std::uint32_t group = bytes[i] << 16 | (rest > 1 ? bytes[i + 1] << 8 : 0) | (rest > 2 ? bytes[i + 2] : 0);
        out[0] = alphabet[group >> 18 & 63];
        out[1] = alphabet[group >> 12 & 63];
        if (rest > 1)
            out[2] = alphabet[group >> 6 & 63];
        if (rest > 2)
            out[3] = alphabet[group & 63];
    }
    return text;
}
