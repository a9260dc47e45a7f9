// The program's name, version and purpose, with a way to its web site.
#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class CAboutDlg;
}

namespace tarvolin {

class Desktop;

class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(Desktop &desktop, QWidget *parent = nullptr);
    ~CAboutDlg() override;

private:
    std::unique_ptr<Ui::CAboutDlg> ui_;
};

}
