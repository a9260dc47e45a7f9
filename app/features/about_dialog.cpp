#include "about_dialog.h"

#include "desktop.h"
#include "program_info.h"
#include "resource_ids.h"
#include "ui_about_dialog.h"

namespace tarvolin {

namespace {

constexpr char kVersionLabel[] = "Tarvolin version: ";
constexpr char kNotice[] = "Free to use; no warranty of any kind.";
constexpr char kPurpose[] = "Provide a one-step solution to finding the URLs for all streams. It does this by "
                            "searching files and watching network traffic and identifying potential urls";
constexpr char kHomePage[] = "";

}

CAboutDlg::CAboutDlg(Desktop &desktop, QWidget *parent) : QDialog(parent), ui_(std::make_unique<Ui::CAboutDlg>())
{
    ui_->setupUi(this);
    ui_->iconLabel->setPixmap(QPixmap(resource::IconPath(resource::kIconAbout)));
    ui_->versionText->setText(QString::fromLatin1(kVersionLabel) + QString::fromLatin1(kProgramVersionText));
    ui_->noticeText->setText(QString::fromLatin1(kNotice));
    ui_->purposeText->setText(QString::fromLatin1(kPurpose));
    ui_->siteButton->setText(VendorPage(kHomePage).host());
    connect(ui_->siteButton, &QPushButton::clicked, this, [&desktop] { desktop.openUrl(VendorPage(kHomePage)); });
    connect(ui_->okButton, &QPushButton::clicked, this, &QDialog::accept);
}

CAboutDlg::~CAboutDlg() = default;

}
