#pragma once

#include "core/PlayerControl.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

// A player component that records every call, in order, as "name" or
// "name(argument)", and answers from its public fields. An operation named in
// `failing` returns false; its out value is still written, so a caller that
// trusts a failed query is caught. A failed operation changes no state.
// Behind a PlayerSession its calls run on the session's thread: set the fields
// before the calls are posted, read them once the session is idle.
class RecordingPlayer : public PlayerControl
{
public:
    bool running = true;
    bool loadStartsPlayer = false; // loading a playlist starts a stopped player
    qint16 shuffle = 0;            // -1 on, 0 off
    bool shuffleMode = true;       // what hasShuffle() says
    QString currentSong;
    qint16 volume = -1; // last level set, -1 before any
    QSet<QString> failing;

    QStringList calls;
    std::function<void(const QString &call)> onCall; // sees every call as it is recorded

    // The player starts or stops between calls, and says so.
    void setRunning(bool isRunning)
    {
        running = isRunning;
        reportRunning(isRunning);
    }

    // The calls without the queries that only ask for state.
    QStringList actions() const
    {
        QStringList result;
        for (const QString &call : calls) {
            if (call != QLatin1String("findPlayer") && call != QLatin1String("getShuffle") &&
                call != QLatin1String("getCurrentSong"))
                result.append(call);
        }
        return result;
    }

    bool prepareLoad() override { return record(QStringLiteral("prepareLoad")); }
    bool play() override { return record(QStringLiteral("play")); }
    bool setVolume(qint16 level) override
    {
        volume = level;
        return record(QStringLiteral("setVolume"), QString::number(level));
    }
    bool loadPlaylist(const QString &path) override
    {
        if (loadStartsPlayer && !failing.contains(QStringLiteral("loadPlaylist")))
            setRunning(true);
        return record(QStringLiteral("loadPlaylist"), path);
    }
    bool getCurrentSong(QString &song) override
    {
        song = currentSong;
        return record(QStringLiteral("getCurrentSong"));
    }
    bool findPlayer(qint32 &isRunning) override
    {
        isRunning = running ? 1 : 0;
        return record(QStringLiteral("findPlayer"));
    }
    bool toggleShuffle() override
    {
        if (!failing.contains(QStringLiteral("toggleShuffle")))
            shuffle = shuffle == 0 ? -1 : 0;
        return record(QStringLiteral("toggleShuffle"));
    }
    bool pause() override { return record(QStringLiteral("pause")); }
    bool nextTrack() override { return record(QStringLiteral("nextTrack")); }
    bool previousTrack() override { return record(QStringLiteral("previousTrack")); }
    bool back5Seconds() override { return record(QStringLiteral("back5Seconds")); }
    bool hasShuffle() override { return shuffleMode; }
    bool getShuffle(qint16 &isOn) override
    {
        isOn = shuffle;
        return record(QStringLiteral("getShuffle"));
    }

private:
    bool record(const QString &name) { return log(name, name); }
    bool record(const QString &name, const QString &argument)
    {
        return log(name, name + QLatin1Char('(') + argument + QLatin1Char(')'));
    }
    bool log(const QString &name, const QString &call)
    {
        calls.append(call);
        if (onCall)
            onCall(call);
        return !failing.contains(name);
    }
};
