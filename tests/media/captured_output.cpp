#include "captured_output.h"

#include "wait.h"

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

void CapturedOutput::take_written()
{
    char chunk[65536];
    for (ssize_t n; (n = read(reader, chunk, sizeof chunk)) > 0;)
        unread.append(chunk, static_cast<std::size_t>(n));
}

// What no test read, a test's own failure messages among it, goes to the log.
CapturedOutput::~CapturedOutput()
{
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    take_written();
    std::fputs(unread.c_str(), stderr);
    close(reader);
    unlink(path);
}

std::optional<std::string> CapturedOutput::line(std::chrono::milliseconds limit)
{
    auto whole = [this] { return take_written(), unread.find('\n') != std::string::npos; };
    if (!wait_until(whole, limit))
        return std::nullopt;
    std::size_t end = unread.find('\n');
    std::string text = unread.substr(0, end);
    unread.erase(0, end + 1);
    return text;
}
