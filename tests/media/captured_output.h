// This process's standard output captured while the object lives; what no test read, a test's own failure messages
// among it, goes to the log.
#pragma once

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

struct CapturedOutput {
    CapturedOutput() { testing::internal::CaptureStdout(); }
    ~CapturedOutput() { std::cerr << testing::internal::GetCapturedStdout(); }
    CapturedOutput(const CapturedOutput&) = delete;
    CapturedOutput& operator=(const CapturedOutput&) = delete;

    // The lines written since the last call, by writers that have finished.
    std::vector<std::string> lines()
    {
        std::istringstream text(testing::internal::GetCapturedStdout());
        testing::internal::CaptureStdout();
        std::vector<std::string> whole;
        for (std::string line; std::getline(text, line);)
            whole.push_back(line);
        return whole;
    }
};
