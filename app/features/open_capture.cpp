// File > Open Capture File, a capture file named on the command line or
// dropped on the window: each is replayed as a "file://" adapter would be,
// while the adapter of the settings stays as it is.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>

#include "desktop.h"
#include "main_dialog.h"

namespace tarvolin {

namespace {

constexpr char kOpenCaptureCaption[] = "Open Capture File";
constexpr char kCaptureFilesFilter[] = "Capture files (*.pcap *.pcapng *.cap)";
constexpr char kAllFilesFilter[] = "All files (*)";
constexpr char kOptionStart = '-';

// The first local file among those dragged; empty when there is none.
QString droppedFile(const QMimeData *data)
{
    if (!data || !data->hasUrls())
        return {};
    for (const QUrl &url : data->urls()) {
        if (url.isLocalFile())
            return url.toLocalFile();
    }
    return {};
}

}

void CMainDlg::openCaptureFile()
{
    const QString path =
        services_.desktop.chooseOpenFile(this, QString::fromLatin1(kOpenCaptureCaption),
                                         {QString::fromLatin1(kCaptureFilesFilter), QString::fromLatin1(kAllFilesFilter)});
    if (!path.isEmpty())
        replayCaptureFile(path);
}

// A file that is no capture file fails as the adapter would, with the reason in the status bar.
void CMainDlg::replayCaptureFile(const QString &path)
{
    capture_.replay(QFileInfo(path).absoluteFilePath().toStdString());
}

void CMainDlg::openCommandLineFile(const QStringList &arguments)
{
    for (const QString &argument : arguments) {
        if (argument.startsWith(kOptionStart))
            continue;
        replayCaptureFile(argument);
        return;
    }
}

void CMainDlg::dragEnterEvent(QDragEnterEvent *event)
{
    if (!droppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void CMainDlg::dropEvent(QDropEvent *event)
{
    const QString path = droppedFile(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    replayCaptureFile(path);
}

}
