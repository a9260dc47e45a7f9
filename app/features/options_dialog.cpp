#include "options_dialog.h"

#include "desktop.h"
#include "text.h"
#include "ui_options_dialog.h"

namespace tarvolin {

namespace {

constexpr char kListEnd[] = " ";
constexpr char kAutoDownloadText[] = "Download media files automatically by %1";

// What an empty field stands for.
QString keyLogPlaceholder()
{
    const std::string fromEnvironment = EffectiveKeyLogFile("");
    if (fromEnvironment.empty())
        return QStringLiteral("None: %1 is not set").arg(QString::fromLatin1(kKeyLogEnvironment));
    return QStringLiteral("%1: %2").arg(QString::fromLatin1(kKeyLogEnvironment),
                                        QString::fromStdString(fromEnvironment));
}

}

COptionsDlg::COptionsDlg(Settings &settings, std::string settingsPath, bool capturing, Desktop &desktop,
                         AdapterChooser chooseAdapter, QWidget *parent)
    : QDialog(parent), ui_(std::make_unique<Ui::COptionsDlg>()), settings_(settings),
      settingsPath_(std::move(settingsPath)), desktop_(desktop), chooseAdapter_(std::move(chooseAdapter)),
      adapter_{settings.Adapter, settings.AdapterDescription, settings.adapterNetmask}
{
    ui_->setupUi(this);
    ui_->adapterEdit->setText(QString::fromStdString(adapter_.description));
    // The running capture keeps the adapter it started with.
    for (QWidget *control : {static_cast<QWidget *>(ui_->adapterEdit), static_cast<QWidget *>(ui_->selectButton),
                             static_cast<QWidget *>(ui_->noLimitCheck)})
        control->setEnabled(!capturing);
    ui_->noLimitCheck->hide();
    ui_->autoFilesEdit->hide();
    ui_->noLimitCheck->setChecked(settings.NoLimitBufferSize != 0);
    ui_->autoDownloadCheck->setChecked(settings.AutoDownload != 0);
    ui_->updateCheck->setChecked(settings.CheckForUpdates != 0);
    ui_->autoFilesEdit->setText(QString::fromStdString(settings.DownloadAutoFilesList));
    ui_->keyLogEdit->setText(QString::fromStdString(settings.KeyLogFile));
    ui_->keyLogEdit->setPlaceholderText(keyLogPlaceholder());
    ui_->handOffCombo->setCurrentText(QString::fromLatin1(HandsOffToAria2(settings) ? kHandOffToAria2
                                                                                     : kHandOffToMarrowfetch));
    ui_->aria2UrlEdit->setText(QString::fromStdString(settings.Aria2RpcUrl));
    ui_->aria2UrlEdit->setPlaceholderText(QString::fromLatin1(kDefaultAria2RpcUrl));
    ui_->aria2SecretEdit->setText(QString::fromStdString(settings.Aria2RpcSecret));
    ui_->aria2DirEdit->setText(QString::fromStdString(settings.Aria2Dir));
    showHandOffTarget();
    connect(ui_->handOffCombo, &QComboBox::currentTextChanged, this, &COptionsDlg::showHandOffTarget);
    connect(ui_->selectButton, &QPushButton::clicked, this, &COptionsDlg::selectAdapter);
    connect(ui_->browseButton, &QPushButton::clicked, this, &COptionsDlg::browseKeyLog);
    connect(ui_->okButton, &QPushButton::clicked, this, &COptionsDlg::confirm);
    connect(ui_->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

COptionsDlg::~COptionsDlg() = default;

void COptionsDlg::selectAdapter()
{
    const std::optional<ChosenAdapter> chosen = chooseAdapter_();
    if (!chosen || chosen->name.empty())
        return;
    adapter_ = *chosen;
    ui_->adapterEdit->setText(QString::fromStdString(adapter_.description));
}

void COptionsDlg::browseKeyLog()
{
    const QString current = ui_->keyLogEdit->text().trimmed();
    const QString chosen = desktop_.chooseFile(
        this, QString::fromLatin1(kKeyLogCaption),
        current.isEmpty() ? QString::fromStdString(EffectiveKeyLogFile("")) : current);
    if (!chosen.isEmpty())
        ui_->keyLogEdit->setText(chosen);
}

// The aria2 fields count only for aria2.
void COptionsDlg::showHandOffTarget()
{
    const QString target = ui_->handOffCombo->currentText();
    ui_->autoDownloadCheck->setText(QString::fromLatin1(kAutoDownloadText).arg(target));
    const bool aria2 = target == QLatin1String(kHandOffToAria2);
    for (QWidget *field : {ui_->aria2UrlEdit, ui_->aria2SecretEdit, ui_->aria2DirEdit})
        field->setEnabled(aria2);
}

void COptionsDlg::confirm()
{
    settings_.NoLimitBufferSize = 1;
    settings_.AdapterDescription = adapter_.description;
    settings_.adapterNetmask = adapter_.netmask;
    settings_.Adapter = adapter_.name;
    settings_.AutoDownload = ui_->autoDownloadCheck->isChecked() ? 1 : 0;
    settings_.CheckForUpdates = ui_->updateCheck->isChecked() ? 1 : 0;
    settings_.DownloadAutoFilesList = std::string(Trim(ui_->autoFilesEdit->text().toStdString())) + kListEnd;
    settings_.KeyLogFile = std::string(Trim(ui_->keyLogEdit->text().toStdString()));
    settings_.HandOffTo = ui_->handOffCombo->currentText().toStdString();
    const std::string rpcUrl(Trim(ui_->aria2UrlEdit->text().toStdString()));
    settings_.Aria2RpcUrl = rpcUrl.empty() ? kDefaultAria2RpcUrl : rpcUrl;
    settings_.Aria2RpcSecret = std::string(Trim(ui_->aria2SecretEdit->text().toStdString()));
    settings_.Aria2Dir = std::string(Trim(ui_->aria2DirEdit->text().toStdString()));
    if (!SaveSettings(settings_, settingsPath_))
        desktop_.inform(this, QString::fromLatin1(kSettingsNotSaved).arg(QString::fromStdString(settingsPath_)));
    accept();
}

}
