#pragma once

#include "core/PlayerControl.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QString>

#include <functional>
#include <optional>

struct mpd_connection;

// Drives a Music Player Daemon.
//
// Each operation opens its own short connection, so an MPD that restarted, or
// that dropped an idle client, is simply reached again by the next call. Every
// exchange gives up after half a second, so a hung MPD never freezes the window.
class MpdPlayer : public PlayerControl
{
public:
    // An empty host and port 0 use libmpdclient's defaults (MPD_HOST, MPD_PORT,
    // then the local socket or localhost:6600). A host may be a socket path.
    explicit MpdPlayer(const QString &host = {}, unsigned port = 0);

    bool prepareLoad() override;
    bool play() override;
    bool setVolume(qint16 level) override;
    bool loadPlaylist(const QString &path) override;
    bool getCurrentSong(QString &song) override;
    bool findPlayer(qint32 &running) override;
    bool toggleShuffle() override;
    bool pause() override;
    bool nextTrack() override;
    bool previousTrack() override;
    bool back5Seconds() override;
    bool getShuffle(qint16 &shuffle) override;

    // Whether MPD answers; says nothing on stderr.
    bool isReachable();

private:
    // Runs one exchange on a fresh connection. The step returns false on failure
    // and may explain why in its second argument when MPD itself raised no error.
    using Step = std::function<bool(mpd_connection *, QString &)>;
    bool run(const char *what, const Step &step);
    // A command that MPD only acknowledges.
    bool command(const char *what, bool (*send)(mpd_connection *));
    bool hungAMomentAgo(QString &why) const;
    void noteFailure(const QElapsedTimer &took);

    QString host_;
    unsigned port_;
    QDeadlineTimer quietUntil_; // expired: calls go through
};
