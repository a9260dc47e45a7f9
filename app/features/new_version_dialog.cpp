#include "new_version_dialog.h"

#include <QStringDecoder>

#include "desktop.h"
#include "program_info.h"
#include "ui_new_version_dialog.h"

namespace tarvolin {

namespace {

// The server's text is in no declared encoding: UTF-8 when it decodes cleanly,
// else Latin-1, which takes every byte. Stateless, so a cut-off sequence at the
// end counts as an error instead of waiting for more.
QString DecodeServerText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes);
}

}

CNewVersionDlg::CNewVersionDlg(const QByteArray &latestVersionText, Desktop &desktop, QWidget *parent)
    : QDialog(parent), ui_(std::make_unique<Ui::CNewVersionDlg>()), desktop_(desktop)
{
    ui_->setupUi(this);
    ui_->versionText->setText(QStringLiteral("Find %1 latest version ").arg(QLatin1String(kApplicationName))
                              + DecodeServerText(latestVersionText));
    connect(ui_->whatIsNewButton, &QPushButton::clicked, this, &CNewVersionDlg::showNews);
}

CNewVersionDlg::~CNewVersionDlg() = default;

void CNewVersionDlg::showNews()
{
    desktop_.openUrl(VendorPage(kNewsPage));
}

}
