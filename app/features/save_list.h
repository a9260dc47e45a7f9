// File > Save List As: the rows of one list written as tab-separated text,
// JSON Lines with the request headers, or an M3U playlist.
#pragma once

#include <QString>
#include <QStringList>

#include <vector>

#include "url_list_model.h"
#include "url_store.h"

namespace tarvolin {

inline constexpr char kSaveListCaption[] = "Save List As";
inline constexpr char kSaveListName[] = "urls.tsv";
// The file dialog's filters; the file's extension chooses the format.
QStringList SaveListFilters();

// Writes `rows` of `model`, which shows `list`, in that order to `path`: whole
// or not at all. The reason when it cannot, else empty.
QString SaveList(const QString &path, UrlList list, const UrlListModel &model, const std::vector<int> &rows,
                 const UrlStore &store, bool noLimit);

}
