// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <QSize>
#include <QString>

// 15 twips are one pixel at 96 dpi: twips() gives the pixels of a length in
// twips, toTwips() the twips of a length in pixels.
constexpr int kTwipsPerPixel = 15;
constexpr int twips(int value)
{
    return value / kTwipsPerPixel;
}
constexpr int toTwips(int pixels)
{
    return pixels * kTwipsPerPixel;
}
constexpr QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twips(left), twips(top), twips(width), twips(height));
}
constexpr QSize twipsSize(int width, int height)
{
    return QSize(twips(width), twips(height));
}

// Names a control after its field and puts it at a place given in pixels from twips.
template <typename Control> Control *place(Control *control, const char *name, QRect geometry)
{
    control->setObjectName(QLatin1String(name));
    control->setGeometry(geometry);
    return control;
}
