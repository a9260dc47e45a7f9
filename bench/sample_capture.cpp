// Writes a capture file of typical traffic, for trying the window out and for
// screenshots: tarvolin_sample_capture FILE [TRANSACTIONS]. With TRANSACTIONS, the
// file holds that many HTTP transactions instead.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "capture_file.h"
#include "sample_traffic.h"

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s FILE [TRANSACTIONS]\n", argv[0]);
        return 2;
    }
    try {
        const auto frames = argc == 3 ? testing_support::HttpTransactions(std::strtoul(argv[2], nullptr, 10))
                                      : testing_support::SampleTraffic();
        testing_support::WriteCaptureFile(argv[1], frames);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
