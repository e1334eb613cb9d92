// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlayerPeers.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>

#include <mpd/client.h>

#include <cmath>
#include <csignal>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// What a player's own settings and files use, inside its home folder.
QProcessEnvironment playerEnvironment(const QDir &home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral(".local/share")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral(".cache")));
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    return env;
}

QVariant busValue(const QDBusMessage &reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    const QVariant value = reply.arguments().constFirst();
    return value.canConvert<QDBusVariant>() ? value.value<QDBusVariant>().variant() : value;
}

QString localPath(const QString &url)
{
    const QUrl parsed(url);
    return parsed.isLocalFile() ? parsed.toLocalFile() : url;
}
} // namespace

bool writeWav(const QString &path, int seconds, const QString &title)
{
    constexpr quint32 rate = 8000;
    const quint32 samples = rate * seconds;
    const quint32 dataBytes = samples * 2;
    // The title goes in a LIST chunk of INFO, as an INAM entry ending in a zero
    // byte; chunks are padded to an even size.
    QByteArray name = title.toUtf8() + '\0';
    if (name.size() % 2)
        name += '\0';
    const quint32 listBytes = title.isEmpty() ? 0 : quint32(8 + 4 + 8 + name.size());

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QDataStream out(&file);
    out.setByteOrder(QDataStream::LittleEndian);
    out.writeRawData("RIFF", 4);
    out << quint32(36 + listBytes + dataBytes);
    out.writeRawData("WAVEfmt ", 8);
    out << quint32(16) << quint16(1) << quint16(1) << rate << quint32(rate * 2) << quint16(2)
        << quint16(16);
    if (listBytes > 0) {
        out.writeRawData("LIST", 4);
        out << quint32(listBytes - 8);
        out.writeRawData("INFOINAM", 8);
        out << quint32(name.size());
        out.writeRawData(name.constData(), int(name.size()));
    }
    out.writeRawData("data", 4);
    out << dataBytes;
    for (quint32 i = 0; i < samples; ++i)
        out << qint16(std::lround(2000 * std::sin(i * 0.2)));
    return out.status() == QDataStream::Ok;
}

void signalProcess(const QProcess &process, int signal)
{
    if (process.processId() > 0)
        ::kill(static_cast<pid_t>(process.processId()), signal);
}

bool installed(const QString &program)
{
    return !QStandardPaths::findExecutable(program).isEmpty();
}

bool onBus(const QString &service)
{
    auto message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    message.setArguments({service});
    const QDBusMessage reply = QDBusConnection::sessionBus().call(message);
    return !reply.arguments().isEmpty() && reply.arguments().constFirst().toBool();
}

bool PeerProcess::launch(const QString &program, const QStringList &arguments,
                         QProcess::ProcessChannelMode mode)
{
    process_.setProgram(program);
    process_.setArguments(arguments);
    process_.setProcessChannelMode(mode);
    process_.start();
    return process_.waitForStarted(5000);
}

