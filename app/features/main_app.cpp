#include "main_app.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

#include <unistd.h>

#include "desktop.h"
#include "instance_channel.h"
#include "main_dialog.h"
#include "program_directory.h"
#include "program_info.h"
#include "quillnet_library.h"

namespace tarvolin {

namespace {

constexpr char kInstanceLockName[] = "Tarvolin_com";

// Per user, as it lives in the user's runtime folder or carries the user's id:
// the lock (".lock") and the socket a second start talks to (".socket").
QString instancePath(const char *suffix)
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return QDir(runtime).filePath(QString::fromLatin1(kInstanceLockName) + QLatin1String(suffix));
    return QDir(QDir::tempPath())
        .filePath(QStringLiteral("%1-%2%3").arg(QString::fromLatin1(kInstanceLockName)).arg(getuid()).arg(
            QLatin1String(suffix)));
}

// The running copy comes forward instead; this one ends.
// The running copy works in another folder: a file named here goes by its whole path.
int tellRunningCopy(int argc, char **argv)
{
    const QCoreApplication application(argc, argv);
    QStringList arguments;
    for (const QString &argument : QCoreApplication::arguments().mid(1))
        arguments << (argument.startsWith(QLatin1Char('-')) ? argument : QFileInfo(argument).absoluteFilePath());
    InstanceChannel::tell(instancePath(".socket"), arguments);
    return EXIT_SUCCESS;
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
    QLockFile instance(instancePath(".lock"));
    instance.setStaleLockTime(0);
    if (!instance.tryLock())
        return tellRunningCopy(argc, argv);

    const QuillnetLibrary library;
    // The window shows no log lines, so the library need not make them.
    if (library.setLogRecords)
        library.setLogRecords(0);
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
    InstanceChannel channel(instancePath(".socket"));
    QObject::connect(&channel, &InstanceChannel::startedAgain, &window, [&window](const QStringList &arguments) {
        window.bringForward();
        window.openCommandLineFile(arguments);
    });
    window.show();
    window.openCommandLineFile(QCoreApplication::arguments().mid(1));
    return QApplication::exec();
}

}
