#include "program_support.h"

#include "../support/wait.h"
#include "service.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cstring>

std::string TempDir::make()
{
    char name[] = "/tmp/tolvane-fans-XXXXXX";
    chmod(mkdtemp(name), 0755);  // children that drop to another uid connect in here
    return name;
}

int connect_to(const std::string& path)
{
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr = {AF_UNIX, {}};
    strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
        return fd;
    close(fd);
    return -1;
}

std::string read_all(int fd)
{
    std::string text;
    char buf[1024];
    pollfd p = {fd, POLLIN, 0};
    for (ssize_t n; poll(&p, 1, 10000) == 1; text.append(buf, size_t(n)))
        if ((n = read(fd, buf, sizeof buf)) <= 0)
            return text;
    return text + "(no close)";
}

std::string request(const std::string& path, const std::string& text)
{
    int fd = connect_to(path);
    if (fd < 0)
        return "(no connection)";
    send(fd, text.data(), text.size(), MSG_NOSIGNAL);
    std::string reply = read_all(fd);
    close(fd);
    return reply;
}

// A loaded machine gets 20 s to start a server.
bool answers(const std::string& path, const std::string& text, const std::string& reply)
{
    return wait_until([&] { return request(path, text) == reply; }, std::chrono::seconds(20));
}

bool ServerThread::start(const std::string& socketPath, int64_t owner)
{
    path = socketPath;
    stopping = 0;
    thread = std::thread([this, owner] { status = serve(path.c_str(), owner); });
    return answers(path, "ping\n", "ok\n");
}

int ServerThread::stop(int sig)
{
    pthread_kill(thread.native_handle(), sig);
    close(connect_to(path));  // wakes select should the signal land just before it
    thread.join();
    return status;
}
