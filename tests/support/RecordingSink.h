// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gui/Messages.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// Records each message instead of showing a box. A message closes as soon as
// it is shown, unless keepOpen is set: then it stays open until closeAll().
class RecordingSink : public Messages
{
public:
    QStringList texts() const
    {
        QStringList result;
        for (const auto &message : shown)
            result.append(message.first);
        return result;
    }

    void closeAll()
    {
        for (; waiting_ > 0; --waiting_)
            closeOne();
    }

    QList<QPair<QString, QString>> shown; // text, title
    bool keepOpen = false;

protected:
    void present(const QString &text, const QString &title) override
    {
        shown.append({text, title});
        if (keepOpen)
            ++waiting_;
        else
            closeOne();
    }

private:
    int waiting_ = 0;
};
