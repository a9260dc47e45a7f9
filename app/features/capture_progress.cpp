// The capture's progress in the status bar: a bar of the capture file read and
// the time left, or the frames read and the time since the start.
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>

#include "capture_statistics.h"
#include "main_dialog.h"

namespace tarvolin {

namespace {

constexpr int kProgressBarWidth = 100;
constexpr int kProgressLabelPadding = 12;
// Beside the statistics part, before the capture's end.
constexpr int kProgressPosition = 2;
constexpr int kProgressSpacing = 6;

}

void CMainDlg::prepareProgress()
{
    progressBar_ = new QProgressBar(statusBar_);
    progressBar_->setRange(0, kWholeFilePermille);
    progressBar_->setTextVisible(false);
    progressBar_->setFixedWidth(kProgressBarWidth);
    progressLabel_ = new QLabel(statusBar_);
    statusBar_->insertWidget(kProgressPosition, progressBar_);
    statusBar_->insertWidget(kProgressPosition + 1, progressLabel_);
    progressBar_->hide();
    progressLabel_->hide();
}

// Only while a capture runs.
void CMainDlg::showProgress()
{
    const std::optional<quillnet::CaptureStatistics> &statistics = store_.captureStatistics();
    const bool shown = capture_.capturing() && statistics.has_value();
    const int roomBefore = progressRoom();
    progressLabel_->setVisible(shown);
    progressBar_->setVisible(shown && ReadPermille(*statistics).has_value());
    if (!shown) {
        progressLabel_->setFixedWidth(0); // the next capture sizes it afresh
    } else {
        const QString status =
            QString::fromStdString(ProgressStatus(*statistics, std::chrono::steady_clock::now() - captureStart_));
        progressLabel_->setText(status);
        // Only grows during a capture, so the parts beside it do not jump with each second.
        const int width = progressLabel_->fontMetrics().horizontalAdvance(status) + kProgressLabelPadding;
        progressLabel_->setFixedWidth(std::max(width, progressLabel_->width()));
        progressBar_->setValue(ReadPermille(*statistics).value_or(0));
    }
    if (progressRoom() != roomBefore)
        showStatistics();
}

// What the progress takes from the adapter part.
int CMainDlg::progressRoom() const
{
    const QWidget *parts[] = {progressBar_, progressLabel_};
    int room = 0;
    for (const QWidget *part : parts)
        room += part->isVisibleTo(statusBar_) ? part->width() + kProgressSpacing : 0;
    return room;
}

QString CMainDlg::progressText() const
{
    return progressLabel_->text();
}

}
