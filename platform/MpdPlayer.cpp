#include "MpdPlayer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QUrl>

#include <mpd/client.h>

#include <algorithm>
#include <memory>

namespace {
constexpr unsigned timeoutMs = 500;
constexpr unsigned fiveSecondsMs = 5000;

using Connection = std::unique_ptr<mpd_connection, decltype(&mpd_connection_free)>;

Connection connectTo(const QString &host, unsigned port)
{
    const QByteArray hostBytes = host.toUtf8();
    return Connection(
        mpd_connection_new(host.isEmpty() ? nullptr : hostBytes.constData(), port, timeoutMs),
        &mpd_connection_free);
}

bool connected(const Connection &connection)
{
    return connection && mpd_connection_get_error(connection.get()) == MPD_ERROR_SUCCESS;
}

QString errorText(mpd_connection *connection)
{
    if (!connection)
        return QStringLiteral("out of memory");
    return QString::fromUtf8(mpd_connection_get_error_message(connection));
}

void warn(const char *what, const QString &why)
{
    qWarning().noquote()
        << QStringLiteral("Kavelo: MPD %1 failed: %2").arg(QLatin1String(what), why);
}

// MPD tells its music folder only to clients on its local socket.
std::optional<QString> musicDirectory(mpd_connection *connection)
{
    if (!mpd_send_command(connection, "config", nullptr))
        return std::nullopt;
    QString folder;
    if (mpd_pair *pair = mpd_recv_pair_named(connection, "music_directory")) {
        folder = QString::fromUtf8(pair->value);
        mpd_return_pair(connection, pair);
    }
    if (!mpd_response_finish(connection) || folder.isEmpty())
        return std::nullopt;
    return QDir::cleanPath(folder);
}

struct Status
{
    mpd_state state = MPD_STATE_UNKNOWN;
    unsigned elapsedMs = 0;
    bool random = false;
};

std::optional<Status> readStatus(mpd_connection *connection)
{
    mpd_status *status = mpd_run_status(connection);
    if (!status)
        return std::nullopt;
    Status result{mpd_status_get_state(status), mpd_status_get_elapsed_ms(status),
                  mpd_status_get_random(status)};
    mpd_status_free(status);
    return result;
}

bool isUrl(const QString &text)
{
    return text.contains(QLatin1String("://"));
}

// The lines of an M3U playlist that name songs. Playlists that other programs
// wrote are often not UTF-8; those are read as Latin-1 rather than mangled.
QStringList m3uEntries(const QByteArray &content)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(content);
    if (utf8.hasError())
        text = QString::fromLatin1(content);
    QStringList entries;
    for (QString line : text.split(QLatin1Char('\n'))) {
        line = line.trimmed();
        if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')))
            entries << line;
    }
    return entries;
}

// What MPD is asked to add for one playlist line. MPD itself maps absolute
// paths inside its music folder to its own song names; a relative line names a
// file beside the playlist when there is one, else a song of the music folder.
QString songToAdd(const QString &entry, const QDir &playlistFolder)
{
    if (entry.startsWith(QLatin1String("file://")))
        return QDir::cleanPath(QUrl(entry).toLocalFile());
    if (isUrl(entry) || QDir::isAbsolutePath(entry))
        return entry;
    const QString besidePlaylist = playlistFolder.absoluteFilePath(entry);
    if (QFileInfo::exists(besidePlaylist))
        return QDir::cleanPath(besidePlaylist);
    return entry;
}

bool isM3u(const QFileInfo &file)
{
    const QString suffix = file.suffix().toLower();
    return suffix == QLatin1String("m3u") || suffix == QLatin1String("m3u8");
}
} // namespace

MpdPlayer::MpdPlayer(const QString &host, unsigned port) : host_(host.trimmed()), port_(port) {}

bool MpdPlayer::run(const char *what, const Step &step)
{
    const Connection connection = connectTo(host_, port_);
    if (!connected(connection)) {
        warn(what, QStringLiteral("MPD does not answer (%1)").arg(errorText(connection.get())));
        return false;
    }
    QString why;
    if (step(connection.get(), why))
        return true;
    if (mpd_connection_get_error(connection.get()) != MPD_ERROR_SUCCESS)
        why = errorText(connection.get());
    warn(what, why);
    return false;
}

bool MpdPlayer::isReachable()
{
    return connected(connectTo(host_, port_));
}

bool MpdPlayer::findPlayer(qint32 &running)
{
    running = isReachable() ? 1 : 0;
    return true;
}

bool MpdPlayer::prepareLoad()
{
    return run("clear", [](mpd_connection *c, QString &) { return mpd_run_clear(c); });
}

