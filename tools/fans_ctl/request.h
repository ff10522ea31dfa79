// One request to the fan helper: connect, write it whole, read its one reply line.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

// The helper takes a request in one receive of at most 255 bytes.
const std::size_t kRequestSize = 256;
// Its replies are at most 511 bytes; reading 512 tells a longer one, and our NUL follows.
const std::size_t kReplySize = 513;

// The helper answers within a few seconds even with others ahead of us: it serves one
// connection at a time and waits 2 s at most for a silent one's request.
const int kReplySeconds = 5;

int64_t monotonic_ms();
// That clock's reading of a count of seconds.
constexpr int64_t in_ms(int seconds)
{
    return std::chrono::milliseconds(std::chrono::seconds(seconds)).count();
}

// What fans_request leaves unsaid: a client that asks often prints neither each reply nor,
// once it said the helper is gone, the same fault again.
enum RequestFlags { kQuietReply = 1, kQuietFaults = 2 };

// Prints the reply as it came on standard output, or one line on standard error saying what
// went wrong, and returns the exit status: 0 for "ok…", 1 for "error…", else one of
// sysexits' (no helper, not served, no reply, not one line).
int fans_request(const char* path, const char* request, char (&reply)[kReplySize], int flags = 0);

// A message on standard error; complain also returns the status to exit with.
void warn(const char* format, ...) __attribute__((format(printf, 1, 2)));
int complain(int status, const char* format, ...) __attribute__((format(printf, 2, 3)));
