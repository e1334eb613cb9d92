// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QStyle>

// The controls of a window whose caption is wider than the control shows it,
// by what the style itself asks for.
inline QStringList clippedCaptions(QWidget *window)
{
    QStringList clipped;
    for (QWidget *control : window->findChildren<QWidget *>()) {
        if (!control->isVisibleTo(window))
            continue;
        int needed = 0;
        if (auto *label = qobject_cast<QLabel *>(control)) {
            needed = label->sizeHint().width();
        } else if (auto *button = qobject_cast<QPushButton *>(control)) {
            needed = button->fontMetrics().horizontalAdvance(button->text()) +
                     2 * button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
        } else if (auto *option = qobject_cast<QRadioButton *>(control)) {
            needed = option->sizeHint().width();
        } else if (auto *frame = qobject_cast<QGroupBox *>(control)) {
            needed = frame->fontMetrics().horizontalAdvance(frame->title());
        } else if (auto *box = qobject_cast<QLineEdit *>(control); box && !box->isEnabled()) {
            // A fixed text in a box: the text, the box's inner margins and its frame.
            const int frameWidth =
                box->hasFrame() ? box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) : 0;
            needed = box->fontMetrics().horizontalAdvance(box->text()) + 2 * 2 + 2 * frameWidth;
        } else {
            continue;
        }
        if (needed > control->width())
            clipped << control->objectName();
    }
    return clipped;
}
