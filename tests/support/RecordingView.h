// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/RemoteControl.h"

#include <QList>
#include <QString>
#include <QStringList>

// A main window stand-in for the remote-control core: keeps what a real window
// would show and records every call, in order, in `events` as "name" or
// "name(argument)" (a highlight as "accepted" or "rejected").
class RecordingView : public RemoteView
{
public:
    QString frameText;      // txtMonitor
    QString commandText;    // txtWincmd
    QList<bool> highlights; // accepted
    QList<int> pauseGuards;
    QStringList thumbsUp;   // listTU
    QStringList thumbsDown; // listTD
    QStringList events;
    QStringList announcements; // "summary: body"

    // Every text that txtWincmd showed, the empty ones included.
    QStringList commandHistory() const
    {
        QStringList texts;
        for (const QString &event : events) {
            if (event.startsWith(QLatin1String("showCommand(")))
                texts.append(event.mid(12, event.size() - 13));
        }
        return texts;
    }

    void showFrame(const QString &text) override
    {
        frameText = text;
        record(QStringLiteral("showFrame"), text);
    }
    void highlightFrame(bool accepted) override
    {
        highlights.append(accepted);
        record(QStringLiteral("highlightFrame"),
               accepted ? QStringLiteral("accepted") : QStringLiteral("rejected"));
    }
    void showCommand(const QString &text) override
    {
        commandText = text;
        record(QStringLiteral("showCommand"), text);
    }
    void startPauseGuard(int intervalMs) override
    {
        pauseGuards.append(intervalMs);
        record(QStringLiteral("startPauseGuard"), QString::number(intervalMs));
    }
    void addThumbsUp(const QString &song) override
    {
        thumbsUp.append(song);
        record(QStringLiteral("addThumbsUp"), song);
    }
    void announce(const QString &summary, const QString &body) override
    {
        announcements << summary + QStringLiteral(": ") + body;
    }
    void addThumbsDown(const QString &song) override
    {
        thumbsDown.append(song);
        record(QStringLiteral("addThumbsDown"), song);
    }

private:
    void record(const QString &name, const QString &argument)
    {
        events.append(name + QLatin1Char('(') + argument + QLatin1Char(')'));
    }
};
