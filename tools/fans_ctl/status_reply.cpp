#include "status_reply.h"

#include <cstdio>
#include <cstring>

bool forced(const char* statusReply)
{
    int fansForced;
    return sscanf(statusReply, "ok fans=%*d forced=%d", &fansForced) == 1 && fansForced == 1;
}

bool let_go(const char* statusReply)
{
    for (const char* fan = strstr(statusReply, " F"); fan; fan = strstr(fan + 1, " F")) {
        float mode;  // read only once sscanf stored it
        if (sscanf(fan, " F%*d=%*f,%*f,%*f,%*f,%f", &mode) == 1 && mode == 0)
            return true;
    }
    return false;
}
