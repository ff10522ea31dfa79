// A strict base64 decoder for the fuzz targets' checks: standard alphabet,
// whole groups of four, padding only at the end and only where it belongs,
// and no bits left over in the last group.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

std::optional<std::vector<std::uint8_t>> strict_base64_decode(std::string_view text);
