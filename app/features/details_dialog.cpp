#include "details_dialog.h"

#include "ui_details_dialog.h"

namespace tarvolin {

namespace {

QString text(const std::string &value)
{
    return QString::fromStdString(value);
}

}

CDetailsDlg::CDetailsDlg(const RequestDetails &details, QWidget *parent)
    : QDialog(parent), ui_(std::make_unique<Ui::CDetailsDlg>())
{
    ui_->setupUi(this);
    ui_->urlEdit->setPlainText(text(details.url));
    ui_->userAgentEdit->setText(text(details.userAgent));
    ui_->acceptEdit->setText(text(details.accept));
    ui_->acceptLanguageEdit->setText(text(details.acceptLanguage));
    ui_->acceptEncodingEdit->setText(text(details.acceptEncoding));
    ui_->acceptCharsetEdit->setText(text(details.acceptCharset));
    ui_->keepAliveEdit->setText(text(details.keepAlive));
    ui_->connectionEdit->setText(text(details.connection));
    ui_->cookieEdit->setText(text(details.cookie));
    ui_->refererEdit->setText(text(details.referer));
    ui_->originEdit->setText(text(details.origin));
    connect(ui_->okButton, &QPushButton::clicked, this, &QDialog::accept);
}

CDetailsDlg::~CDetailsDlg() = default;

}
