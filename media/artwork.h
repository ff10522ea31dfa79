// The artwork identity: the name under which a piece of artwork is sent once.
#pragma once

#include "media_remote.h"

#include <string>

// The text of the identifier when the information holds one (any value),
// else "<byte length>-<hash of the bytes>".
std::string artwork_identity(const MRInfoDictionary& info, const MRData& artwork);

// The text an identifier of any type stands for.
std::string describe(const MRValue& value);
