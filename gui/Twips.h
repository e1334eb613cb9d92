#pragma once

#include <QRect>
#include <QSize>
#include <QString>

// 15 twips are one pixel at 96 dpi.
constexpr int twips(int value)
{
    return value / 15;
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
