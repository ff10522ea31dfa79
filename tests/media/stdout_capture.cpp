#include "stdout_capture.h"

#include <unistd.h>

#include <cstdio>
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
    std::vector<std::string> result;
    for (std::string line; std::getline(file, line);)
        result.push_back(line);
    return result;
}
