// Prints the rows the URL store appends, one line each, as tab-separated text
// or JSON Lines.
#pragma once

#include <cstdio>
#include <string>

#include "row_text.h"
#include "url_store.h"

namespace tarvolin::cli {

class ProgressLine;

struct PrintOptions {
    bool mediaOnly = false;
    bool json = false;
    bool flushEachRow = false; // live captures: each line is out as soon as its URL is found
    bool headers = false;      // JSON: each row's request headers, cookies among them
};

class RowPrinter : public UrlListView {
public:
    RowPrinter(std::FILE *output, PrintOptions options) : output_(output), options_(options) {}

    // Where the headers of the rows are found; the store this printer shows.
    void readDetailsFrom(const UrlStore &store) { store_ = &store; }
    // A progress line on the terminal the rows go to steps aside for each row.
    void shareTerminalWith(ProgressLine &progress) { progress_ = &progress; }

    void appendRow(UrlList list, const UrlRow &row) override;
    // Captions, status texts and clearing belong to a window; a stream has none.
    void clearList(UrlList) override {}
    void setCaption(UrlList, const std::string &) override {}
    void setStatus(const std::string &) override {}

private:
    const RequestDetails *headersOf(const UrlRow &row) const;

    std::FILE *output_;
    PrintOptions options_;
    const UrlStore *store_ = nullptr;
    ProgressLine *progress_ = nullptr;
    std::string line_; // reused for every row
};

}
