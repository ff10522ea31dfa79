// For the fan helper's program tests and benchmarks: clients and a server thread.
#pragma once

#include "service.h"
#include "temp_dir.h"
#include "unix_socket.h"
#include "wait.h"

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

// Up to the close, with "(reset)" appended to a reply the connection's reset ended, "(no close)" after 10 silent s.
inline std::string read_all(int fd)
{
    std::string text;
    char buf[1024];
    pollfd p = {fd, POLLIN, 0};
    for (ssize_t n; poll(&p, 1, 10000) == 1; text.append(buf, size_t(n)))
        if ((n = read(fd, buf, sizeof buf)) <= 0)
            return n < 0 && !text.empty() ? text + "(reset)" : text;
    return text + "(no close)";
}

inline std::string request(const std::string& path, const std::string& text)
{
    int fd = unix_socket(path);
    if (fd < 0)
        return "(no connection)";
    send(fd, text.data(), text.size(), MSG_NOSIGNAL);
    std::string reply = read_all(fd);
    close(fd);
    return reply;
}

// Whether the reply comes within 20 s, which a loaded machine needs to start a server.
inline bool answers(const std::string& path, const std::string& text, const std::string& reply)
{
    return wait_until([&] { return request(path, text) == reply; }, std::chrono::seconds(20));
}

struct ServerThread {  // serve() on a thread of this process, with the controller linked in
    std::string path;
    std::thread thread;
    std::atomic<int> status = -1;
    bool start(const std::string& socketPath, int64_t owner)  // whether it serves; a refusal is not waited out
    {
        stopping = 0, path = socketPath, status = -1;
        thread = std::thread([this, owner] { status = serve(path.c_str(), owner); });
        auto served = [&] { return status != -1 || request(path, "ping\n") == "ok\n"; };
        return wait_until(served, std::chrono::seconds(20)) && status == -1;
    }
    int stop(int sig = SIGTERM)  // the exit status
    {
        if (thread.joinable())
            pthread_kill(thread.native_handle(), sig), thread.join();
        return status;
    }
    ~ServerThread() { stop(); }
};

// Gives each connection the next reply, its request unread, and closes; without replies, backlogs one, unaccepted.
struct StandIn {
    int fd;
    std::thread thread;  // not std::jthread, which Apple's libc++ lacks
    StandIn(const std::string& path, std::vector<const char*> replies)
        : fd(unix_socket(path, replies.empty() ? 0 : 4))
        , thread([this, replies] {
            for (pollfd p = {fd, POLLIN, 0}; const char* reply : replies) {
                if (poll(&p, 1, 30000) != 1)  // past a reminder 20 s away
                    return;
                int client = accept(fd, nullptr, nullptr);
                send(client, reply, strlen(reply), MSG_NOSIGNAL);
                close(strlen(reply) < 512 ? client : (read_all(client), client));  // a full reply: after the client
            }
        })
    {
    }
    ~StandIn() { thread.join(), close(fd); }
};
