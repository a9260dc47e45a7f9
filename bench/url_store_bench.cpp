// Feeds a million records through the URL store, half of them new media URLs,
// and prints the rate at 100,000 and at 1,000,000 rows. The duplicate test must
// not slow down as the "Media Files" list grows.
#include <chrono>
#include <cstdio>
#include <cstring>

#include "url_store.h"

using namespace tarvolin;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRecordCount = 1000000;
constexpr int kFirstMark = 100000;
constexpr int kWindow = 100000; // the rate at a mark is taken over the records just before it

// Keeps what a list would show, without the cost of a real widget.
class CountingView : public UrlListView {
public:
    void appendRow(UrlList list, const UrlRow &row) override
    {
        ++rows[list];
        bytes += row.url.size() + row.extension.size() + row.third.size();
    }
    void clearList(UrlList) override {}
    void setCaption(UrlList, const std::string &) override {}
    void setStatus(const std::string &) override {}

    long rows[2] = {0, 0};
    size_t bytes = 0;
};

// Even records are new media files; odd ones alternate between an earlier
// media URL in capitals (a duplicate) and a page.
void fill(quillnet::HttpUrlRecord &record, int i)
{
    record.port = 80;
    std::snprintf(record.host, sizeof record.host, "%s", i % 4 == 1 ? "MEDIA.EXAMPLE.COM" : "media.example.com");
    if (i % 2 == 0)
        std::snprintf(record.path, sizeof record.path, "/videos/2024/clip-%d.flv?session=abcdef", i);
    else if (i % 4 == 1)
        std::snprintf(record.path, sizeof record.path, "/VIDEOS/2024/CLIP-%d.FLV?SESSION=ABCDEF", i - 1);
    else
        std::snprintf(record.path, sizeof record.path, "/pages/article-%d.html", i);
    std::snprintf(record.contentType, sizeof record.contentType, "%s", i % 2 == 0 ? "video/x-flv" : "text/html");
}

double rate(Clock::duration elapsed)
{
    return kWindow / std::chrono::duration<double>(elapsed).count();
}

}

int main()
{
    Settings settings;
    settings.NoLimitBufferSize = 1;
    CountingView view;
    UrlStore store(settings, view);
    quillnet::HttpUrlRecord record{};
    COPYDATASTRUCT copy{quillnet::kKindHttpUrl, sizeof record, &record};

    double rateAtFirstMark = 0;
    double rateAtEnd = 0;
    Clock::time_point windowStart = Clock::now();
    for (int i = 0; i < kRecordCount; ++i) {
        if (i == kFirstMark - kWindow || i == kRecordCount - kWindow)
            windowStart = Clock::now();
        fill(record, i);
        store.handleMessage(WM_COPYDATA, quillnet::kKindHttpUrl, reinterpret_cast<intptr_t>(&copy));
        if (i + 1 == kFirstMark)
            rateAtFirstMark = rate(Clock::now() - windowStart);
        if (i + 1 == kRecordCount)
            rateAtEnd = rate(Clock::now() - windowStart);
    }

    std::printf("records fed:            %d (\"All\" rows %ld, \"Media Files\" rows %ld)\n", kRecordCount,
                view.rows[kAllList], view.rows[kMediaFilesList]);
    std::printf("rate at   100,000 rows: %.0f records/s\n", rateAtFirstMark);
    std::printf("rate at 1,000,000 rows: %.0f records/s\n", rateAtEnd);
    std::printf("ratio:                  %.0f%% (goal: at least 80%%)\n", 100.0 * rateAtEnd / rateAtFirstMark);
    return view.rows[kMediaFilesList] == kRecordCount / 2 ? 0 : 1;
}
