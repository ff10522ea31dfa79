// The seam to the controller. Only these two functions touch it; one
// implementation is linked into each executable (IOKit, sysfs, simulated,
// or a scripted one in the tests).
#pragma once

#include <cstdint>

struct SmcRecord;

// The open connection (an io_connect_t on macOS); 0 until smc_open succeeds.
extern uint32_t smc;

// Opens the controller into smc. Succeeds at once when smc is already open.
bool smc_open();

// One exchange: request in, reply out (zero-filled by the caller). 0 is success.
int smc_call(const SmcRecord* request, SmcRecord* reply);

// Claims the open controller for this process alone, for as long as it lives;
// false while another process holds it. A kernel lock: a helper that dies, in
// whatever way, releases it.
bool smc_claim();

// What our own controllers answer. The logic only tells zero from non-zero.
constexpr int kSmcNotOpen = -1;  // smc_call before a successful smc_open
enum : uint8_t {
    kSmcKeyNotFound = 0x84,  // result: no such key
    kSmcRefused = 0x85,      // result: read-only key, wrong size, failed I/O
};

// The simulated controller's monotonic clock in seconds; tests replace it.
extern double (*simClock)();

// Where the Linux controller looks for the kernel's SMC drivers: the hwmon
// class, then applesmc's platform device. Tests point them at a fake tree.
extern const char* sysfsRoot;
extern const char* hwmonRoot;
