#include "stdout_capture.h"

#include "platform_wait.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

StdoutCapture::StdoutCapture()
{
    char pattern[] = "/tmp/bridge-stdout-XXXXXX";
    int file = mkstemp(pattern);
    path = pattern;
    std::fflush(stdout);
    saved = dup(1);
    dup2(file, 1);
    close(file);
}

StdoutCapture::~StdoutCapture()
{
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    unlink(path.c_str());
}

std::vector<std::string> StdoutCapture::lines() const
{
    std::ifstream file(path, std::ios::binary);
    std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<std::string> result;
    std::size_t start = 0;
    for (std::size_t end; (end = content.find('\n', start)) != std::string::npos; start = end + 1)
        result.push_back(content.substr(start, end - start));
    return result;
}

bool StdoutCapture::wait_lines(std::size_t count, std::chrono::milliseconds limit) const
{
    return wait_for([&] { return lines().size() >= count; }, limit);
}
