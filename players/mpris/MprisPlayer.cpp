// SPDX-License-Identifier: GPL-3.0-or-later
#include "MprisPlayer.h"
#include "MprisBus.h"
#include "core/Logging.h"

#include <QDBusError>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>
#include <QVariantMap>
#include <QXmlStreamReader>

#include <algorithm>
#include <cerrno>
#include <utility>

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace Mpris;

namespace {
constexpr qlonglong kFiveSecondsUs = 5'000'000;
// How often, and how long after the last time, a player still setting up is
// asked to describe itself again.
constexpr int kDescribeTries = 20;
constexpr int kDescribeAgainMs = 100;

// A player whose list cannot be edited over the bus, but whose own program,
// started again with `options` and a playlist, hands the playlist to the
// running player to replace its list. Known by its MPRIS DesktopEntry.
struct ReplacingLoad
{
    QLatin1String desktopEntry;
    QLatin1String program; // when its desktop entry does not name it
    QLatin1String options[2];

    QStringList arguments(const QString &file) const { return {options[0], options[1], file}; }
};

const ReplacingLoad kReplacingLoads[] = {
    // Strawberry's OpenUri appends. "--load" replaces its list, and "--play"
    // starts the new first song even where an old one plays: "--load" alone
    // would leave that one playing.
    {QLatin1String("org.strawberrymusicplayer.strawberry"),
     QLatin1String("strawberry"),
     {QLatin1String("--load"), QLatin1String("--play")}},
};

const ReplacingLoad *replacingLoad(const QString &desktopEntry)
{
    for (const ReplacingLoad &load : kReplacingLoads) {
        if (desktopEntry == load.desktopEntry)
            return &load;
    }
    return nullptr;
}

// The desktop file of an MPRIS DesktopEntry; "" when there is none. A bare
// name only: one with a slash could lead out of the applications folders.
QString desktopFile(const QString &desktopEntry)
{
    if (desktopEntry.isEmpty() || desktopEntry.contains(QLatin1Char('/')))
        return {};
    return QStandardPaths::locate(QStandardPaths::ApplicationsLocation,
                                  desktopEntry + QStringLiteral(".desktop"));
}

// The program that a desktop file's Exec line starts, without its arguments;
// "" when the file names none.
QString execProgram(const QString &desktopFile)
{
    QFile file(desktopFile);
    if (desktopFile.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression execKey(QStringLiteral("^Exec\\s*=\\s*"));
    bool inEntry = false;
    while (!file.atEnd()) {
        QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
        } else if (const auto match = execKey.match(line); inEntry && match.hasMatch()) {
            line = line.mid(match.capturedLength());
            if (line.startsWith(QLatin1Char('"')))
                return line.section(QLatin1Char('"'), 1, 1);
            return line.section(QLatin1Char(' '), 0, 0);
        }
    }
    return {};
}

// Whether the player answered, if only to say that it has no such thing. A
// player that did not answer in time may still carry the call out later.
bool answered(const QDBusMessage &reply)
{
    if (reply.type() != QDBusMessage::ErrorMessage)
        return true;
    switch (QDBusError(reply).type()) {
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
    case QDBusError::Disconnected:
        return false;
    default:
        return true;
    }
}

// Waits until a process that is not a child of this one has ended, or the
// time is up.
void waitForEnd(qint64 pid, int timeoutMs)
{
    // By its number: glibc 2.36's pidfd_open() is declared for C only.
    const int fd = int(::syscall(SYS_pidfd_open, pid_t(pid), 0));
    if (fd < 0)
        return;
    pollfd ended{fd, POLLIN, 0};
    const QDeadlineTimer deadline(timeoutMs);
    while (::poll(&ended, 1, int(deadline.remainingTime())) < 0 && errno == EINTR) {
    }
    ::close(fd);
}

// The player's program as its desktop entry starts it (the entry may name it
// by its full path), else by the name the table knows. An entry that starts
// it through another program (a sandbox's launcher) is passed by: that one
// would take the player's options for its own.
QString replacingProgram(const QString &desktopEntry, const ReplacingLoad &load)
{
    const QString program = execProgram(desktopFile(desktopEntry));
    if (QFileInfo(program).fileName() == load.program)
        return program;
    return load.program;
}
} // namespace

