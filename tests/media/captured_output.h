// This process's standard output sent to a temporary file while the object
// lives, and read back from it line by line as it is written.
#pragma once

#include <chrono>
#include <optional>
#include <string>

struct CapturedOutput {
    CapturedOutput();
    ~CapturedOutput();
    CapturedOutput(const CapturedOutput&) = delete;
    CapturedOutput& operator=(const CapturedOutput&) = delete;
    // The next whole line, or nothing when none comes within the limit.
    std::optional<std::string> line(std::chrono::milliseconds limit = std::chrono::seconds(10));
    void take_written();  // appends what was written since to `unread`

    char path[32] = "/tmp/captured-stdout-XXXXXX";
    int saved = -1, reader = -1;
    std::string unread;
};
