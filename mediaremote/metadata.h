// A player's properties as the framework's information dictionary.
#pragma once

#include "calls.h"
#include "media_remote.h"

MRInfoDictionary metadata_info(const PropertyMap& properties, double readAt);
