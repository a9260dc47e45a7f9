#include "row_printer.h"

#include "progress_line.h"

namespace tarvolin::cli {

namespace {

// A row whose details were forgotten still carries the object, empty.
const RequestDetails kNoHeaders;

}

const RequestDetails *RowPrinter::headersOf(const UrlRow &row) const
{
    if (!options_.headers)
        return nullptr;
    const RequestDetails *details = store_ ? store_->details(row) : nullptr;
    return details ? details : &kNoHeaders;
}

void RowPrinter::appendRow(UrlList list, const UrlRow &row)
{
    if (options_.mediaOnly && list != kMediaFilesList)
        return;
    line_.clear();
    if (options_.json)
        AppendJsonLine(line_, list, row, headersOf(row));
    else
        AppendTabSeparatedLine(line_, list, row);
    if (progress_)
        progress_->stepAside();
    std::fwrite(line_.data(), 1, line_.size(), output_);
    if (options_.flushEachRow || progress_)
        std::fflush(output_);
    if (progress_)
        progress_->comeBack();
}

}
