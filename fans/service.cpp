#include "service.h"

#include "clock.h"
#include "fan_control.h"
#include "protocol.h"

#include <sys/select.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

volatile sig_atomic_t stopping;

static const int kBacklog = 4;
static const int kSelectSeconds = 5;
static const int64_t kWatchdogSeconds = 61;

void on_signal(int)
{
    stopping = 1;
}

void watchdog()
{
    if (forced && now_seconds() - lastContact >= kWatchdogSeconds)
        restore_auto();
}

// A path that does not fit would be cut, and the file removed, bound and
// removed again would not be the one that was named: refuse it instead.
static bool fill_address(sockaddr_un* addr, const char* path)
{
    memset(addr, 0, sizeof *addr);
    addr->sun_family = AF_UNIX;
    if (strlen(path) >= sizeof addr->sun_path)
        return false;
    strcpy(addr->sun_path, path);
    return true;
}

// Only a stale socket is removed: a wrong path must never cost a root
// helper's victim a regular file. Anything else left there makes bind fail.
static void remove_stale_socket(const char* path)
{
    struct stat st;
    if (lstat(path, &st) == 0 && S_ISSOCK(st.st_mode))
        unlink(path);
}

// The socket file is created open to every user (who is served is decided per
// connection). Its mode comes from the creation mask, never from a change by
// path afterwards: a user who may write in the folder could swap the fresh
// socket for a link, and root would then open up whatever the link names.
static int bind_open_to_all(int fd, const sockaddr_un* addr)
{
    mode_t saved = umask(0111);
    int result = bind(fd, reinterpret_cast<const sockaddr*>(addr), sizeof *addr);
    umask(saved);
    return result;
}

// The bound, listening socket, or -1; `bound` names the file bind made.
static int open_listener(const char* path, struct stat* bound)
{
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    sockaddr_un addr;
    if (!fill_address(&addr, path)) {
        close(fd);
        return -1;
    }
    remove_stale_socket(path);
    if (bind_open_to_all(fd, &addr) != 0 || lstat(path, bound) != 0 || listen(fd, kBacklog) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// A newer helper may have taken the path over since: its socket is not ours
// to remove.
static void remove_own_socket(const char* path, const struct stat* bound)
{
    struct stat now;
    if (lstat(path, &now) == 0 && now.st_dev == bound->st_dev && now.st_ino == bound->st_ino)
        unlink(path);
}

static void serve_turn(int fd, int64_t owner)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(fd, &readable);
    timeval timeout = {kSelectSeconds, 0};  // select may change it: rebuilt every turn

    int ready = select(fd + 1, &readable, nullptr, nullptr, &timeout);
    watchdog();
    if (ready <= 0)
        return;
    int client = accept(fd, nullptr, nullptr);
    if (client >= 0)
        handle_client(client, owner);
}

int serve(const char* path, int64_t owner)
{
    signal(SIGTERM, on_signal);
    signal(SIGINT, on_signal);
    signal(SIGPIPE, SIG_IGN);  // a client gone away fails the send, not the helper

    struct stat bound;
    int fd = open_listener(path, &bound);
    if (fd < 0)
        return 1;
    while (!stopping)
        serve_turn(fd, owner);

    if (forced)
        restore_auto();
    close(fd);
    remove_own_socket(path, &bound);
    return 0;
}
