// Runs a program to its end and collects its exit status and output.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace testing_support {

struct ProgramResult {
    int status = -1; // exit status, or -1 when it did not exit normally
    std::string out;
    std::string err;
};

// `arguments[0]` is looked up on PATH when it holds no slash.
ProgramResult RunProgram(const std::vector<std::string> &arguments);

// Starts the program with its output going to the given files; its process id, or -1.
int StartProgram(const std::vector<std::string> &arguments, const std::string &outPath, const std::string &errPath);

// Waits for the process; its exit status, or -1 when it did not exit normally.
int WaitForProgram(int pid);

inline constexpr int kProgramTimedOut = -2;

// As WaitForProgram, but kills the process and gives kProgramTimedOut when it
// has not ended within `limit`.
int WaitForProgramWithin(int pid, std::chrono::milliseconds limit);

bool OnPath(const char *program);

}
