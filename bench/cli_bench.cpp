// tarvolin-cli --read against httpry -r on one HTTP-heavy capture file: the
// median wall, processor and user-mode time of each over alternating rounds,
// and their ratios. httpry reads through stdio in the file system's block size,
// so where a system call is dear (a virtual machine with page-table isolation)
// its kernel time swells; the user-mode ratio does not depend on that.
//   tarvolin_cli_bench [--frames N] [--rounds N] [--file PATH]
// With --file the capture is written to PATH and kept, or read from it when it
// is already there, so that runs before and after a change share one file.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "capture_file.h"
#include "traffic_mixes.h"

namespace {

constexpr char kHttpry[] = "/usr/sbin/httpry";
constexpr size_t kDefaultFrames = 1000000;
constexpr int kDefaultRounds = 5;
constexpr int kExecFailed = 127;

struct Options {
    size_t frames = kDefaultFrames;
    int rounds = kDefaultRounds;
    std::string file;
};

struct RunTimes {
    double wall = 0;
    double user = 0;
    double system = 0;
};

double seconds(const timeval &time)
{
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

// Runs the program with standard output and error on /dev/null; its times in
// seconds, or nothing when it did not exit with 0.
std::optional<RunTimes> timedRun(const std::vector<std::string> &arguments)
{
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(kExecFailed);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return RunTimes{std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                    seconds(usage.ru_utime), seconds(usage.ru_stime)};
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct Medians {
    double wall;
    double processor;
    double user;
    double system;
};

Medians medians(const std::vector<RunTimes> &runs)
{
    std::vector<double> wall, processor, user, system;
    for (const RunTimes &run : runs) {
        wall.push_back(run.wall);
        processor.push_back(run.user + run.system);
        user.push_back(run.user);
        system.push_back(run.system);
    }
    return {median(wall), median(processor), median(user), median(system)};
}

void printMedians(const char *what, const Medians &times)
{
    std::printf("%-38s %7.3f s %7.3f s  (%.3f + %.3f)\n", what, times.wall, times.processor, times.user,
                times.system);
}

bool parse(int argc, char **argv, Options &options)
{
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--frames") == 0 && hasValue)
            options.frames = std::strtoull(argv[++i], nullptr, 10);
        else if (std::strcmp(argv[i], "--rounds") == 0 && hasValue)
            options.rounds = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--file") == 0 && hasValue)
            options.file = argv[++i];
        else
            return false;
    }
    return true;
}

}

int main(int argc, char **argv)
{
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: %s [--frames N] [--rounds N] [--file PATH]\n", argv[0]);
        return 2;
    }
    std::unique_ptr<testing_support::CaptureFile> temporary;
    std::string path = options.file;
    if (path.empty() || !std::filesystem::exists(path)) {
        std::mt19937 random(1);
        const auto frames = bench::HttpHeavyMix(options.frames, random);
        if (path.empty()) {
            temporary = std::make_unique<testing_support::CaptureFile>(frames);
            path = temporary->path();
        } else {
            testing_support::WriteCaptureFile(path, frames);
        }
    }
    const bool haveHttpry = access(kHttpry, X_OK) == 0;
    std::printf("HTTP-heavy capture: %s (%.0f MB)\n", path.c_str(), std::filesystem::file_size(path) / 1e6);
    if (!haveHttpry)
        std::printf("%s is not installed: tarvolin-cli's time alone\n", kHttpry);

    std::vector<RunTimes> cliTimes;
    std::vector<RunTimes> httpryTimes;
    for (int round = 0; round < options.rounds; ++round) {
        const auto cli = timedRun({TARVOLIN_CLI_PATH, "--read", path});
        if (!cli) {
            std::fprintf(stderr, "tarvolin-cli --read %s failed\n", path.c_str());
            return 1;
        }
        cliTimes.push_back(*cli);
        if (!haveHttpry)
            continue;
        const auto httpry = timedRun({kHttpry, "-r", path, "-o", "/dev/null", "-q"});
        if (!httpry) {
            std::fprintf(stderr, "httpry -r %s failed\n", path.c_str());
            return 1;
        }
        httpryTimes.push_back(*httpry);
    }
    std::printf("medians of %d rounds:                      wall   processor  (user + kernel)\n", options.rounds);
    const Medians cli = medians(cliTimes);
    printMedians("tarvolin-cli --read FILE > /dev/null:", cli);
    if (!haveHttpry)
        return 0;
    const Medians httpry = medians(httpryTimes);
    printMedians("httpry -r FILE -o /dev/null -q:", httpry);
    std::printf("ratio tarvolin-cli / httpry:            %7.2f %9.2f   (user %.2f)\n", cli.wall / httpry.wall,
                cli.processor / httpry.processor, cli.user / httpry.user);
    return 0;
}
