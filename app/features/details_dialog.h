// The request details kept for one URL of either list.
#pragma once

#include <QDialog>

#include <memory>

#include "request_details.h"

namespace Ui {
class CDetailsDlg;
}

namespace tarvolin {

class CDetailsDlg : public QDialog {
    Q_OBJECT

public:
    // Shows the whole URL and the request headers of `details`; nothing typed is read back.
    explicit CDetailsDlg(const RequestDetails &details, QWidget *parent = nullptr);
    ~CDetailsDlg() override;

private:
    std::unique_ptr<Ui::CDetailsDlg> ui_;
};

}
