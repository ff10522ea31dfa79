// Helpers for the fan helper's program tests and benchmarks: temporary
// folders, socket clients, a server on a thread, and child processes.
#pragma once

#include <sys/types.h>
#include <sys/un.h>

#include <csignal>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// A fresh folder under /tmp that any user may enter; removed with its contents.
struct TempDir {
    std::string path;
    TempDir();
    ~TempDir();
    std::string file(const std::string& name) const { return path + "/" + name; }
};

bool wait_until(const std::function<bool()>& done);   // polls; false after 20 s
sockaddr_un unix_address(const std::string& path);
int connect_to(const std::string& path);               // -1 when nothing listens there
std::string read_all(int fd);   // up to the close, or "(no close)" appended after 10 silent s
std::string request(const std::string& path, const std::string& text);

// serve() on a thread of this process, with the controller linked in.
struct ServerThread {
    std::string path;
    std::thread thread;
    int status = -1;
    bool start(const std::string& socketPath, int64_t owner);   // true once it answers
    int stop(int sig = SIGTERM);                                 // the exit status
};

// A child running args[0], its output into the files named; killed by pid if it
// outlives the deadline of wait_exit, which then gives -1.
pid_t start_program(const std::vector<std::string>& args, const std::string& out = "/dev/null",
                    const std::string& err = "/dev/null");
int wait_exit(pid_t pid);
