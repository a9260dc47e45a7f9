// The order a sorted list shows while rows keep arriving in batches of every
// size, against a plain stable sort of all its rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "column_ranks.h"
#include "extension_icons.h"
#include "url_list_model.h"
#include "url_list_proxy.h"

using namespace tarvolin;

namespace {

// Few distinct texts in mixed case, so that equals arrive in every batch.
std::string randomText(std::mt19937 &random)
{
    static const char *const kStems[] = {"http://Example.com/a", "http://example.com/A", "http://example.com/b",
                                         "rtsp://cam/\xC3\xA9",  "rtsp://cam/\xC3\xA8", "http://example.com/"};
    std::string text = kStems[random() % std::size(kStems)];
    text += std::to_string(random() % 12);
    if (random() % 3 == 0)
        std::transform(text.begin(), text.end(), text.begin(), [](char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; });
    return text;
}

std::vector<int> expectedOrder(const UrlListModel &model, Qt::SortOrder order)
{
    std::vector<int> rows(static_cast<size_t>(model.rowCount()));
    std::iota(rows.begin(), rows.end(), 0);
    std::stable_sort(rows.begin(), rows.end(), [&](int left, int right) {
        const int compared = CompareIgnoringCase(model.row(left).url, model.row(right).url);
        return order == Qt::AscendingOrder ? compared < 0 : compared > 0;
    });
    return rows;
}

}

TEST(UrlListProxyTest, ASortedListTakesEveryBatchInTheOrderOfAWholeStableSort)
{
    ExtensionIcons icons;
    UrlListModel model(icons);
    UrlListProxy proxy(model);
    std::mt19937 random(7);
    const auto addBatch = [&](int count) {
        for (int i = 0; i < count; ++i)
            model.append({".flv", randomText(random), "video/x-flv", {}});
        model.commitPending();
    };

    for (Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
        model.clear();
        proxy.sort(UrlListModel::kUrlColumn, order);
        // Single rows go into place one by one; large batches take a whole new sort.
        for (int count : {1, 7, 1, 1500, 3, 400, 2100, 1}) {
            addBatch(count);
            ASSERT_EQ(proxy.shownRows(), expectedOrder(model, order)) << "after a batch of " << count;
        }
    }

    proxy.sort(UrlListModel::kThirdColumn, Qt::AscendingOrder);
    std::vector<int> captureOrder(static_cast<size_t>(model.rowCount()));
    std::iota(captureOrder.begin(), captureOrder.end(), 0);
    EXPECT_EQ(proxy.shownRows(), captureOrder) << "equal content types keep capture order";
    proxy.sort(UrlListModel::kUrlColumn, Qt::AscendingOrder);
    EXPECT_EQ(proxy.shownRows(), expectedOrder(model, Qt::AscendingOrder)) << "back to the URL column";
}
