#include "strict_base64.h"

#include <cstring>

static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

static int digit(char c)
{
    const char* at = c ? std::strchr(alphabet, c) : nullptr;
    return at ? static_cast<int>(at - alphabet) : -1;
}

// One group of four characters into up to three bytes; false when it is not
// canonical (a stray character, misplaced padding, bits set under padding).
static bool decode_group(std::string_view group, bool last, std::vector<std::uint8_t>& out)
{
    int padding = group[3] == '=' ? group[2] == '=' ? 2 : 1 : 0;
    if (padding && !last)
        return false;
    std::uint32_t bits = 0;
    for (int i = 0; i < 4 - padding; i++) {
        int d = digit(group[i]);
        if (d < 0)
            return false;
        bits |= static_cast<std::uint32_t>(d) << (18 - 6 * i);
    }
    if (bits & ((1u << (8 * padding)) - 1))
        return false;
    for (int i = 0; i < 3 - padding; i++)
        out.push_back(static_cast<std::uint8_t>(bits >> (16 - 8 * i)));
    return true;
}

std::optional<std::vector<std::uint8_t>> strict_base64_decode(std::string_view text)
{
    if (text.size() % 4)
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    for (std::size_t at = 0; at < text.size(); at += 4)
        if (!decode_group(text.substr(at, 4), at + 4 == text.size(), bytes))
            return std::nullopt;
    return bytes;
}
