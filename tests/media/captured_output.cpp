#include "captured_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

CapturedOutput::CapturedOutput()
{
    int file = mkstemp(path);
    reader = open(path, O_RDONLY | O_CLOEXEC);
    std::fflush(stdout);
    saved = dup(1);
    dup2(file, 1);
    close(file);
}

// What no test read, a test's own failure messages among it, goes to the log.
CapturedOutput::~CapturedOutput()
{
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    for (const auto& line : lines())
        std::fprintf(stderr, "%s\n", line.c_str());
    std::fputs(unread.c_str(), stderr);
    close(reader);
    unlink(path);
}

std::vector<std::string> CapturedOutput::lines()
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
