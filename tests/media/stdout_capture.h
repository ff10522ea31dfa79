// This process's standard output sent to a temporary file for the life of
// the object, so that a test can read the records the bridge wrote.
#pragma once

#include <string>
#include <vector>

struct StdoutCapture {
    StdoutCapture();
    ~StdoutCapture();
    std::vector<std::string> lines() const;

    std::string path;
    int saved;
};
