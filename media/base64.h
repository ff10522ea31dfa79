// Base64 with the standard alphabet, closing padding and no line breaks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

std::string base64_encode(const std::uint8_t* bytes, std::size_t length);
