// Prints the rows the URL store appends, one line each, as tab-separated text
// or JSON Lines.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "url_store.h"

namespace tarvolin::cli {

struct PrintOptions {
    bool mediaOnly = false;
    bool json = false;
    bool flushEachRow = false; // live captures: each line is out as soon as its URL is found
};

class RowPrinter : public UrlListView {
public:
    RowPrinter(std::FILE *output, PrintOptions options) : output_(output), options_(options) {}

    void appendRow(UrlList list, const UrlRow &row) override;
    // Captions, status texts and clearing belong to a window; a stream has none.
    void clearList(UrlList) override {}
    void setCaption(UrlList, const std::string &) override {}
    void setStatus(const std::string &) override {}

private:
    std::FILE *output_;
    PrintOptions options_;
};

// Text taken from traffic may hold any byte. In the tab-separated form control
// characters become %XX, so a field never splits a line or a column.
std::string TabSeparatedField(std::string_view text);

// A JSON string literal: valid UTF-8 passes through, every other byte is read as
// Latin-1, so the line is valid JSON whatever the wire carried.
std::string JsonString(std::string_view text);

}
