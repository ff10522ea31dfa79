// Now-playing snapshots: the debounced request, the three chained queries,
// and the record they make. Everything here runs on `queue`.
#pragma once

#include "event_stream.h"
#include "media_remote.h"

#include <cstdint>

// One refresh 120 ms from now, superseding any request still waiting.
void schedule();

// Asks for the application, its playing state and its information, then
// emits the record; returns at once.
void refresh();

// The now-playing record for one set of answers; decides whether the
// artwork goes with it and remembers what was sent.
Record now_playing_record(std::int32_t pid, bool playing, const MRInfo& info);