MprisPlayer::MprisPlayer(const QString &preferredPlayer, const QDBusConnection &bus)
    : PlayerBackend("player"), preferred_(preferredPlayer.trimmed()), bus_(bus)
{
    describeAgain_.setSingleShot(true);
    describeAgain_.setInterval(kDescribeAgainMs);
    connect(&describeAgain_, &QTimer::timeout, this, &MprisPlayer::describeAgain);
    if (!bus_.isConnected())
        return;
    // Qt's service watcher takes whole names only, so the bus's own signal is
    // followed and sorted here. Watching starts before the one listing, so no
    // player slips through between the two.
    watching_ = bus_.connect(kBusService, kBusPath, kBusService, kNameOwnerChanged, this,
                             SLOT(nameOwnerChanged(QString, QString, QString)));
    const QStringList names =
        firstArgument(call(busDaemonCall(QStringLiteral("ListNames")))).toStringList();
    for (const QString &name : names) {
        if (isCandidate(name))
            players_.insert(name);
    }
}

MprisPlayer::~MprisPlayer()
{
    if (watching_)
        bus_.disconnect(kBusService, kBusPath, kBusService, kNameOwnerChanged, this,
                        SLOT(nameOwnerChanged(QString, QString, QString)));
}

QDBusMessage MprisPlayer::call(const QDBusMessage &message)
{
    // Block, not BlockWithGui: nothing else of the program runs inside a player call.
    return bus_.call(message, QDBus::Block, kPlayerTimeoutMs);
}

// A second instance of a player registers as "<name>.instance<pid>".
bool MprisPlayer::isCandidate(const QString &name) const
{
    if (!name.startsWith(kServicePrefix))
        return false;
    if (preferred_.isEmpty())
        return true;
    const QString wanted = kServicePrefix + preferred_;
    return name == wanted || name.startsWith(wanted + QLatin1Char('.'));
}

void MprisPlayer::nameOwnerChanged(const QString &name, const QString &, const QString &newOwner)
{
    if (!isCandidate(name))
        return;
    if (newOwner.isEmpty()) {
        players_.remove(name);
        if (name == service_) {
            service_.clear();
            abilities_.reset();
            desktopEntry_.reset();
        }
    } else {
        players_.insert(name);
    }
    reportRunning(hasPlayer());
}

QString MprisPlayer::playbackStatus(const QString &service)
{
    return unwrap(firstArgument(call(propertyGet(service, QStringLiteral("PlaybackStatus")))))
        .toString();
}

// The choice holds until the chosen player leaves the bus.
QString MprisPlayer::chooseService()
{
    if (!service_.isEmpty() || players_.isEmpty())
        return service_;
    QStringList candidates = players_.values();
    candidates.sort();
    service_ = candidates.constFirst();
    describeTries_ = 0;
    // Asked only when there is a choice: each question may cost a hung player's timeout.
    if (preferred_.isEmpty() && candidates.size() > 1) {
        const auto playing =
            std::find_if(candidates.cbegin(), candidates.cend(), [this](const QString &service) {
                return playbackStatus(service) == QLatin1String("Playing");
            });
        if (playing != candidates.cend())
            service_ = *playing;
    }
    learnAbilities();
    return service_;
}

