// One URL list as its view shows it: the rows whose URL or content type hold
// the filter text, sorted by the column the user chose, else in capture order.
// Commands map the rows shown back to the list's own rows.
#pragma once

#include <QSortFilterProxyModel>

#include <string>
#include <vector>

#include "column_ranks.h"

namespace tarvolin {

class UrlListModel;

class UrlListProxy : public QSortFilterProxyModel {
    Q_OBJECT

public:
    explicit UrlListProxy(UrlListModel &source, QObject *parent = nullptr);

    // Shows only the rows whose URL or content type hold `text` in any case; every row for an empty text.
    void setFilterText(const QString &text);
    bool filtering() const { return !filter_.isEmpty(); }

    // The list's row behind shown row `row`.
    int sourceRow(int row) const;
    // The list's rows that are shown, in the order shown.
    std::vector<int> shownRows() const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    void beforeInsert(const QModelIndex &parent, int first, int last);
    void afterInsert();
    bool matches(const std::string &text) const;

    UrlListModel &source_;
    QString filter_;
    // The filter in lower case when it is ASCII, so rows are searched as they are stored.
    std::string asciiFilter_;
    bool resortAfterInsert_ = false;
    mutable ColumnRanks ranks_; // brought up to date by the sort as it asks
};

}
