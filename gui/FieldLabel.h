// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>

// The label of a dialog's field ("&Port:"): its Alt key goes to the field,
// and its words, without the "&" and the colon, are the field's name for a
// screen reader.
inline QLabel *fieldLabel(const QString &caption, QWidget *field)
{
    auto *label = new QLabel(caption, field->parentWidget());
    label->setBuddy(field);
    field->setAccessibleName(QString(caption).remove(QLatin1Char('&')).chopped(1));
    return label;
}
