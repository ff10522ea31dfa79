#include "hold.h"

#include "request.h"
#include "status_reply.h"
#include "stop_signals.h"

int hold(const char* path, const char* setRequest, int everySeconds)
{
    char reply[kReplySize];
    catch_stop_signals();
    // Reminders keep their pace from the set's start on, however long each took.
    int64_t next = monotonic_ms();
    int status = fans_request(path, setRequest, reply);
    while (status == 0) {
        wait_for(next += in_ms(everySeconds));
        if (stop_requested())
            return fans_request(path, "auto\n", reply);
        status = fans_request(path, "status\n", reply);
        if (status == 0 && !forced(reply))
            status = complain(1, "the fans are no longer forced (the helper restarted, or a client handed them back)");
        else if (status == 0 && let_go(reply)) {
            warn("a fan runs on its own again (after a suspend?); setting it again");
            status = fans_request(path, setRequest, reply);
        }
    }
    return status;
}
