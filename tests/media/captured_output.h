// This process's standard output sent to a temporary file while the object
// lives, and read back from it.
#pragma once

#include <string>
#include <vector>

struct CapturedOutput {
    CapturedOutput();
    ~CapturedOutput();
    CapturedOutput(const CapturedOutput&) = delete;
    CapturedOutput& operator=(const CapturedOutput&) = delete;
    std::vector<std::string> lines();  // the whole lines written since the last call

    char path[32] = "/tmp/captured-stdout-XXXXXX";
    int saved = -1, reader = -1;
    std::string unread;
};
