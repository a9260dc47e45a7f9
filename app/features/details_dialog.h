// The request details kept for one URL of the "All" list.
#pragma once

#include <QDialog>

#include <memory>

#include "url_store.h"

namespace Ui {
class CDetailsDlg;
}

namespace tarvolin {

class CDetailsDlg : public QDialog {
    Q_OBJECT

public:
    // Shows the URL and the request headers of `entry`; nothing typed is read back.
    explicit CDetailsDlg(const HandOffRecord &entry, QWidget *parent = nullptr);
    ~CDetailsDlg() override;

private:
    std::unique_ptr<Ui::CDetailsDlg> ui_;
};

}