// The player's own description of its object. A player that cannot describe
// itself is taken to have everything. One whose description lacks the player
// interface has taken its name but is still setting up (Audacious): it is
// asked again when next needed, and in a moment, and then whoever follows the
// player hears of it, as if it had just come.
void MprisPlayer::learnAbilities()
{
    const QDBusMessage reply =
        call(playerCall(service_, QStringLiteral("org.freedesktop.DBus.Introspectable"),
                        QStringLiteral("Introspect"), {}));
    if (reply.type() != QDBusMessage::ReplyMessage) {
        abilities_ = Abilities{};
        return;
    }
    QXmlStreamReader xml(firstArgument(reply).toString());
    Abilities found{false, false, false};
    bool inPlayer = false;
    bool sawPlayer = false;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::EndElement && xml.name() == u"interface")
            inPlayer = false;
        if (token != QXmlStreamReader::StartElement)
            continue;
        const auto name = xml.attributes().value(QLatin1String("name"));
        if (xml.name() == u"interface") {
            inPlayer = name == kPlayerInterface;
            sawPlayer = sawPlayer || inPlayer;
            found.trackList = found.trackList || name == kTrackListInterface;
        } else if (inPlayer && xml.name() == u"method" && name == u"OpenUri") {
            found.openUri = true;
        } else if (inPlayer && xml.name() == u"property" && name == u"Shuffle") {
            found.shuffle = true;
        }
    }
    if (sawPlayer) {
        abilities_ = found;
    } else if (describeTries_ < kDescribeTries && !describeAgain_.isActive()) {
        ++describeTries_;
        describeAgain_.start();
    }
}

void MprisPlayer::describeAgain()
{
    if (service_.isEmpty() || abilities_)
        return;
    learnAbilities();
    if (abilities_)
        reportRunning(hasPlayer());
}

MprisPlayer::Abilities MprisPlayer::abilities()
{
    if (!abilities_)
        learnAbilities();
    return abilities_.value_or(Abilities{});
}

bool MprisPlayer::requirePlayer(const char *what)
{
    if (!bus_.isConnected()) {
        warn(what, QStringLiteral("no session bus (%1)").arg(bus_.lastError().message()));
        return false;
    }
    if (chooseService().isEmpty()) {
        warn(what,
             preferred_.isEmpty()
                 ? QStringLiteral("no MPRIS player on the session bus")
                 : QStringLiteral("MPRIS player \"%1\" is not on the session bus").arg(preferred_));
        return false;
    }
    return true;
}

bool MprisPlayer::requireShuffle(const char *what)
{
    if (!requirePlayer(what))
        return false;
    if (abilities().shuffle)
        return true;
    warn(what, QStringLiteral("%1 has no shuffle").arg(service_));
    return false;
}

bool MprisPlayer::callPlayer(const QString &method, const QVariantList &args)
{
    const QByteArray what = method.toLatin1();
    if (!requirePlayer(what.constData()))
        return false;
    const QDBusMessage reply = call(playerCall(service_, kPlayerInterface, method, args));
    if (reply.type() == QDBusMessage::ErrorMessage) {
        warn(what.constData(), QStringLiteral("%1: %2").arg(service_, reply.errorMessage()));
        return false;
    }
    return true;
}

std::optional<QVariant> MprisPlayer::property(const QString &name, const char *what,
                                              const QString &interface)
{
    if (!requirePlayer(what))
        return std::nullopt;
    const QDBusMessage reply =
        call(propertyGet(service_, name, interface.isEmpty() ? kPlayerInterface : interface));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        warn(what, QStringLiteral("%1: reading %2: %3").arg(service_, name, reply.errorMessage()));
        return std::nullopt;
    }
    return unwrap(reply.arguments().constFirst());
}

bool MprisPlayer::setProperty(const QString &name, const QVariant &value, const char *what)
{
    if (!requirePlayer(what))
        return false;
    const QDBusMessage reply =
        call(playerCall(service_, kPropertiesInterface, QStringLiteral("Set"),
                        {kPlayerInterface, name, QVariant::fromValue(QDBusVariant(value))}));
    if (reply.type() == QDBusMessage::ErrorMessage) {
        warn(what, QStringLiteral("%1: setting %2: %3").arg(service_, name, reply.errorMessage()));
        return false;
    }
    return true;
}

