#include "run_program.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdlib>
#include <string_view>
#include <thread>

#include "temporary_directory.h"

extern char **environ;

namespace testing_support {

namespace {

constexpr std::string_view kKeyLogVariable = "SSLKEYLOGFILE=";

// The environment without SSLKEYLOGFILE: the programs take it for a default key
// log, and a developer's own would change what they find. A test that wants
// one sets it through env(1).
std::vector<char *> environmentWithoutKeyLog()
{
    std::vector<char *> variables;
    for (char **variable = environ; *variable; ++variable) {
        if (!std::string_view(*variable).starts_with(kKeyLogVariable))
            variables.push_back(*variable);
    }
    variables.push_back(nullptr);
    return variables;
}

}

int StartProgram(const std::vector<std::string> &arguments, const std::string &outPath, const std::string &errPath)
{
    std::vector<std::string> copies = arguments;
    std::vector<char *> argv;
    for (std::string &argument : copies)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    std::vector<char *> environment = environmentWithoutKeyLog();
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environment.data());
    posix_spawn_file_actions_destroy(&actions);
    return failed ? -1 : pid;
}

int WaitForProgram(int pid)
{
    int status = 0;
    if (pid <= 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int WaitForProgramWithin(int pid, std::chrono::milliseconds limit)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        const pid_t ended = waitpid(pid, &status, WNOHANG);
        if (ended == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (ended < 0)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    WaitForProgram(pid);
    return kProgramTimedOut;
}

ProgramResult RunProgram(const std::vector<std::string> &arguments)
{
    const TemporaryDirectory directory;
    const std::string outPath = directory.file("out");
    const std::string errPath = directory.file("err");
    ProgramResult result;
    result.status = WaitForProgram(StartProgram(arguments, outPath, errPath));
    result.out = ReadWholeFile(outPath);
    result.err = ReadWholeFile(errPath);
    return result;
}

bool OnPath(const char *program)
{
    return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

}
