#include "main_app.h"

#include <QApplication>
#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

#include <unistd.h>

#include "desktop.h"
#include "main_dialog.h"
#include "program_directory.h"
#include "program_info.h"
#include "quillnet_library.h"

namespace tarvolin {

namespace {

constexpr char kInstanceLockName[] = "Tarvolin_com";

// Per user, as the lock lives in the user's runtime folder or carries the user's id.
QString instanceLockPath()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return QDir(runtime).filePath(QString::fromLatin1(kInstanceLockName) + QStringLiteral(".lock"));
    return QDir(QDir::tempPath())
        .filePath(QStringLiteral("%1-%2.lock").arg(QString::fromLatin1(kInstanceLockName)).arg(getuid()));
}

std::string userSettingsDirectory()
{
    const QString directory = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    return QDir(directory).absolutePath().toStdString();
}

CaptureFunctions captureFunctions(const QuillnetLibrary &library)
{
    return {library.startCapture, library.stopCapture, library.error(), library.setKeyLogFile};
}

}

int CMainApp::run(int argc, char **argv)
{
    // A lock of a process that has died is taken over; a live one is never stale.
    QLockFile instance(instanceLockPath());
    instance.setStaleLockTime(0);
    if (!instance.tryLock())
        return EXIT_SUCCESS;

    const QuillnetLibrary library;
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(kApplicationName));

    const std::string userDirectory = userSettingsDirectory();
    const std::string settingsPath = ChooseSettingsPath(ProgramDirectory(), userDirectory);
    if (settingsPath.starts_with(userDirectory))
        QDir().mkpath(QString::fromStdString(userDirectory));
    Settings settings;
    LoadSettings(settings, settingsPath);

    SystemDesktop desktop;
    WindowServices services(captureFunctions(library), desktop);
    services.updateUrl = VendorPage(kVersionPath);
    CMainDlg window(settings, settingsPath, std::move(services));
    QObject::connect(&window, &QDialog::finished, &application, &QApplication::quit);
    window.show();
    return QApplication::exec();
}

}
