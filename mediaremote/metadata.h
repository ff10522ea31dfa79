// A player's properties as the framework's information dictionary.
#pragma once

#include "artwork.h"
#include "calls.h"
#include "media_remote.h"

// The artwork comes from load, given its URL.
MRInfoDictionary metadata_info(const PropertyMap& properties, double readAt, ArtworkLoader load = artwork_load);
std::string metadata_art_url(const PropertyMap& properties);  // empty when it names none
