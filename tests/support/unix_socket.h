// A Unix stream socket at a path, for tests and benchmarks that play client or server.
#pragma once

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

// Listening with the backlog given, else connected (-2: at once or never); -1 if not. Closed, bound: served by no one.
inline int unix_socket(const std::string& path, int backlog = -1)
{
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr = {};  // macOS puts a length before the family
    addr.sun_family = AF_UNIX, strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    auto* at = reinterpret_cast<sockaddr*>(&addr);
    if (backlog < 0 ? (backlog == -1 || fcntl(fd, F_SETFL, O_NONBLOCK) == 0) && connect(fd, at, sizeof addr) == 0
                    : bind(fd, at, sizeof addr) == 0 && listen(fd, backlog) == 0)
        return fd;
    return close(fd), -1;
}
