// Writes a PNG of each of the window program's dialogs, filled with sample
// values, for a person to look at: tarvolin_dialog_gallery FOLDER. The screenshot
// script runs it under Xvfb, for the dialogs that the program shows only in
// situations a script cannot easily bring about.
#include <QApplication>
#include <QDir>

#include <cstdio>

#include "about_dialog.h"
#include "adapter_dialog.h"
#include "desktop.h"
#include "details_dialog.h"
#include "new_version_dialog.h"
#include "options_dialog.h"

using namespace tarvolin;

namespace {

// Opens nothing and answers nothing: the dialogs are only looked at.
class StillDesktop : public Desktop {
public:
    bool askYesNo(QWidget *, const QString &) override { return false; }
    void inform(QWidget *, const QString &) override {}
    void openUrl(const QUrl &) override {}
    int runModal(QDialog &) override { return QDialog::Rejected; }
    QString chooseFile(QWidget *, const QString &, const QString &) override { return {}; }
    QString chooseSaveFile(QWidget *, const QString &, const QString &, const QStringList &) override { return {}; }
    QString chooseOpenFile(QWidget *, const QString &, const QStringList &) override { return {}; }
};

bool save(QDialog &dialog, const QDir &folder, const char *name)
{
    dialog.show();
    QApplication::processEvents();
    const QString path = folder.filePath(QString::fromLatin1(name) + QStringLiteral(".png"));
    const bool saved = dialog.grab().save(path);
    std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
    dialog.hide();
    return saved;
}

RequestDetails sampleDetails()
{
    RequestDetails details;
    details.url = "http://media.example.com/videos/trailer.flv";
    details.userAgent = "Mozilla/5.0 (X11; Linux x86_64)";
    details.referer = "http://media.example.com/watch/trailer";
    details.accept = "*/*";
    details.acceptLanguage = "en-GB,en;q=0.9";
    details.acceptEncoding = "identity";
    details.connection = "keep-alive";
    return details;
}

std::optional<std::vector<AdapterRow>> sampleAdapters()
{
    return std::vector<AdapterRow>{{"eth0", "192.168.1.20", "255.255.255.0", "eth0", 16777215},
                                   {"lo", "127.0.0.1", "255.0.0.0", "lo", 255},
                                   {"Pseudo-device that captures on all interfaces", "N/A", "N/A", "any", 255}};
}

}

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    StillDesktop desktop;
    Settings settings;
    settings.Adapter = "eth0";
    settings.AdapterDescription = "eth0";

    CDetailsDlg details(sampleDetails());
    CNewVersionDlg newVersion("3.45\r\n", desktop);
    CNoAdapterDlg noAdapter(desktop);
    CAdapterDlg adapters(desktop, nullptr, sampleAdapters);
    COptionsDlg options(settings, "/dev/null", false, desktop, [] { return std::nullopt; });
    CAboutDlg about(desktop);
    bool saved = save(details, folder, "dialog-details");
    saved &= save(newVersion, folder, "dialog-new-version");
    saved &= save(noAdapter, folder, "dialog-no-adapter");
    saved &= save(adapters, folder, "dialog-adapter");
    saved &= save(options, folder, "dialog-options");
    saved &= save(about, folder, "dialog-about");
    return saved ? 0 : 1;
}
