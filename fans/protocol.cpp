#include "protocol.h"

#include "clock.h"
#include "fan_control.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int64_t lastContact;

static const char kVersion[] = "1";
static const float kMaxSpeed = 20000.0f;
static const int kRequestSize = 256;
static const int kReceiveSeconds = 2;
static const int kDrainReads = 16;  // about 4 KiB: far beyond any request of the protocol

// The peer's effective uid (on Linux, libbsd reads it from the socket's
// credentials, fixed at connect time).
static bool peer_uid(int fd, uid_t* uid)
{
    gid_t gid;
    return getpeereid(fd, uid, &gid) == 0;
}

// The owner, and root, are served; the owner is compared as a 32-bit uid.
static bool admitted(uid_t uid, int64_t owner)
{
    return uid == 0 || uid == static_cast<uid_t>(owner);
}

static bool begins(const char* request, const char* word)
{
    return strncmp(request, word, strlen(word)) == 0;
}

static const char* set_speed(const char* number)
{
    float speed = strtof(number, nullptr);
    // Written so that NaN fails both comparisons.
    if (!(speed > 0.0f && speed <= kMaxSpeed))
        return "error range\n";
    return force_all_fans(speed) ? "ok\n" : "error smc\n";
}

// The reply text: a constant, or the reply buffer filled in place.
static const char* answer(const char* request, char* reply)
{
    if (begins(request, "hello")) {
        snprintf(reply, kStatusSize, "ok tolvane-fans %s\n", kVersion);
        return reply;
    }
    if (begins(request, "status")) {
        status_line(reply);
        return reply;
    }
    if (begins(request, "ping"))
        return "ok\n";
    if (begins(request, "auto")) {
        restore_auto();
        return "ok\n";
    }
    if (begins(request, "set "))
        return set_speed(request + 4);
    return "error command\n";
}

// Bytes left unread at the close make the kernel reset the connection, and a
// client may then lose its reply: what has already arrived is read away,
// without waiting and within a bound.
static void drain(int fd, char* buf, size_t size)
{
    for (int i = 0; i < kDrainReads && recv(fd, buf, size, MSG_DONTWAIT) > 0; i++) { }
}

static void serve_request(int fd)
{
    char request[kRequestSize];
    char reply[kStatusSize];

    timeval timeout = {kReceiveSeconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);

    ssize_t n = recv(fd, request, sizeof request - 1, 0);
    if (n <= 0)
        return;
    request[n] = '\0';
    lastContact = now_seconds();

    const char* text = answer(request, reply);
    send(fd, text, strlen(text), 0);
    drain(fd, request, sizeof request);
}

void handle_client(int fd, int64_t owner)
{
    uid_t uid;
    if (peer_uid(fd, &uid) && admitted(uid, owner))
        serve_request(fd);
    close(fd);
}
