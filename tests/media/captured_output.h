// This process's standard output sent to a temporary file while the object lives, and read back from it.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

struct CapturedOutput {
    char path[32] = "/tmp/captured-stdout-XXXXXX";
    int saved = -1, reader = -1;
    std::string unread;

    CapturedOutput()
    {
        int file = mkstemp(path);
        reader = open(path, O_RDONLY | O_CLOEXEC), std::fflush(stdout), saved = dup(1), dup2(file, 1), close(file);
    }
    CapturedOutput(const CapturedOutput&) = delete;
    CapturedOutput& operator=(const CapturedOutput&) = delete;

    // What no test read, a test's own failure messages among it, goes to the log.
    ~CapturedOutput()
    {
        std::fflush(stdout), dup2(saved, 1), close(saved);
        for (const auto& line : lines())
            std::fprintf(stderr, "%s\n", line.c_str());
        std::fputs(unread.c_str(), stderr), close(reader), unlink(path);
    }

    // The whole lines written since the last call.
    std::vector<std::string> lines()
    {
        std::fflush(stdout);
        char chunk[65536];
        for (ssize_t n; (n = read(reader, chunk, sizeof chunk)) > 0;)
            unread.append(chunk, static_cast<std::size_t>(n));
        std::vector<std::string> whole;
        for (std::size_t end; (end = unread.find('\n')) != std::string::npos; unread.erase(0, end + 1))
            whole.push_back(unread.substr(0, end));
        return whole;
    }
};