bool PeerProcess::waitForBusName(const QString &service)
{
    auto identity = QDBusMessage::createMethodCall(
        service, QStringLiteral("/org/mpris/MediaPlayer2"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    identity.setArguments({QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("Identity")});
    const auto answers = [&] {
        return QDBusConnection::sessionBus().call(identity, QDBus::Block, 500).type() ==
               QDBusMessage::ReplyMessage;
    };
    const bool settled = QTest::qWaitFor(
        [&] { return process_.state() != QProcess::Running || (onBus(service) && answers()); },
        10000);
    return settled && process_.state() == QProcess::Running;
}

void PeerProcess::kill()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    signalProcess(process_, SIGCONT);
    process_.kill();
    process_.waitForFinished(5000);
}

bool SessionBus::start(Users users)
{
    QString rules = QStringLiteral("--session");
    if (users == Users::Any) {
        // A session bus lets in only the user who started it; this one lets
        // in everyone, on a socket everyone may open.
        const QString file = config_.filePath(QStringLiteral("bus.conf"));
        if (!writeFile(file, "<busconfig><type>session</type>"
                             "<listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>"
                             "<policy context=\"default\"><allow user=\"*\"/>"
                             "<allow send_destination=\"*\" eavesdrop=\"true\"/>"
                             "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy>"
                             "</busconfig>\n"))
            return false;
        rules = QStringLiteral("--config-file=") + file;
    }
    if (!launch(QStringLiteral("dbus-daemon"),
                {rules, QStringLiteral("--nofork"), QStringLiteral("--print-address=1")},
                QProcess::SeparateChannels))
        return false;
    const QDeadlineTimer deadline(10000);
    while (!process_.canReadLine() && !deadline.hasExpired()) {
        if (!process_.waitForReadyRead(int(deadline.remainingTime())))
            break;
    }
    address_ = QString::fromUtf8(process_.readLine()).trimmed();
    if (address_.isEmpty())
        return false;
    qputenv("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8());
    return true;
}

bool BusMonitor::start(const QString &busAddress, const QString &sender)
{
    if (!launch(QStringLiteral("dbus-monitor"),
                {QStringLiteral("--address"), busAddress,
                 QStringLiteral("type='method_call',sender='%1'").arg(sender)},
                QProcess::SeparateChannels))
        return false;
    // Once it monitors, the bus takes its name away, and it prints that.
    const QDeadlineTimer deadline(10000);
    while (!seen_.contains("member=NameLost")) {
        if (deadline.hasExpired() || !process_.waitForReadyRead(int(deadline.remainingTime())))
            return false;
        seen_ += process_.readAllStandardOutput();
    }
    return true;
}

QStringList BusMonitor::calls()
{
    seen_ += process_.readAllStandardOutput();
    QStringList members;
    for (const QByteArray &line : seen_.split('\n')) {
        const qsizetype at = line.indexOf("member=");
        if (line.startsWith("method call ") && at >= 0)
            members << QString::fromUtf8(line.mid(at + 7));
    }
    return members;
}

const QString Mpv::service = QStringLiteral("org.mpris.MediaPlayer2.mpv");

QString Mpv::mprisPlugin()
{
    for (const char *path : {"/usr/lib/mpv-mpris/mpris.so", "/etc/mpv/scripts/mpris.so",
                             "/usr/lib/x86_64-linux-gnu/mpv/scripts/mpris.so"}) {
        if (QFileInfo::exists(QString::fromLatin1(path)))
            return QString::fromLatin1(path);
    }
    return {};
}

bool Mpv::start()
{
    return launch(QStringLiteral("mpv"),
                  {QStringLiteral("--idle"), QStringLiteral("--ao=null"),
                   QStringLiteral("--no-video"), QStringLiteral("--no-config"),
                   QStringLiteral("--no-terminal"),
                   QStringLiteral("--input-ipc-server=") + ipcSocket_,
                   QStringLiteral("--script=") + mprisPlugin()}) &&
           waitForBusName(service);
}

QJsonObject Mpv::request(const QJsonArray &command)
{
    QLocalSocket socket;
    socket.connectToServer(ipcSocket_);
    if (!socket.waitForConnected(3000))
        return {};
    const QJsonObject request{{QStringLiteral("command"), command},
                              {QStringLiteral("request_id"), 7}};
    socket.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    // Events may come first; the answer is the line that carries the request's id.
    while (socket.waitForReadyRead(3000) || socket.canReadLine()) {
        while (socket.canReadLine()) {
            const QJsonObject reply = QJsonDocument::fromJson(socket.readLine()).object();
            if (reply.value(QStringLiteral("request_id")).toInt() == 7 &&
                reply.contains(QStringLiteral("error")))
                return reply;
        }
    }
    return {};
}

bool Mpv::command(const QJsonArray &command)
{
    return request(command).value(QStringLiteral("error")).toString() == QLatin1String("success");
}

QVariant Mpv::property(const QString &name)
{
    return request({QStringLiteral("get_property"), name})
        .value(QStringLiteral("data"))
        .toVariant();
}

QStringList Mpv::playlist()
{
    QStringList songs;
    for (const QVariant &entry : property(QStringLiteral("playlist")).toList())
        songs << entry.toMap().value(QStringLiteral("filename")).toString();
    return songs;
}

QString Mpv::state()
{
    if (property(QStringLiteral("idle-active")).toBool())
        return QStringLiteral("Stopped");
    return property(QStringLiteral("pause")).toBool() ? QStringLiteral("Paused")
                                                      : QStringLiteral("Playing");
}

const QString Audacious::service = QStringLiteral("org.mpris.MediaPlayer2.audacious");

bool Audacious::start()
{
    // Its plugin list names the output to use; the other plugins it finds itself.
    QString sdlOutput;
    for (const QString &lib : QDir(QStringLiteral("/usr/lib")).entryList(QDir::Dirs)) {
        const QString candidate = QStringLiteral("/usr/lib/%1/audacious/Output/sdlout.so").arg(lib);
        if (QFileInfo::exists(candidate))
            sdlOutput = candidate;
    }
    const QString config = home_.filePath(QStringLiteral(".config"));
    if (sdlOutput.isEmpty() || !QDir().mkpath(config + QStringLiteral("/audacious")) ||
        !writeFile(config + QStringLiteral("/audacious/plugin-registry"),
                   "format 11\noutput " + sdlOutput.toUtf8() +
                       "\nstamp 1\nversion 48\nflags 0\nname SDL Output\n"
                       "domain audacious-plugins\npriority 9\nabout 1\nconfig 0\nenabled 1\n"))
        return false;

    QProcessEnvironment env = playerEnvironment(home_);
    env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy"));
    process_.setProcessEnvironment(env);
    return launch(QStringLiteral("audacious"), {QStringLiteral("-H")}) && waitForBusName(service);
}

QStringList Audacious::playlist()
{
    const auto audtool = [](const QStringList &commands) {
        QProcess process;
        process.start(QStringLiteral("audtool"), commands);
        process.waitForFinished(5000);
        return QString::fromUtf8(process.readAllStandardOutput())
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    };
    const int length = audtool({QStringLiteral("playlist-length")}).value(0).toInt();
    QStringList commands;
    for (int song = 1; song <= length; ++song)
        commands << QStringLiteral("playlist-song-filename") << QString::number(song);
    return length > 0 ? audtool(commands) : QStringList();
}

const QString Vlc::service = QStringLiteral("org.mpris.MediaPlayer2.vlc");

bool Vlc::start()
{
    if (!home_.mkpath(QStringLiteral(".")))
        return false;
    process_.setProcessEnvironment(playerEnvironment(home_));
    process_.setWorkingDirectory(home_.path());
    QStringList vlc{QStringLiteral("vlc"),
                    QStringLiteral("-I"),
                    QStringLiteral("dummy"),
                    QStringLiteral("--no-video"),
                    QStringLiteral("-A"),
                    QStringLiteral("dummy"),
                    QStringLiteral("--no-media-library")};
    if (::geteuid() == 0) {
        const passwd *nobody = ::getpwnam("nobody");
        if (!nobody || ::chown(QFile::encodeName(home_.path()).constData(), nobody->pw_uid,
                               nobody->pw_gid) != 0)
            return false;
        // setpriv becomes VLC itself, so ending the process ends VLC.
        vlc =
            QStringList{QStringLiteral("setpriv"), QStringLiteral("--reuid=%1").arg(nobody->pw_uid),
                        QStringLiteral("--regid=%1").arg(nobody->pw_gid),
                        QStringLiteral("--clear-groups"), QStringLiteral("--")} +
            vlc;
    }
    // Its start says twice that it has no interface; that is what is asked of it.
    const QString program = vlc.takeFirst();
    return launch(program, vlc, QProcess::SeparateChannels) && waitForBusName(service);
}

QStringList Vlc::playlist()
{
    const QString trackList = QStringLiteral("org.mpris.MediaPlayer2.TrackList");
    auto get = QDBusMessage::createMethodCall(service, QStringLiteral("/org/mpris/MediaPlayer2"),
                                              QStringLiteral("org.freedesktop.DBus.Properties"),
                                              QStringLiteral("Get"));
    get.setArguments({trackList, QStringLiteral("Tracks")});
    QDBusConnection bus = QDBusConnection::sessionBus();
    const auto tracks = qdbus_cast<QList<QDBusObjectPath>>(
        busValue(bus.call(get, QDBus::Block, 3000)).value<QDBusArgument>());
    auto ask = QDBusMessage::createMethodCall(service, QStringLiteral("/org/mpris/MediaPlayer2"),
                                              trackList, QStringLiteral("GetTracksMetadata"));
    ask.setArguments({QVariant::fromValue(tracks)});
    const auto metadata = qdbus_cast<QList<QVariantMap>>(
        busValue(bus.call(ask, QDBus::Block, 3000)).value<QDBusArgument>());
    // In the order of the list, whatever the order of the answer.
    QHash<QString, QString> urls;
    for (const QVariantMap &track : metadata) {
        urls.insert(track.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path(),
                    track.value(QStringLiteral("xesam:url")).toString());
    }
    QStringList songs;
    for (const QDBusObjectPath &track : tracks)
        songs << localPath(urls.value(track.path()));
    return songs;
}

const QString Strawberry::service = QStringLiteral("org.mpris.MediaPlayer2.strawberry");

bool Strawberry::start()
{
    if (!home_.mkpath(QStringLiteral(".")))
        return false;
    QProcessEnvironment env = playerEnvironment(home_);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process_.setProcessEnvironment(env);
    // It tells much of what it does.
    return launch(QStringLiteral("strawberry"), {}, QProcess::SeparateChannels) &&
           waitForBusName(service);
}

Strawberry::~Strawberry()
{
    if (process_.state() != QProcess::Running)
        return;
    signalProcess(process_, SIGCONT);
    const auto quit = QDBusMessage::createMethodCall(
        service, QStringLiteral("/org/mpris/MediaPlayer2"),
        QStringLiteral("org.mpris.MediaPlayer2"), QStringLiteral("Quit"));
    QDBusConnection::sessionBus().call(quit, QDBus::Block, 3000);
    process_.waitForFinished(5000);
}

QStringList Strawberry::playlist()
{
    QProcess sqlite;
    sqlite.start(
        QStringLiteral("sqlite3"),
        {QStringLiteral("-readonly"),
         home_.filePath(QStringLiteral(".local/share/strawberry/strawberry/strawberry.db")),
         QStringLiteral("select url from playlist_items where playlist = 1 order by "
                        "rowid")});
    sqlite.waitForFinished(5000);
    QStringList songs;
    for (const QString &url : QString::fromUtf8(sqlite.readAllStandardOutput())
                                  .split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        songs << localPath(url);
    return songs;
}

// A TCP port of 127.0.0.1 that nobody listens on at the moment.
quint16 freeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&address), length) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

MpdServer::MpdServer(const QString &folder, int idleSeconds, const QString &password)
    : folder_(folder)
{
    folder_.mkpath(QStringLiteral("music"));
    folder_.mkpath(QStringLiteral("playlists"));
    QFile conf(folder_.filePath(QStringLiteral("mpd.conf")));
    if (conf.open(QIODevice::WriteOnly)) {
        const auto line = [&](const char *key, const QString &value) {
            conf.write(QStringLiteral("%1 \"%2\"\n").arg(QLatin1String(key), value).toUtf8());
        };
        line("music_directory", musicFolder());
        line("playlist_directory", folder_.filePath(QStringLiteral("playlists")));
        line("db_file", folder_.filePath(QStringLiteral("database")));
        line("state_file", folder_.filePath(QStringLiteral("state")));
        line("pid_file", folder_.filePath(QStringLiteral("pid")));
        line("log_file", folder_.filePath(QStringLiteral("log")));
        line("log_level", QStringLiteral("verbose"));
        if (idleSeconds > 0)
            line("connection_timeout", QString::number(idleSeconds));
        line("bind_to_address", socketPath());
        if (!password.isEmpty()) {
            port_ = freeLoopbackPort();
            line("bind_to_address", QStringLiteral("127.0.0.1"));
            line("port", QString::number(port_));
            line("password", password + QStringLiteral("@read,add,control,admin"));
            line("default_permissions", QString());
            line("local_permissions", QStringLiteral("read,add,control,admin"));
        }
        line("zeroconf_enabled", QStringLiteral("no"));
        conf.write("audio_output {\n type \"null\"\n name \"null\"\n mixer_type \"software\"\n}\n");
    }
}

QString MpdServer::socketPath() const
{
    return folder_.filePath(QStringLiteral("socket"));
}

QString MpdServer::musicFolder() const
{
    return folder_.filePath(QStringLiteral("music"));
}

QString MpdServer::log() const
{
    QFile file(folder_.filePath(QStringLiteral("log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool MpdServer::start()
{
    QFile::remove(folder_.filePath(QStringLiteral("pid")));
    if (!launch(QStringLiteral("/usr/bin/mpd"),
                {QStringLiteral("--no-daemon"), folder_.filePath(QStringLiteral("mpd.conf"))},
                QProcess::ForwardedChannels))
        return false;
    // MPD creates its socket once it is ready; nothing signals that, so ask until it answers.
    const QByteArray socket = socketPath().toUtf8();
    bool answered = false;
    const bool ended = QTest::qWaitFor(
        [&] {
            if (process_.state() != QProcess::Running)
                return true;
            mpd_connection *probe = mpd_connection_new(socket.constData(), 0, 1000);
            answered = mpd_connection_get_error(probe) == MPD_ERROR_SUCCESS;
            mpd_connection_free(probe);
            return answered;
        },
        15000);
    return ended && answered;
}

bool MpdServer::updateDatabase()
{
    mpd_connection *connection = mpd_connection_new(socketPath().toUtf8().constData(), 0, 15000);
    bool ok = mpd_connection_get_error(connection) == MPD_ERROR_SUCCESS &&
              mpd_run_update(connection, nullptr) > 0;
    // MPD may be scanning already (it does at its first start); wait until no scan
    // runs. An update event that ends a scan between the status and the idle is
    // kept for this client, so the idle returns at once then.
    while (ok) {
        mpd_status *status = mpd_run_status(connection);
        if (!status) {
            ok = false;
            break;
        }
        const bool scanning = mpd_status_get_update_id(status) != 0;
        mpd_status_free(status);
        if (!scanning)
            break;
        ok = mpd_run_idle_mask(connection, MPD_IDLE_UPDATE) != 0;
    }
    mpd_connection_free(connection);
    return ok;
}

void MpdServer::kill()
{
    if (observer_) {
        mpd_connection_free(observer_);
        observer_ = nullptr;
    }
    PeerProcess::kill();
}

bool MpdServer::reset()
{
    mpd_connection *c = observer();
    return mpd_run_stop(c) && mpd_run_clear(c) && mpd_run_random(c, false);
}

bool MpdServer::play(const QStringList &songs, int position)
{
    mpd_connection *c = observer();
    if (!mpd_run_clear(c))
        return false;
    for (const QString &song : songs) {
        if (!mpd_run_add(c, song.toUtf8().constData()))
            return false;
    }
    return mpd_run_play_pos(c, unsigned(position));
}

QStringList MpdServer::queue()
{
    mpd_connection *c = observer();
    QStringList uris;
    if (!mpd_send_list_queue_meta(c))
        return {QStringLiteral("<no answer>")};
    while (mpd_song *song = mpd_recv_song(c)) {
        uris << QString::fromUtf8(mpd_song_get_uri(song));
        mpd_song_free(song);
    }
    mpd_response_finish(c);
    return uris;
}

mpd_connection *MpdServer::observer()
{
    if (observer_ && mpd_connection_get_error(observer_) != MPD_ERROR_SUCCESS &&
        !mpd_connection_clear_error(observer_)) {
        mpd_connection_free(observer_);
        observer_ = nullptr;
    }
    if (!observer_)
        observer_ = mpd_connection_new(socketPath().toUtf8().constData(), 0, 5000);
    return observer_;
}

MpdServer::Status MpdServer::readStatus()
{
    mpd_connection *c = mpd_connection_new(socketPath().toUtf8().constData(), 0, 3000);
    mpd_status *status = c ? mpd_run_status(c) : nullptr;
    if (c)
        mpd_connection_free(c);
    return {status, mpd_status_free};
}
