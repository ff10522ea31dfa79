// Helpers for the fan helper's program tests and benchmarks: temporary
// folders, socket clients, an in-process server, and child processes.
#pragma once

#include <sys/types.h>
#include <sys/un.h>

#include <csignal>

#include <atomic>
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

// Polls until done() holds; false when the deadline passes first.
bool wait_until(const std::function<bool()>& done, int seconds = 20);

bool exists(const std::string& path);

sockaddr_un unix_address(const std::string& path);
int connect_to(const std::string& path);        // -1 when nothing listens there
std::string read_reply(int fd);                  // everything up to the close
std::string request(const std::string& path, const std::string& text);

// serve() on a thread of this process, with our own simulated controller.
struct ServerThread {
    std::string path;
    std::thread thread;
    int status = -1;
    bool start(const std::string& socketPath, int64_t owner);   // true once it answers
    int stop(int sig = SIGTERM);                                 // the exit status
};

// A seam for the watchdog's clock.
extern std::atomic<int64_t> fakeNow;
int64_t fake_seconds();

// A program run to its end, killed by pid if it outlives the deadline.
struct Finished {
    int status = -1;    // exit status, or -1 when it did not exit by itself
    std::string out, err;
};
Finished run_program(const std::vector<std::string>& args);

pid_t start_program(const std::vector<std::string>& args);   // output discarded
int wait_exit(pid_t pid, int seconds = 20);                   // -1 after killing it