bool MpdPlayer::loadPlaylist(const QString &path)
{
    if (path.isEmpty()) {
        warn("load", QStringLiteral("no playlist file is assigned to this key"));
        return false;
    }
    const QFileInfo file(path);
    if (!file.isFile()) {
        warn("load", QStringLiteral("playlist file \"%1\" does not exist").arg(path));
        return false;
    }
    const QString absolutePath = file.absoluteFilePath();

    if (!isM3u(file)) {
        // Other formats are MPD's to read; it opens playlists outside its own
        // folder only for clients on its local socket.
        return run("load", [&](mpd_connection *c, QString &) {
            return mpd_run_load(c, absolutePath.toUtf8().constData());
        });
    }

    // MPD reads relative lines of such a playlist against the playlist's own
    // folder only; playlists written for MPD name songs of its music folder.
    QFile playlist(absolutePath);
    if (!playlist.open(QIODevice::ReadOnly)) {
        warn("load", QStringLiteral("cannot read \"%1\": %2").arg(path, playlist.errorString()));
        return false;
    }
    const QStringList entries = m3uEntries(playlist.readAll());
    const QDir folder = file.absoluteDir();
    return run("load", [&](mpd_connection *c, QString &why) {
        int added = 0;
        QStringList missing;
        for (const QString &entry : entries) {
            if (mpd_run_add(c, songToAdd(entry, folder).toUtf8().constData())) {
                ++added;
            } else if (mpd_connection_get_error(c) == MPD_ERROR_SERVER &&
                       mpd_connection_clear_error(c)) {
                missing << entry;
            } else {
                return false;
            }
        }
        if (!missing.isEmpty()) {
            why = QStringLiteral("MPD could not add %1 of %2 songs of \"%3\", first \"%4\"")
                      .arg(missing.size())
                      .arg(entries.size())
                      .arg(path, missing.constFirst());
            if (added > 0)
                warn("load", why);
        }
        return added > 0 || entries.isEmpty();
    });
}

bool MpdPlayer::play()
{
    return run("play", [](mpd_connection *c, QString &) { return mpd_run_play(c); });
}

// The remote has no resume key, so the pause key toggles.
bool MpdPlayer::pause()
{
    return run("pause", [](mpd_connection *c, QString &) { return mpd_run_toggle_pause(c); });
}

bool MpdPlayer::back5Seconds()
{
    return run("seek", [](mpd_connection *c, QString &why) {
        const auto status = readStatus(c);
        if (!status)
            return false;
        if (status->state != MPD_STATE_PLAY && status->state != MPD_STATE_PAUSE) {
            why = QStringLiteral("no song is playing");
            return false;
        }
        const unsigned target =
            status->elapsedMs > fiveSecondsMs ? status->elapsedMs - fiveSecondsMs : 0;
        return mpd_run_seek_current(c, target / 1000.0f, false);
    });
}

bool MpdPlayer::previousTrack()
{
    return run("previous", [](mpd_connection *c, QString &) { return mpd_run_previous(c); });
}

bool MpdPlayer::nextTrack()
{
    return run("next", [](mpd_connection *c, QString &) { return mpd_run_next(c); });
}

bool MpdPlayer::getCurrentSong(QString &song)
{
    song.clear();
    return run("current song", [&](mpd_connection *c, QString &why) {
        mpd_song *current = mpd_run_current_song(c);
        if (!current)
            return mpd_connection_get_error(c) == MPD_ERROR_SUCCESS && mpd_response_finish(c);
        const QString uri = QString::fromUtf8(mpd_song_get_uri(current));
        mpd_song_free(current);

        if (uri.startsWith(QLatin1String("file://"))) {
            song = QDir::cleanPath(QUrl(uri).toLocalFile());
        } else if (isUrl(uri) || QDir::isAbsolutePath(uri)) {
            song = uri;
        } else {
            const auto folder = musicDirectory(c);
            if (!folder) {
                why = QStringLiteral("MPD does not tell its music folder (only over its local "
                                     "socket), so \"%1\" has no full path")
                          .arg(uri);
                mpd_connection_clear_error(c);
                return false;
            }
            song = QDir::cleanPath(*folder + QLatin1Char('/') + uri);
        }
        return true;
    });
}

bool MpdPlayer::getShuffle(qint16 &shuffle)
{
    return run("shuffle query", [&](mpd_connection *c, QString &) {
        const auto status = readStatus(c);
        if (status)
            shuffle = status->random ? -1 : 0;
        return status.has_value();
    });
}

bool MpdPlayer::toggleShuffle()
{
    return run("shuffle switch", [](mpd_connection *c, QString &) {
        const auto status = readStatus(c);
        return status && mpd_run_random(c, !status->random);
    });
}

bool MpdPlayer::setVolume(qint16 level)
{
    // A stored volume above 255 must not ask MPD for more than 100 %.
    const int clamped = std::clamp<int>(level, 0, 255);
    const unsigned percent = static_cast<unsigned>(qRound(clamped * 100 / 255.0));
    return run("volume",
               [&](mpd_connection *c, QString &) { return mpd_run_set_volume(c, percent); });
}
