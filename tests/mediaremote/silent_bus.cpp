#include "silent_bus.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <stdexcept>

SilentBus::SilentBus(const std::string& socketPath)
    : path(socketPath)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener, 4) != 0)
        throw std::runtime_error("cannot listen at " + path);
}

SilentBus::~SilentBus()
{
    if (client >= 0)
        close(client);
    close(listener);
    unlink(path.c_str());
}

static bool readable(int fd, std::chrono::milliseconds limit)
{
    pollfd ready = {fd, POLLIN, 0};
    return poll(&ready, 1, static_cast<int>(limit.count())) > 0;
}

bool SilentBus::await_greeting(std::chrono::milliseconds limit)
{
    if (!readable(listener, limit))
        return false;
    client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    char byte;
    return client >= 0 && readable(client, limit) && read(client, &byte, 1) == 1;
}
