// The artwork of the URL the records ask for, kept by URL so that a file is
// read once, not at every record. Bus thread only.
#pragma once

#include "artwork.h"

// None while its file is still being read (the record goes without it, and
// the information is announced as changed once it is in) or when it cannot
// be had.
ArtworkBytes artwork_cached(const std::string& url);
// The now-playing player's metadata names url: a file is read at once, so
// that a fast one is in before the record that follows the change asks.
void artwork_named(const std::string& url);
