// A program run by a test on pipes for input and output; it dies with the object, by pid (on Linux, with the thread).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct Child {
    pid_t pid = -1;
    int in = -1, out = -1;
    std::string unread;

    explicit Child(const std::vector<std::string>& argv);  // "/usr/bin/env" first changes its environment
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
};

void child_write(Child& child, const std::string& text);  // to its standard input
std::string repeated(const std::string& line, int times);
int unread(int pipe);  // bytes written to it that its reader has not read yet, or -1
void child_close_input(Child& child);
// The next line of its output, or nothing at its end or at the deadline.
std::optional<std::string> child_read_line(Child& child, std::chrono::milliseconds limit = std::chrono::seconds(10));
// Its exit status, or nothing when a signal ended it or it outlived the limit.
std::optional<int> child_wait(Child& child, std::chrono::milliseconds limit = std::chrono::seconds(20));
void child_kill(Child& child, int signal);
// All it writes until it ends, and its exit status (-1: a signal ended it, or it outlived the limits).
std::pair<std::string, int> child_finish(Child& child);
// Its user and system time so far, from the kernel's own count in /proc (Linux; 0 elsewhere).
double child_cpu_seconds(const Child& child);
// How many open descriptors or threads a folder of /proc lists (Linux; 0 elsewhere).
long proc_entries(const std::string& folder);
