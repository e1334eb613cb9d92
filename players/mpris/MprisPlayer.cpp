// SPDX-License-Identifier: GPL-3.0-or-later
#include "MprisPlayer.h"
#include "core/Logging.h"

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <QVariantMap>
#include <QXmlStreamReader>

#include <algorithm>
#include <utility>

namespace {
constexpr qlonglong kFiveSecondsUs = 5'000'000;

const QString kServicePrefix = QStringLiteral("org.mpris.MediaPlayer2.");
const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kRootInterface = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

const QString kBusService = QStringLiteral("org.freedesktop.DBus");
const QString kBusPath = QStringLiteral("/org/freedesktop/DBus");

QDBusMessage busDaemonCall(const QString &method)
{
    return QDBusMessage::createMethodCall(kBusService, kBusPath, kBusService, method);
}

// A call to the player's own object on the bus.
QDBusMessage playerCall(const QString &service, const QString &interface, const QString &method,
                        const QVariantList &args)
{
    auto message = QDBusMessage::createMethodCall(service, kObjectPath, interface, method);
    message.setArguments(args);
    return message;
}

// Asks for a property of one of the player's interfaces.
QDBusMessage propertyGet(const QString &service, const QString &name,
                         const QString &interface = kPlayerInterface)
{
    return playerCall(service, kPropertiesInterface, QStringLiteral("Get"), {interface, name});
}

QVariant firstArgument(const QDBusMessage &reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().constFirst();
}

// Properties.Get wraps the value in a variant; a{sv} values arrive still marshalled.
QVariant unwrap(const QVariant &value)
{
    const QVariant inner = value.value<QDBusVariant>().variant();
    if (inner.userType() == qMetaTypeId<QDBusArgument>())
        return qdbus_cast<QVariantMap>(inner.value<QDBusArgument>());
    return inner;
}
} // namespace

MprisPlayer::MprisPlayer(const QString &preferredPlayer, const QDBusConnection &bus)
    : PlayerBackend("player"), preferred_(preferredPlayer.trimmed()), bus_(bus)
{
    if (!bus_.isConnected())
        return;
    // Qt's service watcher takes whole names only, so the bus's own signal is
    // followed and sorted here. Watching starts before the one listing, so no
    // player slips through between the two.
    watching_ = bus_.connect(kBusService, kBusPath, kBusService, QStringLiteral("NameOwnerChanged"),
                             this, SLOT(nameOwnerChanged(QString, QString, QString)));
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
        bus_.disconnect(kBusService, kBusPath, kBusService, QStringLiteral("NameOwnerChanged"),
                        this, SLOT(nameOwnerChanged(QString, QString, QString)));
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
// itself is taken to have everything; one whose description lacks the player
// interface (it is still setting up) is asked again when next needed.
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
    Abilities found{false, false};
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
        } else if (inPlayer && xml.name() == u"method" && name == u"OpenUri") {
            found.openUri = true;
        } else if (inPlayer && xml.name() == u"property" && name == u"Shuffle") {
            found.shuffle = true;
        }
    }
    if (sawPlayer)
        abilities_ = found;
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

    if (hasPlayer()) {
        if (!requirePlayer("load"))
            return false;
        if (!abilities().openUri)
            return openWithDesktopEntry(absolutePath);
        return callPlayer(QStringLiteral("OpenUri"),
                          {QUrl::fromLocalFile(absolutePath).toString(QUrl::FullyEncoded)});
    }

    // No player runs: the desktop's default application for playlists starts one.
    // The path is absolute, so the opener never mistakes it for an option.
    if (!QProcess::startDetached(QStringLiteral("xdg-open"), {absolutePath})) {
        warn("load", QStringLiteral("no player runs and xdg-open could not be started"));
        return false;
    }
    return true;
}

// The player's MPRIS DesktopEntry names its desktop file; gio starts that entry
// with the file, as a file manager's "Open With" would, and a player that runs
// already takes the file into its running instance. gio returns at once.
bool MprisPlayer::openWithDesktopEntry(const QString &file)
{
    const auto entry = property(QStringLiteral("DesktopEntry"), "load", kRootInterface);
    if (!entry)
        return false;
    const QString id = entry->toString();
    // A bare name: one with a slash could lead out of the applications folders.
    const QString desktopFile = id.isEmpty() || id.contains(QLatin1Char('/'))
                                    ? QString()
                                    : QStandardPaths::locate(QStandardPaths::ApplicationsLocation,
                                                             id + QStringLiteral(".desktop"));
    if (desktopFile.isEmpty()) {
        warn("load", QStringLiteral("%1 has no OpenUri, and its desktop entry \"%2\" was not found")
                         .arg(service_, id));
        return false;
    }
    // Both paths are absolute, so gio takes neither for an option.
    if (!QProcess::startDetached(QStringLiteral("gio"),
                                 {QStringLiteral("launch"), desktopFile, file})) {
        warn("load", QStringLiteral("gio could not be started (it comes with libglib2.0-bin)"));
        return false;
    }
    return true;
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
