// The artwork bytes a player names by URL: a local file or inline data,
// never fetched from the network.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

using ArtworkBytes = std::shared_ptr<const std::vector<std::uint8_t>>;

inline constexpr std::size_t artworkLimit = 16u << 20;

ArtworkBytes artwork_load(const std::string& url);  // null when it cannot be had, or is no image
using ArtworkLoader = ArtworkBytes (*)(const std::string& url);
