// How far tarvolin-cli has read a capture file, on one line of standard error
// that each report writes over. Rows printed to the same terminal go above it.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "records.h"

namespace tarvolin::cli {

class ProgressLine {
public:
    explicit ProgressLine(std::FILE *output);

    // Writes the progress that `statistics` tell over the line shown.
    void show(const quillnet::CaptureStatistics &statistics);
    // Around a row written to the same terminal: the line steps aside for it and comes back under it.
    void stepAside();
    void comeBack();
    // Leaves the last progress on a line of its own, so that what follows starts on a clean one.
    void finish();

private:
    void write(const std::string &text);

    std::FILE *output_;
    std::chrono::steady_clock::time_point start_;
    std::string shown_; // empty until the first report
};

}
