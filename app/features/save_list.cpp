#include "save_list.h"

#include <QFileInfo>
#include <QSaveFile>

#include "desktop.h"
#include "main_dialog.h"
#include "row_text.h"

namespace tarvolin {

namespace {

enum class ListFormat { kTabSeparated, kJsonLines, kM3u };

constexpr char kTabSeparatedFilter[] = "Tab-separated text (*.tsv *.txt)";
constexpr char kJsonLinesFilter[] = "JSON Lines (*.jsonl *.json)";
constexpr char kM3uFilter[] = "M3U playlist (*.m3u *.m3u8)";
constexpr char kCannotSave[] = "Cannot save %1: %2";

// A row whose details were forgotten still carries the object, empty.
const RequestDetails kNoHeaders;

ListFormat formatOf(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("m3u") || suffix == QLatin1String("m3u8"))
        return ListFormat::kM3u;
    if (suffix == QLatin1String("jsonl") || suffix == QLatin1String("json"))
        return ListFormat::kJsonLines;
    return ListFormat::kTabSeparated;
}

// Limited-buffer rows show their record number where the file has the content type.
UrlRow savedRow(const UrlRow &row, const RequestDetails *details, bool noLimit)
{
    UrlRow saved = row;
    if (!noLimit)
        saved.third = details ? details->contentType : std::string();
    return saved;
}

std::string savedLine(ListFormat format, UrlList list, const UrlRow &row, const RequestDetails *details,
                      bool noLimit)
{
    switch (format) {
    case ListFormat::kM3u:
        return M3uEntry(row, details);
    case ListFormat::kJsonLines:
        return JsonLine(list, savedRow(row, details, noLimit), details ? details : &kNoHeaders);
    case ListFormat::kTabSeparated:
        break;
    }
    return TabSeparatedLine(list, savedRow(row, details, noLimit));
}

}

QStringList SaveListFilters()
{
    return {QString::fromLatin1(kTabSeparatedFilter), QString::fromLatin1(kJsonLinesFilter),
            QString::fromLatin1(kM3uFilter)};
}

QString SaveList(const QString &path, UrlList list, const UrlListModel &model, const std::vector<int> &rows,
                 const UrlStore &store, bool noLimit)
{
    const ListFormat format = formatOf(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (format == ListFormat::kM3u)
        file.write(kM3uHeader);
    for (int index : rows) {
        const UrlRow &row = model.row(index);
        const std::string line = savedLine(format, list, row, store.details(row), noLimit);
        file.write(line.data(), static_cast<qint64>(line.size()));
    }
    // A write that failed leaves the file as it was, and says why here.
    return file.commit() ? QString() : file.errorString();
}

// The rows shown on the current tab, in the order shown, those still waiting included.
void CMainDlg::saveListAs()
{
    const QString path = services_.desktop.chooseSaveFile(this, QString::fromLatin1(kSaveListCaption),
                                                          QString::fromLatin1(kSaveListName), SaveListFilters());
    if (path.isEmpty())
        return;
    refreshLists();
    const QString problem = SaveList(path, currentList(), model(currentList()), shownRows(currentList()), store_,
                                     settings_.NoLimitBufferSize != 0);
    if (!problem.isEmpty())
        services_.desktop.inform(this, QString::fromLatin1(kCannotSave).arg(path, problem));
}

}
