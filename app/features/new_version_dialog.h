// Names the newer version the update check found and offers the news page.
#pragma once

#include <memory>

#include <QByteArray>
#include <QDialog>

namespace Ui {
class CNewVersionDlg;
}

namespace tarvolin {

class Desktop;

class CNewVersionDlg : public QDialog {
    Q_OBJECT

public:
    // `latestVersionText`: the server's answer as received; shown as UTF-8 when
    // it is valid UTF-8, else as Latin-1, and always as plain text.
    CNewVersionDlg(const QByteArray &latestVersionText, Desktop &desktop, QWidget *parent = nullptr);
    ~CNewVersionDlg() override;

private:
    void showNews();

    std::unique_ptr<Ui::CNewVersionDlg> ui_;
    Desktop &desktop_;
};

}
