// The command line of tarvolin-cli.
#pragma once

#include <string>
#include <vector>

namespace tarvolin::cli {

enum class Command {
    kHelp,
    kRead,
    kInterface,
    kListInterfaces,
};

// Whether --read shows how far it has come on standard error.
enum class Progress {
    kWhenTerminal, // when standard error is a terminal
    kOn,
    kOff,
};

struct CliOptions {
    Command command = Command::kHelp;
    std::string target; // the file of --read, the device of --interface
    bool mediaOnly = false;
    bool json = false;
    bool headers = false; // with json: each row's request headers
    bool log = false;     // the library's log lines on standard error
    std::string keyLogFile; // empty: SSLKEYLOGFILE's, if set
    Progress progress = Progress::kWhenTerminal;
};

struct ParsedArguments {
    CliOptions options;
    std::string error; // non-empty for a usage error
};

ParsedArguments ParseArguments(const std::vector<std::string> &arguments);

extern const char kUsage[];

}
