#include "base64.h"

static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64_encode(const std::uint8_t* bytes, std::size_t length)
{
    std::string text;
    text.reserve((length + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= length; i += 3) {
        std::uint32_t group = bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2];
        text += alphabet[group >> 18 & 63];
        text += alphabet[group >> 12 & 63];
        text += alphabet[group >> 6 & 63];
        text += alphabet[group & 63];
    }
    std::size_t rest = length - i;
    if (rest == 0)
        return text;
    std::uint32_t group = bytes[i] << 16 | (rest == 2 ? bytes[i + 1] << 8 : 0);
    text += alphabet[group >> 18 & 63];
    text += alphabet[group >> 12 & 63];
    text += rest == 2 ? alphabet[group >> 6 & 63] : '=';
    text += '=';
    return text;
}
