#include "cli_options.h"

namespace tarvolin::cli {

const char kUsage[] =
    "Usage:\n"
    "  tarvolin-cli --read FILE [OPTIONS]        read a capture file (pcap or pcapng) to its end\n"
    "  tarvolin-cli --interface NAME [OPTIONS]   capture live on a device until Ctrl-C or SIGTERM\n"
    "  tarvolin-cli --list-interfaces            print the devices: name, description, netmask\n"
    "  tarvolin-cli --help\n"
    "\n"
    "Options:\n"
    "  --media         print only the rows of the \"Media Files\" list\n"
    "  --json          print JSON Lines instead of tab-separated text\n"
    "  --headers       with --json: give each row an object \"headers\" with the request\n"
    "                  headers it carried (user-agent, referer, cookie, origin, accept,\n"
    "                  accept-language, accept-encoding, accept-charset, keep-alive,\n"
    "                  connection). Cookies are the secrets of the sessions they belong\n"
    "                  to: without --headers none are printed\n"
    "  --keylog FILE   the TLS key log, as browsers write it when SSLKEYLOGFILE is set,\n"
    "                  that decrypts HTTPS; without it, the file SSLKEYLOGFILE names.\n"
    "                  One that cannot be read ends the program before it captures\n"
    "  --progress      with --read: show on standard error how much of the file has\n"
    "                  been read and the time left, even when it is not a terminal\n"
    "  --no-progress   with --read: never show it (by default it is shown when standard\n"
    "                  error is a terminal)\n"
    "  --log           print the capture library's log lines on standard error\n"
    "\n"
    "Each row is printed as: list (all or media), extension, URL, content type.\n"
    "Standard error ends with the counts: records, media files, dropped frames, and\n"
    "connections of TLS and of QUIC (HTTP/3).\n"
    "Capturing live needs root or the CAP_NET_RAW capability.\n";

namespace {

struct Parser {
    const std::vector<std::string> &arguments;
    size_t at = 0;
    ParsedArguments result;
    bool commandSeen = false;

    bool fail(std::string text)
    {
        result.error = std::move(text);
        return false;
    }

    bool setCommand(Command command, const std::string &name)
    {
        if (commandSeen)
            return fail("give only one of --read, --interface, --list-interfaces and --help");
        commandSeen = true;
        result.options.command = command;
        if (command != Command::kRead && command != Command::kInterface)
            return true;
        if (at + 1 >= arguments.size() || arguments[at + 1].empty())
            return fail(name + " needs " + (command == Command::kRead ? "a file" : "a device name"));
        result.options.target = arguments[++at];
        return true;
    }

    bool setFlag(bool &flag, const std::string &name)
    {
        if (flag)
            return fail(name + " is given twice");
        flag = true;
        return true;
    }

    bool setProgress(Progress progress)
    {
        if (result.options.progress != Progress::kWhenTerminal)
            return fail("give only one of --progress and --no-progress");
        result.options.progress = progress;
        return true;
    }

    bool setKeyLogFile(const std::string &name)
    {
        if (!result.options.keyLogFile.empty())
            return fail(name + " is given twice");
        if (at + 1 >= arguments.size() || arguments[at + 1].empty())
            return fail(name + " needs a file");
        result.options.keyLogFile = arguments[++at];
        return true;
    }

    bool parseOne()
    {
        const std::string &argument = arguments[at];
        if (argument == "--read")
            return setCommand(Command::kRead, argument);
        if (argument == "--interface")
            return setCommand(Command::kInterface, argument);
        if (argument == "--list-interfaces")
            return setCommand(Command::kListInterfaces, argument);
        if (argument == "--help")
            return setCommand(Command::kHelp, argument);
        if (argument == "--media")
            return setFlag(result.options.mediaOnly, argument);
        if (argument == "--json")
            return setFlag(result.options.json, argument);
        if (argument == "--headers")
            return setFlag(result.options.headers, argument);
        if (argument == "--log")
            return setFlag(result.options.log, argument);
        if (argument == "--keylog")
            return setKeyLogFile(argument);
        if (argument == "--progress")
            return setProgress(Progress::kOn);
        if (argument == "--no-progress")
            return setProgress(Progress::kOff);
        return fail("unknown argument '" + argument + "'");
    }

    bool checkCombination()
    {
        if (!commandSeen)
            return fail("nothing to do: give --read FILE, --interface NAME or --list-interfaces");
        const bool capturing = result.options.command == Command::kRead || result.options.command == Command::kInterface;
        if (!capturing && (result.options.mediaOnly || result.options.json || result.options.headers ||
                           result.options.log || !result.options.keyLogFile.empty()))
            return fail("--media, --json, --headers, --log and --keylog go with --read or --interface");
        if (result.options.headers && !result.options.json)
            return fail("--headers goes with --json");
        if (result.options.progress != Progress::kWhenTerminal && result.options.command != Command::kRead)
            return fail("--progress and --no-progress go with --read");
        return true;
    }
};

}

ParsedArguments ParseArguments(const std::vector<std::string> &arguments)
{
    Parser parser{arguments, 0, {}, false};
    for (; parser.at < arguments.size(); ++parser.at) {
        if (!parser.parseOne())
            return parser.result;
    }
    parser.checkCombination();
    return parser.result;
}

}
