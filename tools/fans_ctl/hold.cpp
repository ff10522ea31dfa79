#include "hold.h"

#include "request.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <initializer_list>

static volatile sig_atomic_t stopRequested;
static int wakePipe[2] = {-1, -1};  // the handler's byte wakes a wait it came just before
static sigset_t stopSignals;

static void on_stop_signal(int)
{
    stopRequested = 1;
    ssize_t ignored = write(wakePipe[1], "", 1);
    (void)ignored;
}

// Stop signals are blocked outside the waits, so that no request is cut short.
static void catch_stop_signals()
{
    if (pipe(wakePipe) == 0)
        fcntl(wakePipe[1], F_SETFL, O_NONBLOCK);
    struct sigaction action = {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&stopSignals);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(sig, &action, nullptr);
        sigaddset(&stopSignals, sig);
    }
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
}

static void wait_for(int64_t deadline)
{
    sigprocmask(SIG_UNBLOCK, &stopSignals, nullptr);
    for (int64_t left; !stopRequested && (left = deadline - monotonic_ms()) > 0;) {
        pollfd wake = {wakePipe[0], POLLIN, 0};
        poll(&wake, 1, int(left));
    }
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
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
