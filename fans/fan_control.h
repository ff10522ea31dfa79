// Fan semantics over the SMC keys: discovery, the status line, forcing and hand-back.
#pragma once

#include <cstdint>

constexpr int kMaxFans = 8;
constexpr int kStatusSize = 512;

extern int32_t fanCount;                // 0..8, set once by detect_fans
extern int32_t forced;                  // 1 while this process holds the fans
extern bool haveOriginal;               // original modes captured (never cleared)
extern int32_t originalMode[kMaxFans];  // modes captured at the first forcing

void detect_fans();
void status_line(char* buf);       // buf holds kStatusSize bytes
bool force_all_fans(float speed);  // true on success
void restore_auto();
// At the start of serving: hands back fans that a helper killed while it held
// them left forced, before anything is captured.
void restore_stale_forcing();
