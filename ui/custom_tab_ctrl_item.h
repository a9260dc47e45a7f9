// What the files of the tab strip share: a tab as laid out, and where the
// scroll buttons lie.
#pragma once

#include "custom_tab_ctrl.h"

struct CCustomTabCtrl::Item {
    QString text;
    uint32_t userValue = 0;
    TabRect shape;
    TabRect textRect;
    QRegion region;
    TabShape kind = TabShape::Whole;
    bool selected = false;
};

// Where a press or the mouse counts as on each scroll button; both buttons
// together are scrollButtonsWidth() wide.
inline TabRect previousButtonArea(int height)
{
    return {0, 0, height - 2, height};
}

inline TabRect nextButtonArea(int height)
{
    return {height - 2, 0, 2 * height - 3, height};
}

// A held scroll button steps every interval, but no sooner than the gap after the last step.
inline constexpr int kRepeatIntervalMs = 100;
inline constexpr int kRepeatGapMs = 250;
