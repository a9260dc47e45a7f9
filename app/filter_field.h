// The filter field above the URL lists. Escape empties it and goes no further,
// so that it never reaches the window.
#pragma once

#include <QLineEdit>

namespace tarvolin {

class FilterField : public QLineEdit {
    Q_OBJECT

public:
    explicit FilterField(QWidget *parent = nullptr);

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};

}
