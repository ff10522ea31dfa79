// Running a program from a test: standard input empty, output and errors
// kept, and killed by pid if it outlives its deadline.
#pragma once

#include <chrono>
#include <string>
#include <vector>

struct ChildResult {
  bool exited = false;  // false: it was killed at the deadline or by a signal
  int status = -1;
  std::string out;
  std::string err;
};

ChildResult run_child(const std::vector<std::string>& argv,
                      std::chrono::milliseconds limit = std::chrono::seconds(20));
