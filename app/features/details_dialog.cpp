#include "details_dialog.h"

#include "text.h"
#include "ui_details_dialog.h"

namespace tarvolin {

namespace {

template <size_t N>
QString fieldText(const char (&field)[N])
{
    const std::string_view text = FixedText(field, N);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}

// The Referer box stays empty: the entries keep no Referer.
CDetailsDlg::CDetailsDlg(const HandOffRecord &entry, QWidget *parent)
    : QDialog(parent), ui_(std::make_unique<Ui::CDetailsDlg>())
{
    ui_->setupUi(this);
    ui_->urlEdit->setText(fieldText(entry.url));
    ui_->userAgentEdit->setText(fieldText(entry.userAgent));
    ui_->acceptEdit->setText(fieldText(entry.accept));
    ui_->acceptLanguageEdit->setText(fieldText(entry.acceptLanguage));
    ui_->acceptEncodingEdit->setText(fieldText(entry.acceptEncoding));
    ui_->acceptCharsetEdit->setText(fieldText(entry.acceptCharset));
    ui_->keepAliveEdit->setText(fieldText(entry.keepAlive));
    ui_->connectionEdit->setText(fieldText(entry.connection));
    ui_->cookieEdit->setText(fieldText(entry.cookie));
    connect(ui_->okButton, &QPushButton::clicked, this, &QDialog::accept);
}

CDetailsDlg::~CDetailsDlg() = default;

}
