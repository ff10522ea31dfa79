#include "hold.h"

#include "request.h"

#include <sys/select.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>

static volatile sig_atomic_t stopRequested;
static sigset_t waitMask;  // the mask inside waits: the stop signals let in

static void on_stop_signal(int)
{
    stopRequested = 1;
}

// Stop signals are blocked outside the waits, so that no request is cut short;
// pselect lets them in atomically, so one that comes just before a wait ends it
// at once. Let in there even where the starter blocked them.
static void catch_stop_signals()
{
    struct sigaction action = {};
    action.sa_handler = on_stop_signal;
    sigset_t stops;
    sigemptyset(&stops);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(sig, &action, nullptr);
        sigaddset(&stops, sig);
    }
    sigprocmask(SIG_UNBLOCK, &stops, nullptr);
    sigprocmask(SIG_BLOCK, &stops, &waitMask);
}

static void wait_for(int64_t deadline)
{
    for (int64_t left; !stopRequested && (left = deadline - monotonic_ms()) > 0;) {
        timespec wait = {time_t(left / 1000), long(left % 1000) * 1000000};
        pselect(0, nullptr, nullptr, nullptr, &wait, &waitMask);
    }
}

static bool forced(const char* statusReply)
{
    int fansForced = 0;
    return sscanf(statusReply, "ok fans=%*d forced=%d", &fansForced) == 1 && fansForced == 1;
}

// A fan at mode 0 while the helper says it forced them all was let go behind
// its back: T2 Macs drop manual mode across a suspend.
static bool let_go(const char* statusReply)
{
    for (const char* fan = strstr(statusReply, " F"); fan; fan = strstr(fan + 1, " F")) {
        float mode = -1;
        if (sscanf(fan, " F%*d=%*f,%*f,%*f,%*f,%f", &mode) == 1 && mode == 0)
            return true;
    }
    return false;
}

int hold(const char* path, const char* setRequest, int everySeconds)
{
    char reply[kReplySize];
    catch_stop_signals();
    // Reminders keep their pace from the set's start on, however long each took.
    int64_t next = monotonic_ms();
    int status = fans_request(path, setRequest, reply);
    while (status == 0) {
        wait_for(next += everySeconds * 1000);
        if (stopRequested)
            return fans_request(path, "auto\n", reply);
        status = fans_request(path, "status\n", reply);
        if (status == 0 && !forced(reply))
            status = complain(1, "the fans are no longer forced (the helper restarted, or a client handed them back)");
        else if (status == 0 && let_go(reply)) {
            complain(0, "a fan runs on its own again (after a suspend?); setting it again");
            status = fans_request(path, setRequest, reply);
        }
    }
    return status;
}
