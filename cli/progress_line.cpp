#include "progress_line.h"

#include "capture_statistics.h"

namespace tarvolin::cli {

namespace {

constexpr char kLineStart = '\r';
constexpr char kPrefix[] = "Read: ";

}

ProgressLine::ProgressLine(std::FILE *output) : output_(output), start_(std::chrono::steady_clock::now()) {}

void ProgressLine::show(const quillnet::CaptureStatistics &statistics)
{
    const std::string text = kPrefix + ProgressStatus(statistics, std::chrono::steady_clock::now() - start_);
    // Blanks cover what a longer text before left; no terminal codes, so a file reads plainly.
    write(kLineStart + text + std::string(shown_.size() > text.size() ? shown_.size() - text.size() : 0, ' '));
    shown_ = text;
}

void ProgressLine::stepAside()
{
    if (!shown_.empty())
        write(kLineStart + std::string(shown_.size(), ' ') + kLineStart);
}

void ProgressLine::comeBack()
{
    if (!shown_.empty())
        write(kLineStart + shown_);
}

void ProgressLine::finish()
{
    if (shown_.empty())
        return;
    write("\n");
    shown_.clear();
}

void ProgressLine::write(const std::string &text)
{
    std::fwrite(text.data(), 1, text.size(), output_);
    std::fflush(output_);
}

}
