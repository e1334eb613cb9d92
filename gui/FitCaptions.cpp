// SPDX-License-Identifier: GPL-3.0-or-later
#include "FitCaptions.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QWidget>

namespace {
constexpr qreal kSmallestPointSize = 6.0;

QString withoutMnemonic(QString text)
{
    text.replace(QLatin1String("&&"), QLatin1String("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}

// The width the caption needs in the given font, as the control itself measures
// it where it can: a label or an option button by its size hint, a button by its
// text and the style's margins, a frame by its title.
int needed(QWidget *control, const QString &caption)
{
    if (qobject_cast<QLabel *>(control) || qobject_cast<QRadioButton *>(control))
        return control->sizeHint().width();
    const QString text = withoutMnemonic(caption);
    const int advance = control->fontMetrics().horizontalAdvance(text);
    if (qobject_cast<QPushButton *>(control))
        return advance +
               2 * control->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, control) + 2;
    return advance + 2;
}

void fit(QWidget *control, const QString &caption)
{
    if (caption.isEmpty() || control->width() <= 0)
        return;
    QFont font = control->font();
    qreal size = font.pointSizeF();
    if (size <= 0)
        return; // a pixel-sized font: leave it alone
    while (needed(control, caption) > control->width() && size > kSmallestPointSize) {
        size = qMax(kSmallestPointSize, size - 0.5);
        font.setPointSizeF(size);
        control->setFont(font);
    }
}
} // namespace

void fitCaptions(QWidget *window)
{
    // Frames first: a frame's font would pass on to the controls inside it, so
    // they keep the font they had.
    for (QGroupBox *frame : window->findChildren<QGroupBox *>()) {
        const QFont inner = frame->font();
        fit(frame, frame->title());
        for (QWidget *control : frame->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (!control->testAttribute(Qt::WA_SetFont))
                control->setFont(inner);
        }
    }
    for (QWidget *control : window->findChildren<QWidget *>()) {
        if (auto *label = qobject_cast<QLabel *>(control))
            fit(label, label->text());
        else if (auto *button = qobject_cast<QAbstractButton *>(control))
            fit(button, button->text());
    }
}
