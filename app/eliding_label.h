// A status bar part that asks for the width of its whole text and, given less,
// shows what fits with an ellipsis.
#pragma once

#include <QLabel>

namespace tarvolin {

class ElidingLabel : public QLabel {
public:
    using QLabel::QLabel;

    // Shrinks to nothing; minimumWidth, when set, bounds it.
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

}
