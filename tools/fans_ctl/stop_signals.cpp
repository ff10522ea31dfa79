#include "stop_signals.h"

#include "request.h"

#include <sys/select.h>

#include <chrono>
#include <csignal>
#include <ctime>
#include <initializer_list>

static volatile sig_atomic_t stopRequested;
static sigset_t waitMask;  // the mask inside waits: the stop signals let in

static void on_stop_signal(int)
{
    stopRequested = true;
}

// Stop signals are blocked outside the waits, so that no request is cut short;
// pselect lets them in atomically, so one that comes just before a wait ends it
// at once. Let in there even where the starter blocked them.
void catch_stop_signals()
{
    stopRequested = false;  // a stop ends one hold or follow, not the next one
    struct sigaction action = {};
    action.sa_handler = on_stop_signal;
    sigset_t stops = {};
    sigemptyset(&stops);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(sig, &action, nullptr);
        sigaddset(&stops, sig);
    }
    sigprocmask(SIG_UNBLOCK, &stops, nullptr);
    sigprocmask(SIG_BLOCK, &stops, &waitMask);
}

bool stop_requested()
{
    return stopRequested;
}

void wait_for(int64_t deadline)
{
    for (int64_t left; !stopRequested && (left = deadline - monotonic_ms()) > 0;) {
        std::chrono::milliseconds rest(left);
        auto seconds = std::chrono::duration_cast<std::chrono::seconds>(rest);
        timespec wait = {time_t(seconds.count()), long(std::chrono::nanoseconds(rest - seconds).count())};
        pselect(0, nullptr, nullptr, nullptr, &wait, &waitMask);
    }
}
