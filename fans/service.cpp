#include "service.h"

#include "clock.h"
#include "fan_control.h"
#include "protocol.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
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
static const int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
static const size_t kPathSize = sizeof(sockaddr_un::sun_path);

// The socket's folder, opened once and held until shutdown: the stale-socket
// check, the bind and the removal all act in it, so a folder on the path
// swapped for a link between them cannot send any of them elsewhere.
static int folderFd = -1;
static const char* socketName;  // the path's last component

// Every signal that would end the helper on the spot stops it in order
// instead, so that forced fans are handed back. A crash is not caught: the
// next helper hands the fans back as it starts.
static const int kStopSignals[] = {
    SIGHUP,
    SIGINT,
    SIGQUIT,
    SIGTERM,
    SIGUSR1,
    SIGUSR2,
    SIGALRM,
    SIGVTALRM,
    SIGPROF,
    SIGXCPU,
    SIGXFSZ,
#ifdef SIGPOLL  // SIGIO on Linux; macOS's SIGIO is ignored unless caught
    SIGPOLL,
#endif
#ifdef SIGEMT
    SIGEMT,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
};

void on_signal(int)
{
    stopping = true;
}

// The stop signals are let in only inside pselect, which does so atomically:
// one that comes after the loop looked at stopping still ends the wait at
// once. Let in there even where the starter blocked them.
static sigset_t waitMask;

static void catch_stop_signals()
{
    sigset_t stops;
    sigemptyset(&stops);
    for (int sig : kStopSignals)
        sigaddset(&stops, sig);
#ifdef SIGRTMIN
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; sig++)
        sigaddset(&stops, sig);
#endif
    struct sigaction stop = {};
    stop.sa_handler = on_signal;
    sigemptyset(&stop.sa_mask);
    for (int sig = 1; sig < NSIG; sig++)
        if (sigismember(&stops, sig) == 1)
            sigaction(sig, &stop, nullptr);
    signal(SIGPIPE, SIG_IGN);  // a client gone away fails the send, not the helper
    pthread_sigmask(SIG_UNBLOCK, &stops, nullptr);
    pthread_sigmask(SIG_BLOCK, &stops, &waitMask);
}

void watchdog()
{
    if (forced && now_seconds() - lastContact >= kWatchdogSeconds)
        restore_auto();
}

// The last component of path, and its folder copied into folder (kPathSize bytes).
static const char* split_path(const char* path, char* folder)
{
    const char* slash = strrchr(path, '/');
    if (!slash) {
        strcpy(folder, ".");
        return path;
    }
    size_t length = slash == path ? 1 : size_t(slash - path);  // "/sock" lies in "/"
    memcpy(folder, path, length);
    folder[length] = '\0';
    return slash + 1;
}

// A folder that is a link is followed only where nobody but root can have
// made it: in a folder of root's that no one else may write (/var/run is a
// link to /run on Linux).
static int open_folder(const char* folder)
{
    int fd = open(folder, kFolderFlags | O_NOFOLLOW);
    if (fd >= 0)
        return fd;
    char parent[kPathSize];
    const char* name = split_path(folder, parent);
    int up = open(parent, kFolderFlags);
    struct stat st;
    if (up >= 0 && fstat(up, &st) == 0 && st.st_uid == 0 && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0)
        fd = openat(up, name, kFolderFlags);
    if (up >= 0)
        close(up);
    return fd;
}

// A path that does not fit the address would be cut, and the file removed,
// bound and removed again would not be the one that was named: refuse it
// before anything is removed.
static bool open_socket_folder(const char* path)
{
    char folder[kPathSize];
    if (strlen(path) >= kPathSize)
        return false;
    socketName = split_path(path, folder);
    return *socketName != '\0' && (folderFd = open_folder(folder)) >= 0;
}

static bool is_socket(struct stat* st)
{
    return fstatat(folderFd, socketName, st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISSOCK(st->st_mode);
}

// Only a stale socket is removed: a wrong path must never cost a root
// helper's victim a regular file. Anything else left there makes bind fail.
static void remove_stale_socket()
{
    struct stat st;
    if (is_socket(&st))
        unlinkat(folderFd, socketName, 0);
}

// There is no bindat: the last component is bound from within the folder,
// and the helper, having one thread, then returns to its working folder.
// The file is created open to every user (who is served is decided per
// connection) through the creation mask, never by a change of mode by path.
static bool bind_in_folder(int fd)
{
    sockaddr_un addr;
    memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    strcpy(addr.sun_path, socketName);  // shorter than the path, which fits
    int here = open(".", kFolderFlags);
    if (here < 0 || fchdir(folderFd) != 0) {
        if (here >= 0)
            close(here);
        return false;
    }
    mode_t saved = umask(0111);
    bool bound = bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    umask(saved);
    bool back = fchdir(here) == 0;
    close(here);
    return bound && back;
}

// The bound, listening socket, or -1; `bound` names the file bind made.
static int open_listener(const char* path, struct stat* bound)
{
    if (!open_socket_folder(path))
        return -1;
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    remove_stale_socket();
    if (!bind_in_folder(fd) || !is_socket(bound) || listen(fd, kBacklog) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// A newer helper may have taken the path over since: its socket is not ours
// to remove.
static void remove_own_socket(const struct stat* bound)
{
    struct stat now;
    if (is_socket(&now) && now.st_dev == bound->st_dev && now.st_ino == bound->st_ino)
        unlinkat(folderFd, socketName, 0);
}

static void serve_turn(int fd, int64_t owner)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(fd, &readable);
    const timespec timeout = {kSelectSeconds, 0};

    int ready = pselect(fd + 1, &readable, nullptr, nullptr, &timeout, &waitMask);
    watchdog();
    if (ready <= 0)
        return;
    int client = accept(fd, nullptr, nullptr);
    if (client >= 0)
        handle_client(client, owner);
}

static int serve_socket(const char* path, int64_t owner)
{
    struct stat bound;
    int fd = open_listener(path, &bound);
    if (fd < 0)
        return 1;
    while (!stopping)
        serve_turn(fd, owner);

    if (forced)
        restore_auto();
    close(fd);
    remove_own_socket(&bound);
    return 0;
}

int serve(const char* path, int64_t owner)
{
    catch_stop_signals();
    restore_stale_forcing();
    int status = serve_socket(path, owner);
    if (folderFd >= 0)
        close(folderFd);
    folderFd = -1;
    return status;
}
