#include "desktop.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>

#include "program_info.h"

namespace tarvolin {

namespace {

constexpr char kDontAskAgain[] = "Don't ask again";

}

bool SystemDesktop::askYesNo(QWidget *parent, const QString &text)
{
    return QMessageBox::question(parent, QString::fromLatin1(kApplicationName), text,
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

bool SystemDesktop::confirm(QWidget *parent, const QString &text, bool &dontAskAgain)
{
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(kApplicationName), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    auto *dontAsk = new QCheckBox(QString::fromLatin1(kDontAskAgain), &box);
    box.setCheckBox(dontAsk);
    const bool yes = box.exec() == QMessageBox::Yes;
    dontAskAgain = dontAsk->isChecked();
    return yes;
}

void SystemDesktop::inform(QWidget *parent, const QString &text)
{
    QMessageBox::information(parent, QString::fromLatin1(kApplicationName), text, QMessageBox::Ok);
}

void SystemDesktop::openUrl(const QUrl &url)
{
    QDesktopServices::openUrl(url);
}

int SystemDesktop::runModal(QDialog &dialog)
{
    return dialog.exec();
}

QString SystemDesktop::chooseFile(QWidget *parent, const QString &caption, const QString &current)
{
    QFileDialog dialog(parent, caption);
    // The file may be one that another program is yet to write.
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!current.isEmpty())
        dialog.selectFile(current);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}

QString SystemDesktop::chooseSaveFile(QWidget *parent, const QString &caption, const QString &current,
                                      const QStringList &filters)
{
    QFileDialog dialog(parent, caption);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(filters);
    // A name typed without an extension takes the first of the chosen filter's.
    const auto takeSuffix = [&dialog](const QString &filter) {
        static const QRegularExpression firstSuffix(QStringLiteral("\\*\\.(\\w+)"));
        dialog.setDefaultSuffix(firstSuffix.match(filter).captured(1));
    };
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, takeSuffix);
    takeSuffix(filters.value(0));
    dialog.selectFile(current);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}

QString SystemDesktop::chooseOpenFile(QWidget *parent, const QString &caption, const QStringList &filters)
{
    QFileDialog dialog(parent, caption);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(filters);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().front();
}

QUrl VendorPage(const char *path)
{
    return QUrl(QString::fromLatin1(kVendorSite) + QString::fromLatin1(path));
}

}
