// The rows of one URL list. Rows arrive one at a time, often thousands a
// second; they wait in a batch until the window commits them, so the view
// takes one insertion per batch instead of one per row.
#pragma once

#include <QAbstractTableModel>

#include <vector>

#include "url_store.h"

namespace tarvolin {

class ExtensionIcons;

class UrlListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { kExtensionColumn = 0, kUrlColumn = 1, kThirdColumn = 2, kColumnCount = 3 };

    explicit UrlListModel(ExtensionIcons &icons, QObject *parent = nullptr);

    void append(UrlRow row);
    // Makes the waiting rows part of the list; false when none waited.
    bool commitPending();
    // Removes every row, those still waiting too.
    void clear();

    const UrlRow &row(int index) const { return rows_.at(static_cast<size_t>(index)); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    ExtensionIcons &icons_;
    std::vector<UrlRow> rows_;
    std::vector<UrlRow> pending_;
};

}
