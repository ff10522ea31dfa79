#include "request.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sysexits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <optional>

int64_t monotonic_ms()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

static void vwarn(const char* format, va_list args)
{
    fputs("tolvane-fans-ctl: ", stderr);
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
}

void warn(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vwarn(format, args);
    va_end(args);
}

int complain(int status, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vwarn(format, args);
    va_end(args);
    return status;
}

// As complain, unless the flags keep faults quiet.
static int __attribute__((format(printf, 3, 4))) fault(int flags, int status, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    if (!(flags & kQuietFaults))
        vwarn(format, args);
    va_end(args);
    return status;
}

// A connected socket, or none with errno set.
static std::optional<int> connect_helper(const char* path)
{
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    if (strlen(path) >= sizeof addr.sun_path) {  // the helper refuses such a path: none listens there
        errno = ENAMETOOLONG;
        return std::nullopt;
    }
    strcpy(addr.sun_path, path);
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return std::nullopt;
    // While the helper's backlog is full, connect waits, but no longer than for a reply.
    timeval limit = {kReplySeconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
        return fd;
    int cause = errno;
    close(fd);
    errno = cause;
    return std::nullopt;
}

// The bytes up to the helper's close (a reset after them ends them too), or none at the deadline.
static std::optional<std::size_t> read_reply(int fd, char* reply, std::size_t size, int64_t deadline)
{
    std::size_t length = 0;
    while (length < size) {
        pollfd ready = {fd, POLLIN, 0};
        int64_t left = deadline - monotonic_ms();
        int polled = poll(&ready, 1, int(left > 0 ? left : 0));  // bytes there at the deadline still count
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled == 0)
            return std::nullopt;
        ssize_t n = read(fd, reply + length, size - length);
        if (n <= 0)
            break;
        length += std::size_t(n);
    }
    return length;
}

static bool one_reply_line(const char* reply, std::size_t length)
{
    const void* newline = memchr(reply, '\n', length);
    return length < kReplySize - 1 && newline == reply + length - 1 &&
        (strncmp(reply, "ok", 2) == 0 || strncmp(reply, "error", 5) == 0);
}

// Whole, in one send, since the helper receives once. The send's result tells nothing that
// the reply does not (SIGPIPE is ignored): a helper that closed first sent nothing.
static std::optional<std::size_t> exchange(int fd, const char* request, char (&reply)[kReplySize], int64_t deadline)
{
    send(fd, request, strlen(request), 0);
    std::optional<std::size_t> length = read_reply(fd, reply, kReplySize - 1, deadline);
    close(fd);
    return length;
}

// As it came, but for the bytes a terminal would act on (and a backslash, so that none of
// these reads as one), which show as \xHH: an ordinary reply prints byte for byte.
static void print_reply(const char* reply, std::size_t length)
{
    for (std::size_t i = 0; i + 1 < length; i++) {
        unsigned char c = static_cast<unsigned char>(reply[i]);
        if (c < 0x20 || c >= 0x7f || c == '\\')
            printf("\\x%02x", c);
        else
            putchar(c);
    }
    putchar('\n');
    fflush(stdout);
}

int fans_request(const char* path, const char* request, char (&reply)[kReplySize], int flags)
{
    int64_t deadline = monotonic_ms() + in_ms(kReplySeconds);
    std::optional<int> fd = connect_helper(path);
    if (!fd && errno != EAGAIN)  // EAGAIN: the helper's backlog stayed full
        return fault(flags, EX_UNAVAILABLE, "no helper at %s: %s", path, strerror(errno));
    std::optional<std::size_t> length = fd ? exchange(*fd, request, reply, deadline) : std::nullopt;
    if (!length)
        return fault(flags, EX_TEMPFAIL, "no reply from the helper at %s within %d seconds", path, kReplySeconds);
    if (*length == 0)
        return fault(flags, EX_NOPERM,
            "the helper at %s closed without a reply: it serves only its --owner and root (this is uid %u), or it was "
            "stopping, or it gave up waiting for the request",
            path, unsigned(geteuid()));
    reply[*length] = '\0';
    if (!one_reply_line(reply, *length))
        return fault(flags, EX_PROTOCOL, "the reply from %s is not one line of ok or error", path);
    if (!(flags & kQuietReply))
        print_reply(reply, *length);
    return reply[0] == 'e';
}
