// Runs the outside programs that make test data (xdelta3, zip) and the tracker.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace swarm {

// Runs argv[0] (looked up in PATH) with the given arguments in the given working folder (empty:
// the current one), waits for it, and throws std::runtime_error naming the program and its exit
// status unless it exits with 0. The child inherits only the standard streams.
void RunProgram(const std::vector<std::string>& argv,
                const std::filesystem::path& workingFolder = {});

// Starts argv[0] without waiting; returns its process id. Throws std::runtime_error.
int StartProgram(const std::vector<std::string>& argv,
                 const std::filesystem::path& workingFolder = {});

// As StartProgram, but the child is sent SIGTERM when the thread that started it ends, so that a
// service started by a test ends with the test even when the test crashes or is killed. The
// child leads a process group of its own (its id is the group's).
int StartProgramTiedToThisThread(const std::vector<std::string>& argv);

}  // namespace swarm
