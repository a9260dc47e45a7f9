// tarvolin-cli: the URLs the capture library finds, printed to a terminal or a script.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "capture_diagnosis.h"
#include "capture_statistics.h"
#include "capture_session.h"
#include "capture_summary.h"
#include "cli_options.h"
#include "progress_line.h"
#include "quillnet_library.h"
#include "row_printer.h"
#include "settings.h"
#include "url_store.h"

using namespace tarvolin;
using namespace tarvolin::cli;

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr char kProgramName[] = "tarvolin-cli";
constexpr char kFilePrefix[] = "file://";
constexpr std::string_view kAdapterSeparator = "<|>";
constexpr char kAdapterFieldSeparator = '|';
constexpr int kDecimalBase = 10;

int fail(const std::string &message)
{
    std::cerr << kProgramName << ": " << message << '\n';
    return kExitFailure;
}

struct Adapter {
    std::string name;
    std::string description;
    int32_t netmask = 0;
};

// "name|description|netmask<|>" for each device; the description may itself hold "|".
std::vector<Adapter> parseAdapterList(std::string_view list)
{
    std::vector<Adapter> adapters;
    while (!list.empty()) {
        const size_t end = list.find(kAdapterSeparator);
        const std::string_view record = list.substr(0, end);
        list.remove_prefix(end == std::string_view::npos ? list.size() : end + kAdapterSeparator.size());
        const size_t first = record.find(kAdapterFieldSeparator);
        const size_t last = record.rfind(kAdapterFieldSeparator);
        if (first == std::string_view::npos || first == last)
            continue;
        Adapter adapter{std::string(record.substr(0, first)), std::string(record.substr(first + 1, last - first - 1))};
        const std::string netmask(record.substr(last + 1));
        adapter.netmask = static_cast<int32_t>(std::strtol(netmask.c_str(), nullptr, kDecimalBase));
        adapters.push_back(std::move(adapter));
    }
    return adapters;
}

// The library's number holds the mask's bytes in network order, lowest byte first.
std::string dottedNetmask(int32_t netmask)
{
    const auto bits = static_cast<uint32_t>(netmask);
    return std::to_string(bits & 0xFF) + '.' + std::to_string(bits >> 8 & 0xFF) + '.' +
           std::to_string(bits >> 16 & 0xFF) + '.' + std::to_string(bits >> 24 & 0xFF);
}

// The device's netmask as the adapter list gives it; 0 for a device not listed.
int32_t netmaskOf(const QuillnetLibrary &library, const std::string &device)
{
    const char *list = library.getAdapterList(nullptr);
    for (const Adapter &adapter : parseAdapterList(list ? list : ""))
        if (adapter.name == device)
            return adapter.netmask;
    return 0;
}

int listInterfaces(const QuillnetLibrary &library)
{
    const char *list = library.getAdapterList(nullptr);
    if (!list)
        return fail("cannot list the capture devices");
    for (const Adapter &adapter : parseAdapterList(list))
        std::cout << adapter.name << '\t' << adapter.description << '\t' << dottedNetmask(adapter.netmask) << '\n';
    return kExitSuccess;
}

// The rows found before the damage are printed; what follows it is lost.
int readFailed(const CliOptions &options, const quillnet::CaptureStatistics &statistics)
{
    if (options.command == Command::kInterface)
        return fail("the capture on " + options.target + " ended after " + FrameCount(statistics.framesReceived) +
                    ": " + ReadErrorText(statistics));
    std::cerr << options.target << ": damaged after " << statistics.framesReceived
              << " frames: " << ReadErrorText(statistics) << '\n';
    return kExitFailure;
}

bool showsProgress(const CliOptions &options)
{
    if (options.command != Command::kRead)
        return false;
    return options.progress == Progress::kOn || (options.progress == Progress::kWhenTerminal && isatty(STDERR_FILENO));
}

// Reports reach the store on the capture thread, as rows do, one at a time.
void followProgress(ProgressLine &progress, UrlStore &store, RowPrinter &printer)
{
    store.onStatistics([&progress](const std::optional<quillnet::CaptureStatistics> &statistics) {
        if (statistics)
            progress.show(*statistics);
    });
    if (isatty(STDOUT_FILENO))
        printer.shareTerminalWith(progress);
}

int capture(const QuillnetLibrary &library, const CliOptions &options)
{
    // A capture that would decrypt nothing is not what was asked for.
    const std::string keyLogFile = EffectiveKeyLogFile(options.keyLogFile);
    if (const int32_t answer = library.setKeyLogFile(keyLogFile.c_str()); answer != 0) {
        std::cerr << DescribeKeyLogFailure(keyLogFile, answer) << '\n';
        return kExitFailure;
    }
    const bool live = options.command == Command::kInterface;
    const std::string source =
        live ? options.target : kFilePrefix + std::filesystem::absolute(options.target).string();
    const int32_t netmask = live ? netmaskOf(library, options.target) : 0;

    Settings settings;
    settings.NoLimitBufferSize = 1;
    RowPrinter printer(stdout, {options.mediaOnly, options.json, live, options.headers});
    // Each row is printed, headers and all, as it comes: no older details are ever asked for.
    constexpr size_t kNewestDetailsOnly = 0;
    UrlStore store(settings, printer, kNewestDetailsOnly);
    printer.readDetailsFrom(store);
    std::optional<ProgressLine> progress;
    if (showsProgress(options))
        followProgress(progress.emplace(stderr), store, printer);
    const int32_t result = RunCapture(library, source, netmask, store, options.log);
    if (progress)
        progress->finish();
    const std::optional<quillnet::CaptureStatistics> &statistics = store.captureStatistics();
    const bool readError = statistics && EndedByReadError(*statistics);
    // A source that could not be opened sends no statistics.
    if (result != 0 && !readError)
        return fail(live ? DescribeDeviceFailure(options.target) : DescribeFileFailure(options.target));
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        return fail("cannot write the output");
    if (readError)
        return readFailed(options, *statistics);
    std::cerr << CaptureSummary(store, kProgramName);
    return kExitSuccess;
}

}

int main(int argc, char **argv)
{
    const ParsedArguments parsed = ParseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::cerr << kProgramName << ": " << parsed.error << "\n\n" << kUsage;
        return kExitUsage;
    }
    if (parsed.options.command == Command::kHelp) {
        std::cout << kUsage;
        return kExitSuccess;
    }
    if (parsed.options.command != Command::kListInterfaces)
        BlockStopSignals();
    const QuillnetLibrary library;
    if (!library.complete())
        return fail(library.error());
    if (parsed.options.command == Command::kListInterfaces)
        return listInterfaces(library);
    return capture(library, parsed.options);
}
