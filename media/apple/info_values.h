// The framework's information dictionary as the neutral values the bridge's
// code reads.
#pragma once

#include "media_remote.h"

@class NSDictionary;

// Text, integers and floating-point numbers kept apart, booleans, dates and
// data; any other object as its description. Keys that are not strings are
// left out. Null for no dictionary.
MRInfo info_values(NSDictionary* information);
