// Sends this process's standard output to a temporary file for the life of
// the object, so that a test can read what the bridge wrote.
#pragma once

#include <chrono>
#include <string>
#include <vector>

class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();
    std::vector<std::string> lines() const;
    // Waits until at least count complete lines have been written.
    bool wait_lines(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10)) const;

private:
    std::string path;
    int saved;
};
