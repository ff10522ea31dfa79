// Helpers for the fan helper's program tests and benchmarks: temporary
// folders, socket clients, and a server on a thread.
#pragma once

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>

// A fresh folder under /tmp that any user may enter; removed with its contents.
struct TempDir {
    std::string path = make();
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string file(const std::string& name) const { return path + "/" + name; }
    static std::string make();
};

int connect_to(const std::string& path);  // a connected socket, or -1
std::string read_all(int fd);             // up to the close, or "(no close)" appended after 10 silent s
std::string request(const std::string& path, const std::string& text);
bool answers(const std::string& path, const std::string& text, const std::string& reply);  // within 20 s

// serve() on a thread of this process, with the controller linked in.
struct ServerThread {
    std::string path;
    std::thread thread;
    int status = -1;
    bool start(const std::string& socketPath, int64_t owner);  // true once it answers
    int stop(int sig = SIGTERM);                               // the exit status
    ~ServerThread()
    {
        if (thread.joinable())
            stop();
    }
};
