// Command input: one transport command per line on standard input.
#pragma once

// The most blocks the reader hands queue that it has not yet run: deep enough
// that a burst of commands never waits, shallow enough that a flood holds
// little memory.
inline constexpr int handedOnLimit = 64;

// Carries out one line (trimmed of its trailing CR and LF here) and then
// requests a refresh; whatever the line, it never fails.
void run_command(char* line);

// Reads and runs lines until standard input ends, then ends the process
// with status 0. Runs on the reader thread.
[[noreturn]] void readCommands();
