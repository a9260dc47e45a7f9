// What the window asks of the desktop: message boxes, file choosers and opening web pages.
// The tests answer in its place.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

class QDialog;
class QWidget;

namespace tarvolin {

class Desktop {
public:
    virtual ~Desktop() = default;
    // A Yes/No question with the application's name as caption; true for Yes.
    virtual bool askYesNo(QWidget *parent, const QString &text) = 0;
    // A Yes/No question with a "Don't ask again" check box; true for Yes.
    // `dontAskAgain` tells whether the box was checked. Without a box of its
    // own, a desktop asks the plain question.
    virtual bool confirm(QWidget *parent, const QString &text, bool &dontAskAgain)
    {
        dontAskAgain = false;
        return askYesNo(parent, text);
    }
    // A notice with an OK button and the application's name as caption.
    virtual void inform(QWidget *parent, const QString &text) = 0;
    // Opens a web page in the desktop's browser; the result is not looked at.
    virtual void openUrl(const QUrl &url) = 0;
    // Runs a dialog modally; its result code.
    virtual int runModal(QDialog &dialog) = 0;
    // A file the user picks, starting at `current`; it need not exist yet. Empty when cancelled.
    virtual QString chooseFile(QWidget *parent, const QString &caption, const QString &current) = 0;
    // A file to write, named by the user, starting at `current` and offering
    // `filters` ("Name (*.ext ...)"). Empty when cancelled.
    virtual QString chooseSaveFile(QWidget *parent, const QString &caption, const QString &current,
                                   const QStringList &filters) = 0;
    // An existing file to read, offering `filters`. Empty when cancelled.
    virtual QString chooseOpenFile(QWidget *parent, const QString &caption, const QStringList &filters) = 0;
};

// Real message boxes, file dialogs and the desktop's browser.
class SystemDesktop : public Desktop {
public:
    bool askYesNo(QWidget *parent, const QString &text) override;
    bool confirm(QWidget *parent, const QString &text, bool &dontAskAgain) override;
    void inform(QWidget *parent, const QString &text) override;
    void openUrl(const QUrl &url) override;
    int runModal(QDialog &dialog) override;
    QString chooseFile(QWidget *parent, const QString &caption, const QString &current) override;
    QString chooseSaveFile(QWidget *parent, const QString &caption, const QString &current,
                           const QStringList &filters) override;
    QString chooseOpenFile(QWidget *parent, const QString &caption, const QStringList &filters) override;
};

// The vendor's page at `path` ("/support.htm").
QUrl VendorPage(const char *path);

}
