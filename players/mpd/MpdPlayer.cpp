// SPDX-License-Identifier: GPL-3.0-or-later
#include "MpdPlayer.h"
#include "MpdConnection.h"
#include "core/Logging.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QStringDecoder>
#include <QUrl>

#include <mpd/client.h>

#include <functional>
#include <memory>
#include <utility>

namespace {
// How long calls give up at once after MPD let one run out of time: long
// enough to cover the calls of one key press, short enough for the next one.
constexpr int kHungPauseMs = 250;
constexpr unsigned kFiveSecondsMs = 5000;
// How often MPD is looked for while it is away.
constexpr int kRetryMs = 1000;

// MPD tells its music folder only to clients on its local socket.
std::optional<QString> musicDirectory(mpd_connection *connection, QString &why)
{
    if (!mpd_send_command(connection, "config", nullptr) || !answered(connection, why))
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

// Asks for the song that plays now; `read` sees it, or nullptr when there is none.
bool readCurrentSong(mpd_connection *connection, QString &why,
                     const std::function<void(const mpd_song *)> &read)
{
    if (!mpd_send_current_song(connection) || !answered(connection, why))
        return false;
    mpd_song *current = mpd_recv_song(connection);
    read(current);
    if (current)
        mpd_song_free(current);
    return mpd_response_finish(connection);
}

// The part of `path` below `folder`, both clean; nothing when it is not below.
std::optional<QString> pathBelow(const QString &path, const QString &folder)
{
    if (folder.isEmpty())
        return std::nullopt;
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    if (path.size() <= prefix.size() || !path.startsWith(prefix))
        return std::nullopt;
    return path.mid(prefix.size());
}

struct Status
{
    mpd_state state = MPD_STATE_UNKNOWN;
    unsigned elapsedMs = 0;
    bool random = false;
};

std::optional<Status> readStatus(mpd_connection *connection, QString &why)
{
    if (!mpd_send_status(connection) || !answered(connection, why))
        return std::nullopt;
    mpd_status *status = mpd_recv_status(connection);
    if (!status)
        return std::nullopt;
    const Status result{mpd_status_get_state(status), mpd_status_get_elapsed_ms(status),
                        mpd_status_get_random(status)};
    mpd_status_free(status);
    if (!mpd_response_finish(connection))
        return std::nullopt;
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

// Clears the queue when `asked`; false when MPD did not take it.
bool clearIfAsked(mpd_connection *connection, QString &why, bool asked)
{
    return !asked || acknowledged(connection, why, mpd_send_clear(connection));
}

bool isM3u(const QFileInfo &file)
{
    const QString suffix = file.suffix().toLower();
    return suffix == QLatin1String("m3u") || suffix == QLatin1String("m3u8");
}
} // namespace

MpdPlayer::MpdPlayer(const QString &host, unsigned port, const QString &musicFolder)
    : PlayerBackend("MPD"), host_(host.trimmed()), port_(port),
      musicFolder_(QDir::cleanPath(musicFolder.trimmed())),
      connection_(nullptr, &mpd_connection_free)
{
    retry_.setInterval(kRetryMs);
    QObject::connect(&retry_, &QTimer::timeout, [this] {
        QString why;
        connection(why);
    });
}

MpdPlayer::~MpdPlayer() = default;

// A hung MPD costs one key press one time-out, not one per call: for a moment
// after MPD let a call run out of time, the next calls give up at once.
bool MpdPlayer::hungAMomentAgo(QString &why) const
{
    if (quietUntil_.hasExpired())
        return false;
    why = QStringLiteral("it did not answer in time a moment ago");
    return true;
}

// Only an attempt that took the whole time-out counts: an MPD that refuses at
// once is away, not hung.
void MpdPlayer::noteFailure(const QElapsedTimer &took)
{
    if (took.elapsed() >= kPlayerTimeoutMs)
        quietUntil_.setRemainingTime(kHungPauseMs);
}

mpd_connection *MpdPlayer::connection(QString &why)
{
    // MPD closes the connections of idle clients, and all of them when it stops.
    if (connection_ && isSpent(mpd_connection_get_fd(connection_.get())))
        drop();
    if (connection_)
        return connection_.get();
    if (hungAMomentAgo(why))
        return nullptr;

    QElapsedTimer took;
    took.start();
    MpdConnection opened = connectMpd(host_, port_, why);
    // Said once, not at every look for MPD: nothing works until the password is put right.
    if (opened.passwordRefused && !passwordRefused_)
        qCWarning(lcPlayer).noquote()
            << QStringLiteral("%1; the password is the part of %2 "
                              "before \"@\"")
                   .arg(why, host_.isEmpty() ? QStringLiteral("MPD_HOST")
                                             : QStringLiteral("the setting mpdHost"));
    passwordRefused_ = opened.passwordRefused;
    if (!opened.connection) {
        noteFailure(took);
        setReachable(false);
        return nullptr;
    }
    connection_ = std::move(opened.connection);
    overTcp_ = opened.overTcp;
    hangUpWatch_ = std::make_unique<QSocketNotifier>(mpd_connection_get_fd(connection_.get()),
                                                     QSocketNotifier::Read);
    QObject::connect(hangUpWatch_.get(), &QSocketNotifier::activated, [this] { hungUp(); });
    setReachable(true);
    return connection_.get();
}

// Seen between calls. MPD lets idle clients go after a while and then greets
// a new connection at once; an MPD that went away is looked for until it is
// back. Only a greeting tells: a dying MPD may still take a connection.
void MpdPlayer::hungUp()
{
    if (connection_ && isSpent(mpd_connection_get_fd(connection_.get())))
        lost();
}

void MpdPlayer::lost()
{
    drop();
    QString why;
    connection(why);
}

void MpdPlayer::drop()
{
    // Called from the watch's own signal too, so the watch goes later.
    if (hangUpWatch_) {
        hangUpWatch_->setEnabled(false);
        QObject::disconnect(hangUpWatch_.get(), nullptr, nullptr, nullptr);
        hangUpWatch_.release()->deleteLater();
    }
    connection_.reset();
}

void MpdPlayer::setReachable(bool reachable)
{
    if (reachable)
        retry_.stop();
    else if (!retry_.isActive())
        retry_.start();
    reportRunning(reachable);
}

bool MpdPlayer::run(const char *what, const Step &step)
{
    QString why;
    if (hungAMomentAgo(why)) {
        warn(what, QStringLiteral("MPD does not answer (%1)").arg(why));
        return false;
    }
    mpd_connection *c = connection(why);
    if (!c) {
        warn(what, passwordRefused_ ? why : QStringLiteral("MPD does not answer (%1)").arg(why));
        return false;
    }
    if (step(c, why))
        return true;

    const mpd_error error = mpd_connection_get_error(c);
    const bool hung = why == noAnswer() || error == MPD_ERROR_TIMEOUT;
    // An error that MPD itself answered leaves the connection in step; any
    // other leaves it where nobody knows what comes next.
    if (error != MPD_ERROR_SUCCESS)
        why = QString::fromUtf8(mpd_connection_get_error_message(c));
    const bool spent = error != MPD_ERROR_SUCCESS && !mpd_connection_clear_error(c);
    warn(what, why);
    if (hung) {
        quietUntil_.setRemainingTime(kHungPauseMs);
        drop();
        setReachable(false);
    } else if (spent) {
        lost();
    }
    return false;
}

bool MpdPlayer::command(const char *what, bool (*send)(mpd_connection *))
{
    return run(what,
               [send](mpd_connection *c, QString &why) { return acknowledged(c, why, send(c)); });
}

bool MpdPlayer::isReachable()
{
    QString why;
    return connection(why) != nullptr;
}

bool MpdPlayer::findPlayer()
{
    return isReachable();
}

// The queue is cleared by the load that follows, right before the songs go
// in, and only when there are songs to put in: a playlist that cannot play
// leaves the user's queue as it was.
bool MpdPlayer::prepareLoad()
{
    clearBeforeLoad_ = true;
    return isReachable();
}

bool MpdPlayer::loadPlaylistFile(const QFileInfo &file)
{
    const QString path = file.filePath();
    const QString absolutePath = file.absoluteFilePath();
    const bool clear = std::exchange(clearBeforeLoad_, false);

    if (!isM3u(file)) {
        // Other formats are MPD's to read; it opens playlists outside its own
        // folder only for clients on its local socket.
        return run("load", [&](mpd_connection *c, QString &why) {
            QString name = absolutePath;
            if (overTcp_) {
                const auto inMusicFolder = songName(absolutePath);
                if (!inMusicFolder) {
                    why = QStringLiteral("over TCP, MPD reads no playlist outside its music "
                                         "folder, and \"%1\" is outside \"%2\", the setting "
                                         "mpdMusicDir; the queue is left as it was")
                              .arg(path, musicFolder_);
                    return false;
                }
                name = *inMusicFolder;
            }
            return clearIfAsked(c, why, clear) &&
                   acknowledged(c, why, mpd_send_load(c, name.toUtf8().constData()));
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
        // Over TCP, MPD takes no paths, only names in its music folder: the
        // songs it can be asked for are known before the queue is touched.
        QStringList songs; // what MPD is asked to add
        QStringList lines; // the playlist's line for each
        int outside = 0;
        for (const QString &entry : entries) {
            QString song = songToAdd(entry, folder);
            if (overTcp_ && QDir::isAbsolutePath(song)) {
                const auto name = songName(song);
                if (!name) {
                    ++outside;
                    continue;
                }
                song = *name;
            }
            songs << song;
            lines << entry;
        }
        const bool nothingToAdd = songs.isEmpty() && !entries.isEmpty();
        if (!nothingToAdd && !clearIfAsked(c, why, clear))
            return false;

        int added = 0;
        QStringList missing;
        for (qsizetype i = 0; i < songs.size(); ++i) {
            if (acknowledged(c, why, mpd_send_add(c, songs.at(i).toUtf8().constData()))) {
                ++added;
            } else if (mpd_connection_get_error(c) == MPD_ERROR_SERVER &&
                       mpd_connection_clear_error(c)) {
                missing << lines.at(i);
            } else {
                return false;
            }
        }
        QStringList reasons;
        if (outside > 0)
            reasons << QStringLiteral("%1 outside \"%2\", the setting mpdMusicDir")
                           .arg(QString::number(outside), musicFolder_);
        if (!missing.isEmpty())
            reasons << QStringLiteral("%1 that MPD could not add, the first \"%2\"")
                           .arg(QString::number(missing.size()), missing.constFirst());
        if (!reasons.isEmpty()) {
            why =
                QStringLiteral("%1 of the %2 songs of \"%3\" left out: %4")
                    .arg(QString::number(outside + missing.size()), QString::number(entries.size()),
                         path, reasons.join(QLatin1String("; ")));
            if (nothingToAdd && clear)
                why += QStringLiteral("; the queue is left as it was");
            if (added > 0)
                qCWarning(lcPlayer).noquote() << QStringLiteral("MPD load: ") + why;
        }
        return added > 0 || entries.isEmpty();
    });
}

bool MpdPlayer::play()
{
    return command("play", mpd_send_play);
}

// The remote has no resume key, so the pause key toggles.
bool MpdPlayer::pause()
{
    return command("pause", mpd_send_toggle_pause);
}

bool MpdPlayer::back5Seconds()
{
    return run("seek", [](mpd_connection *c, QString &why) {
        const auto status = readStatus(c, why);
        if (!status)
            return false;
        if (status->state != MPD_STATE_PLAY && status->state != MPD_STATE_PAUSE) {
            why = QStringLiteral("no song is playing");
            return false;
        }
        const unsigned target =
            status->elapsedMs > kFiveSecondsMs ? status->elapsedMs - kFiveSecondsMs : 0;
        return acknowledged(c, why, mpd_send_seek_current(c, target / 1000.0f, false));
    });
}

bool MpdPlayer::previousTrack()
{
    return command("previous", mpd_send_previous);
}

bool MpdPlayer::nextTrack()
{
    return command("next", mpd_send_next);
}

std::optional<QString> MpdPlayer::songName(const QString &localPath) const
{
    if (auto name = pathBelow(QDir::cleanPath(localPath), musicFolder_))
        return name;
    // The same files may be reached through a link, the music folder itself
    // often being one to a network share.
    const QString realFolder = QFileInfo(musicFolder_).canonicalFilePath();
    const QString realPath = QFileInfo(localPath).canonicalFilePath();
    if (realFolder.isEmpty() || realPath.isEmpty())
        return std::nullopt;
    return pathBelow(realPath, realFolder);
}

std::optional<QString> MpdPlayer::getCurrentSong()
{
    QString song;
    const bool read = run("current song", [&](mpd_connection *c, QString &why) {
        QString uri;
        if (!readCurrentSong(c, why, [&](const mpd_song *current) {
                if (current)
                    uri = QString::fromUtf8(mpd_song_get_uri(current));
            }))
            return false;

        if (uri.isEmpty()) {
            return true;
        } else if (uri.startsWith(QLatin1String("file://"))) {
            song = QDir::cleanPath(QUrl(uri).toLocalFile());
        } else if (isUrl(uri) || QDir::isAbsolutePath(uri)) {
            song = uri;
        } else if (overTcp_) {
            // The same file on this machine, so the thumbs lists load here too.
            if (musicFolder_.isEmpty()) {
                why = QStringLiteral("the setting mpdMusicDir is empty, so \"%1\" has no "
                                     "local path")
                          .arg(uri);
                return false;
            }
            song = QDir::cleanPath(musicFolder_ + QLatin1Char('/') + uri);
        } else {
            const auto folder = musicDirectory(c, why);
            if (!folder) {
                if (why.isEmpty())
                    why = QStringLiteral("MPD tells its music folder only over its local socket, "
                                         "so \"%1\" has no full path")
                              .arg(uri);
                return false;
            }
            song = QDir::cleanPath(*folder + QLatin1Char('/') + uri);
        }
        return true;
    });
    return read ? std::optional(song) : std::nullopt;
}

std::optional<QString> MpdPlayer::getCurrentTitle()
{
    QString title;
    const bool read = run("current title", [&](mpd_connection *c, QString &why) {
        return readCurrentSong(c, why, [&](const mpd_song *current) {
            if (current)
                title = QString::fromUtf8(mpd_song_get_tag(current, MPD_TAG_TITLE, 0));
        });
    });
    return read ? std::optional(title) : std::nullopt;
}

std::optional<bool> MpdPlayer::getShuffle()
{
    bool random = false;
    const bool read = run("shuffle query", [&](mpd_connection *c, QString &why) {
        const auto status = readStatus(c, why);
        if (status)
            random = status->random;
        return status.has_value();
    });
    return read ? std::optional(random) : std::nullopt;
}

bool MpdPlayer::toggleShuffle()
{
    return run("shuffle switch", [](mpd_connection *c, QString &why) {
        const auto status = readStatus(c, why);
        return status && acknowledged(c, why, mpd_send_random(c, !status->random));
    });
}

bool MpdPlayer::setVolumeLevel(int level)
{
    const unsigned percent = static_cast<unsigned>(qRound(level * 100 / 255.0));
    return run("volume", [&](mpd_connection *c, QString &why) {
        return acknowledged(c, why, mpd_send_set_volume(c, percent));
    });
}