bool MprisPlayer::findPlayer()
{
    if (!bus_.isConnected()) {
        warn("search", QStringLiteral("no session bus (%1)").arg(bus_.lastError().message()));
        return false;
    }
    return !chooseService().isEmpty();
}

bool MprisPlayer::prepareLoad()
{
    return callPlayer(QStringLiteral("Stop"));
}

bool MprisPlayer::loadPlaylistFile(const QFileInfo &file)
{
    const QString absolutePath = file.absoluteFilePath();

    if (hasPlayer())
        return requirePlayer("load") && replaceList(absolutePath);

    // No player runs: the desktop's default application for playlists starts one.
    return handOver(QStringLiteral("xdg-open"), {absolutePath});
}

// OpenUri adds the playlist to the player's list on some players (VLC,
// Strawberry), so the list is replaced by the first way the player offers:
// its list emptied over the bus, its own replacing load, OpenUri, or, without
// OpenUri, its desktop entry. None of them needs the player stopped first.
// A player that did not answer in time may still carry out the calls it was
// sent: no way that might add to its list is tried then.
bool MprisPlayer::replaceList(const QString &file)
{
    const std::optional<bool> editable = canEditTracks();
    if (editable && *editable)
        return emptyTrackList() && openUri(file);
    const std::optional<QString> entry = editable ? desktopEntry() : std::nullopt;
    if (!entry) {
        warn("load",
             QStringLiteral("%1: no answer within %2 ms").arg(service_).arg(kPlayerTimeoutMs));
        return false;
    }
    if (const ReplacingLoad *load = replacingLoad(*entry))
        return replaceByProgram(replacingProgram(*entry, *load), load->arguments(file));
    if (abilities().openUri)
        return openUri(file);
    return openWithDesktopEntry(*entry, file);
}

// Asked at each load, as MPRIS lets it change. HasTrackList cannot tell: VLC
// says false and has an editable list. Nothing when the player did not answer.
std::optional<bool> MprisPlayer::canEditTracks()
{
    if (!abilities().trackList)
        return false;
    const QDBusMessage reply =
        call(propertyGet(service_, QStringLiteral("CanEditTracks"), kTrackListInterface));
    if (!answered(reply))
        return std::nullopt;
    return unwrap(firstArgument(reply)).toBool();
}

// A track that left the list meanwhile (the player moved on) is no failure;
// anything else stops the emptying, so a player that hangs costs one timeout.
bool MprisPlayer::emptyTrackList()
{
    const auto tracks = property(QStringLiteral("Tracks"), "load", kTrackListInterface);
    if (!tracks)
        return false;
    for (const QDBusObjectPath &track : tracks->value<QList<QDBusObjectPath>>()) {
        const QDBusMessage reply =
            call(playerCall(service_, kTrackListInterface, QStringLiteral("RemoveTrack"),
                            {QVariant::fromValue(track)}));
        if (reply.type() == QDBusMessage::ErrorMessage &&
            reply.errorName() != QLatin1String("org.freedesktop.DBus.Error.UnknownObject")) {
            warn("load",
                 QStringLiteral("%1: emptying its list: %2").arg(service_, reply.errorMessage()));
            return false;
        }
    }
    return true;
}

bool MprisPlayer::openUri(const QString &file)
{
    return callPlayer(QStringLiteral("OpenUri"),
                      {QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded)});
}

// Kept once the player told it; "" for a player that has none (it is optional
// in MPRIS). Nothing when the player did not answer: it is asked again next time.
std::optional<QString> MprisPlayer::desktopEntry()
{
    if (!desktopEntry_) {
        const QDBusMessage reply =
            call(propertyGet(service_, QStringLiteral("DesktopEntry"), kRootInterface));
        if (answered(reply))
            desktopEntry_ = unwrap(firstArgument(reply)).toString();
    }
    return desktopEntry_;
}

