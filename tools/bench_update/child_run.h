// Timing a piece of work in a child process of its own, with the child's peak memory.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace bench {

struct ChildRun {
    double seconds = 0;
    long peakKiB = 0;  // the child's peak resident set
    int exitCode = -1;
};

// Runs work() in a forked child; the child exits with what work() returns.
ChildRun RunInChild(const std::function<int()>& work);

// Runs a program (looked up in PATH) in a child, its output thrown away.
ChildRun RunProgramTimed(const std::vector<std::string>& argv);

}  // namespace bench