// The program hands the file over to a player, or starts one, and ends; it is
// started directly, with no shell between, as this program's own user. The
// file's path is absolute, so the program never mistakes it for an option.
bool MprisPlayer::handOver(const QString &program, const QStringList &arguments, qint64 *pid)
{
    if (QProcess::startDetached(program, arguments, QString(), pid))
        return true;
    warn("load", QStringLiteral("%1 could not be started").arg(program));
    return false;
}

// The play that follows a playlist key would start the old list's song while
// the program is still handing the new list over (Strawberry takes a few
// tenths of a second): it is given that long, as long as a player call may
// take at most.
bool MprisPlayer::replaceByProgram(const QString &program, const QStringList &arguments)
{
    qint64 pid = 0;
    if (!handOver(program, arguments, &pid))
        return false;
    waitForEnd(pid, kPlayerTimeoutMs);
    return true;
}

// The player's desktop entry started with the file, as a file manager's "Open
// With" would, and a player that runs already takes the file into its running
// instance. gio returns at once.
bool MprisPlayer::openWithDesktopEntry(const QString &id, const QString &file)
{
    const QString entryFile = desktopFile(id);
    if (entryFile.isEmpty()) {
        warn("load", QStringLiteral("%1 has no OpenUri, and its desktop entry \"%2\" was not found")
                         .arg(service_, id));
        return false;
    }
    // Both paths are absolute, so gio takes neither for an option.
    return handOver(QStringLiteral("gio"), {QStringLiteral("launch"), entryFile, file});
}

// MPRIS has Play do nothing while the player plays, but some players
// (Strawberry) start the song again: a player that plays is left alone.
bool MprisPlayer::play()
{
    if (!requirePlayer("Play"))
        return false;
    const QString status = playbackStatus(service_);
    if (status.isEmpty()) {
        warn("Play", QStringLiteral("%1 did not tell whether it plays").arg(service_));
        return false;
    }
    return status == QLatin1String("Playing") || callPlayer(QStringLiteral("Play"));
}

// The remote has no resume key, so the pause key toggles.
bool MprisPlayer::pause()
{
    return callPlayer(QStringLiteral("PlayPause"));
}

bool MprisPlayer::back5Seconds()
{
    return callPlayer(QStringLiteral("Seek"), {QVariant::fromValue(-kFiveSecondsUs)});
}

bool MprisPlayer::previousTrack()
{
    return callPlayer(QStringLiteral("Previous"));
}

bool MprisPlayer::nextTrack()
{
    return callPlayer(QStringLiteral("Next"));
}

std::optional<QString> MprisPlayer::getCurrentSong()
{
    const auto metadata = property(QStringLiteral("Metadata"), "current song");
    if (!metadata)
        return std::nullopt;
    const QString url = metadata->toMap().value(QStringLiteral("xesam:url")).toString();
    const QUrl parsed(url);
    return parsed.isLocalFile() ? QDir::cleanPath(parsed.toLocalFile()) : url;
}

std::optional<QString> MprisPlayer::getCurrentTitle()
{
    const auto metadata = property(QStringLiteral("Metadata"), "current title");
    if (!metadata)
        return std::nullopt;
    return metadata->toMap().value(QStringLiteral("xesam:title")).toString();
}

// Without a player nothing is known, and nothing says otherwise.
bool MprisPlayer::hasShuffle()
{
    return chooseService().isEmpty() || abilities().shuffle;
}

std::optional<bool> MprisPlayer::getShuffle()
{
    if (!requireShuffle("shuffle query"))
        return std::nullopt;
    const auto value = property(QStringLiteral("Shuffle"), "shuffle query");
    if (!value)
        return std::nullopt;
    return value->toBool();
}

bool MprisPlayer::toggleShuffle()
{
    if (!requireShuffle("shuffle switch"))
        return false;
    const auto value = property(QStringLiteral("Shuffle"), "shuffle switch");
    if (!value)
        return false;
    return setProperty(QStringLiteral("Shuffle"), !value->toBool(), "shuffle switch");
}

bool MprisPlayer::setVolumeLevel(int level)
{
    return setProperty(QStringLiteral("Volume"), level / 255.0, "volume");
}
