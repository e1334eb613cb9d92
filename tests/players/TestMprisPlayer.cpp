// SPDX-License-Identifier: GPL-3.0-or-later
// MprisPlayer against mpv with its MPRIS plugin, Audacious, VLC, Strawberry,
// and a small player of the tests' own, all on a private session bus that the
// test starts. The plain keys against mpv are driven end to end by
// TestRemoteToPlayers.

#include "FakeMprisPlayer.h"
#include "PlayerPeers.h"
#include "SessionIdle.h"
#include "players/PlayerFactory.h"
#include "players/mpris/MprisPlayer.h"

#include "MemorySettingsStore.h"
#include "RecordingView.h"
#include "core/PlayerSession.h"
#include "core/RemoteControl.h"
#include "core/Settings.h"
#include "core/SettingsModel.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <csignal>

namespace {
const QString playerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString objectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString fakeName = QStringLiteral("kavelotest");

// The test's own view of a player, straight over the bus.
QVariant busProperty(const QString &service, const QString &name)
{
    auto message = QDBusMessage::createMethodCall(service, objectPath,
                                                  QStringLiteral("org.freedesktop.DBus.Properties"),
                                                  QStringLiteral("Get"));
    message.setArguments({playerInterface, name});
    const QDBusMessage reply = QDBusConnection::sessionBus().call(message, QDBus::Block, 3000);
    if (reply.arguments().isEmpty())
        return {};
    return reply.arguments().constFirst().value<QDBusVariant>().variant();
}

// The song the player says it plays, by its local path.
QString playingSong(const QString &service)
{
    const auto metadata = qdbus_cast<QVariantMap>(
        busProperty(service, QStringLiteral("Metadata")).value<QDBusArgument>());
    return QUrl(metadata.value(QStringLiteral("xesam:url")).toString()).toLocalFile();
}

bool busCall(const QString &service, const QString &method)
{
    const auto message =
        QDBusMessage::createMethodCall(service, objectPath, playerInterface, method);
    return QDBusConnection::sessionBus().call(message, QDBus::Block, 3000).type() ==
           QDBusMessage::ReplyMessage;
}

// The calls the monitor saw on `connection`, which is then closed; empty when
// it did not see them all.
QStringList callsUntilClosed(BusMonitor &monitor, QDBusConnection &connection)
{
    // A last call of the test's own on the same connection: once the monitor
    // shows it, it has shown every call before it.
    connection.call(QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetId")));
    QDBusConnection::disconnectFromBus(connection.name());
    if (!QTest::qWaitFor([&] { return monitor.calls().contains(QStringLiteral("GetId")); }))
        return {};
    return monitor.calls();
}
} // namespace

class TestMprisPlayer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void setVolume_data();
    void setVolume();
    void frozenPlayerCostsAtMostTheTimeout();

    void playLeavesAPlayingPlayerAlone_data();
    void playLeavesAPlayingPlayerAlone();
    void shuffle_data();
    void shuffle();
    void currentSong_data();
    void currentSong();
    void choosesThePlayer_data();
    void choosesThePlayer();

    void withoutAPlayerTheDesktopOpensThePlaylist();
    void loadRefusesWhatIsNoPlaylist_data();
    void loadRefusesWhatIsNoPlaylist();

    void mpvIsFollowedWithoutAskingTheBus();
    void automaticChoiceFollowsWhicheverPlayerRuns();
    void audaciousWithoutOpenUriOrShuffle();
    void aSecondPlaylistReplacesTheFirst_data();
    void aSecondPlaylistReplacesTheFirst();
    void aPlayerFrozenDuringALoadIsSentNoOpenUri_data();
    void aPlayerFrozenDuringALoadIsSentNoOpenUri();

private:
    QString path(const QString &name) const { return dir_.filePath(name); }
    void startMpv();
    void takeBusNews();
    void loadAndPlay(PlayerControl &player);

    QTemporaryDir dir_;
    SessionBus bus_;
    Mpv mpv_{dir_.filePath(QStringLiteral("mpv-control"))};
    QString playlist_;
};

void TestMprisPlayer::initTestCase()
{
    QVERIFY(dir_.isValid());
    // VLC, which will not run as root, reads the songs as another user.
    QVERIFY(QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                   QFile::ExeOwner | QFile::ReadOther |
                                                   QFile::ExeOther));
    // Strawberry leaves the cover of each song it played in the temporary
    // folder, and finds its running instance by a socket there: the test's own
    // folder, for it and for the program it hands a playlist to.
    qputenv("TMPDIR", QFile::encodeName(dir_.path()));
    // Before anything touches the session bus: this test has its own.
    QVERIFY2(bus_.start(SessionBus::Users::Any), "dbus-daemon did not start");
    QVERIFY2(!Mpv::mprisPlugin().isEmpty(), "the mpv-mpris plugin is not installed");

    QVERIFY(writeWav(path(QStringLiteral("a b.wav")), 20));
    QVERIFY(writeWav(path(QStringLiteral("b.wav")), 20));
    playlist_ = path(QStringLiteral("my list.m3u"));
    QVERIFY(
        writeFile(playlist_, "#EXTM3U\n" + path(QStringLiteral("a b.wav")).toUtf8() + "\nb.wav\n"));

    startMpv();
}

void TestMprisPlayer::startMpv()
{
    QVERIFY(mpv_.start());
    takeBusNews();
}

// The bus tells of a player coming or going before it answers a question
// about it: once the test has seen the change, the news waits in this
// thread's queue for the players that live here.
void TestMprisPlayer::takeBusNews()
{
    QCoreApplication::processEvents();
}

// What a playlist key does: stop, load, play; then wait until the list is in.
void TestMprisPlayer::loadAndPlay(PlayerControl &player)
{
    QVERIFY(player.prepareLoad());
    QTRY_COMPARE(mpv_.state(), QStringLiteral("Stopped"));
    QVERIFY(player.loadPlaylist(playlist_));
    // mpv reads the list and opens its songs one after the other, both in
    // before next; a busy machine may hold it up for seconds.
    QTRY_COMPARE_WITH_TIMEOUT(mpv_.property(QStringLiteral("path")).toString(),
                              path(QStringLiteral("a b.wav")), 15000);
    QTRY_COMPARE_WITH_TIMEOUT(mpv_.property(QStringLiteral("playlist-count")).toInt(), 2, 15000);
    QVERIFY(player.play());
    QTRY_COMPARE(mpv_.state(), QStringLiteral("Playing"));
}

void TestMprisPlayer::setVolume_data()
{
    QTest::addColumn<qint16>("level");
    QTest::addColumn<double>("volume");
    QTest::newRow("above 255 stays at full") << qint16(300) << 1.0;
    QTest::newRow("below 0 stays silent") << qint16(-5) << 0.0;
}

void TestMprisPlayer::setVolume()
{
    QFETCH(qint16, level);
    QFETCH(double, volume);
    MprisPlayer player;
    QVERIFY(player.setVolume(level));
    QTRY_VERIFY2(qAbs(busProperty(Mpv::service, QStringLiteral("Volume")).toDouble() - volume) <
                     0.002,
                 qPrintable(busProperty(Mpv::service, QStringLiteral("Volume")).toString()));
}

void TestMprisPlayer::frozenPlayerCostsAtMostTheTimeout()
{
    MprisPlayer player;
    // Chosen, and its interface read, while it answers: the session does that
    // when it starts or when the player comes.
    QVERIFY(player.findPlayer());
    signalProcess(mpv_.process(), SIGSTOP);
    QElapsedTimer clock;
    clock.start();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^player Play failed: ")));
    const bool played = player.play();
    const qint64 elapsed = clock.elapsed();
    signalProcess(mpv_.process(), SIGCONT);

    QVERIFY(!played);
    QVERIFY2(elapsed < 900, qPrintable(QStringLiteral("play took %1 ms").arg(elapsed)));
    QVERIFY(player.play());
}

void TestMprisPlayer::playLeavesAPlayingPlayerAlone_data()
{
    QTest::addColumn<QString>("status");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("playing") << "Playing" << QStringList();
    QTest::newRow("paused") << "Paused" << QStringList{"Play"};
    QTest::newRow("stopped") << "Stopped" << QStringList{"Play"};
}

void TestMprisPlayer::playLeavesAPlayingPlayerAlone()
{
    QFETCH(QString, status);
    QFETCH(QStringList, calls);
    FakeMprisPlayer fake(bus_.address(), fakeName,
                         [&](FakePlayerState &state) { state.playbackStatus = status; });
    QVERIFY(MprisPlayer(fakeName).play());
    QCOMPARE(fake.calls(), calls);
}

void TestMprisPlayer::shuffle_data()
{
    QTest::addColumn<bool>("before");
    QTest::newRow("shuffle off") << false;
    QTest::newRow("shuffle on") << true;
}

void TestMprisPlayer::shuffle()
{
    QFETCH(bool, before);
    FakeMprisPlayer fake(bus_.address(), fakeName,
                         [&](FakePlayerState &state) { state.shuffle = before; });
    MprisPlayer player(fakeName);

    QCOMPARE(player.getShuffle(), std::optional(before));
    QVERIFY(player.toggleShuffle());
    QCOMPARE(fake.with([](FakePlayerState &state) { return state.shuffle; }), !before);
    QCOMPARE(player.getShuffle(), std::optional(!before));
}

void TestMprisPlayer::currentSong_data()
{
    QTest::addColumn<QVariantMap>("metadata");
    QTest::addColumn<QString>("expected");
    const auto url = [](const char *text) {
        return QVariantMap{
            {QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath("/track/1"))},
            {QStringLiteral("xesam:url"), QString::fromUtf8(text)}};
    };
    QTest::newRow("local file") << url("file:///music/one.mp3") << "/music/one.mp3";
    QTest::newRow("escaped space and UTF-8")
        << url("file:///music/Zo%C3%AB%20two.mp3") << QStringLiteral("/music/Zoë two.mp3");
    QTest::newRow("dot segments") << url("file:///music/../music/./three.mp3")
                                  << "/music/three.mp3";
    QTest::newRow("a stream stays a URL")
        << url("http://radio.example/live?x=1") << "http://radio.example/live?x=1";
    QTest::newRow("no URL") << QVariantMap{{QStringLiteral("xesam:title"), QStringLiteral("t")}}
                            << QString();
    QTest::newRow("no track") << QVariantMap{} << QString();
}

void TestMprisPlayer::currentSong()
{
    QFETCH(QVariantMap, metadata);
    QFETCH(QString, expected);
    FakeMprisPlayer fake(bus_.address(), fakeName,
                         [&](FakePlayerState &state) { state.metadata = metadata; });
    QCOMPARE(MprisPlayer(fakeName).getCurrentSong(), std::optional(expected));
}

void TestMprisPlayer::choosesThePlayer_data()
{
    QTest::addColumn<QString>("preferred");
    QTest::addColumn<bool>("mpvPlays");
    QTest::addColumn<QString>("fakeStatus");
    QTest::addColumn<QString>("chosen");

    const QString fake = QStringLiteral("org.mpris.MediaPlayer2.kavelotest");
    QTest::newRow("the preferred one, though another plays")
        << "kavelotest" << true << "Paused" << fake;
    QTest::newRow("the playing one: the test player") << "" << false << "Playing" << fake;
    QTest::newRow("the playing one: mpv") << "" << true << "Paused" << Mpv::service;
    QTest::newRow("none plays: the first found") << "" << false << "Stopped" << fake;
    QTest::newRow("the preferred one is not running") << "vlc" << true << "Playing" << QString();
}

void TestMprisPlayer::choosesThePlayer()
{
    QFETCH(QString, preferred);
    QFETCH(bool, mpvPlays);
    QFETCH(QString, fakeStatus);
    QFETCH(QString, chosen);

    MprisPlayer mpv(QStringLiteral("mpv"));
    loadAndPlay(mpv);
    // A pause and a play make mpv's plugin report its state again (see Mpv::state).
    QVERIFY(busCall(Mpv::service, QStringLiteral("Pause")));
    QTRY_COMPARE(mpv_.state(), QStringLiteral("Paused"));
    if (mpvPlays)
        QVERIFY(busCall(Mpv::service, QStringLiteral("Play")));
    QTRY_COMPARE(busProperty(Mpv::service, QStringLiteral("PlaybackStatus")).toString(),
                 mpvPlays ? QStringLiteral("Playing") : QStringLiteral("Paused"));
    FakeMprisPlayer fake(bus_.address(), fakeName,
                         [&](FakePlayerState &state) { state.playbackStatus = fakeStatus; });

    MprisPlayer player(preferred);
    QCOMPARE(player.findPlayer(), !chosen.isEmpty());
    QCOMPARE(player.serviceName(), chosen);
    if (chosen == fake.service()) {
        QVERIFY(player.nextTrack());
        QCOMPARE(fake.calls(), QStringList{QStringLiteral("Next")});
    }
}

void TestMprisPlayer::withoutAPlayerTheDesktopOpensThePlaylist()
{
    // A stand-in for the desktop's opener records what it was asked to open.
    QVERIFY(QDir().mkpath(path(QStringLiteral("bin"))));
    const QString opened = path(QStringLiteral("opened"));
    const QString opener = path(QStringLiteral("bin/xdg-open"));
    QVERIFY(writeFile(opener, "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > '" + opened.toUtf8() +
                                  ".part'\nmv '" + opened.toUtf8() + ".part' '" + opened.toUtf8() +
                                  "'\n"));
    QVERIFY(QFile::setPermissions(opener, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QByteArray pathBefore = qgetenv("PATH");
    qputenv("PATH", path(QStringLiteral("bin")).toUtf8() + ":" + pathBefore);

    MprisPlayer player(QStringLiteral("notrunning"));
    const bool loaded = player.loadPlaylist(playlist_);
    qputenv("PATH", pathBefore);
    QVERIFY(loaded);
    QTRY_VERIFY(QFile::exists(opened));
    QFile record(opened);
    QVERIFY(record.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(record.readAll()),
             QStringLiteral("1\n") + playlist_ + QLatin1Char('\n'));
}

void TestMprisPlayer::loadRefusesWhatIsNoPlaylist_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("no playlist assigned") << QString();
    QTest::newRow("file that does not exist") << path(QStringLiteral("nothing.m3u"));
    QTest::newRow("a folder") << dir_.path();
}

// What a playlist key stops stays stopped when there is nothing to load: no song.
void TestMprisPlayer::loadRefusesWhatIsNoPlaylist()
{
    QFETCH(QString, file);
    MprisPlayer player;
    loadAndPlay(player);
    QVERIFY(player.prepareLoad());
    QTRY_COMPARE(mpv_.state(), QStringLiteral("Stopped"));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^player load failed")));
    QVERIFY(!player.loadPlaylist(file));
    // The plugin tells of the stop a moment after mpv itself.
    QTRY_COMPARE(player.getCurrentSong().value_or(QStringLiteral("failed")), QString());
}

// mpv quits and comes back: the session follows it by the bus's news alone,
// and a playlist key then costs the three calls it needs and nothing else.
void TestMprisPlayer::mpvIsFollowedWithoutAskingTheBus()
{
    const QString name = QStringLiteral("kavelo-under-test");
    QDBusConnection connection = QDBusConnection::connectToBus(bus_.address(), name);
    BusMonitor monitor;
    QVERIFY(monitor.start(bus_.address(), connection.baseService()));
    {
        PlayerSession session(
            [&] { return std::make_unique<MprisPlayer>(QStringLiteral("mpv"), connection); });
        QVERIFY(session.running());
        QVERIFY(session.hasShuffle());
        MemorySettingsStore store;
        store.setValue(Keys::playlist(3), playlist_);
        SettingsModel settings(store);
        RecordingView view;
        RemoteControl remote(settings, view, session);

        mpv_.kill();
        QTRY_VERIFY(!session.running());
        startMpv();
        QTRY_VERIFY(session.running());

        remote.dispatch(onKey(2));
        QTRY_COMPARE(mpv_.property(QStringLiteral("path")).toString(),
                     path(QStringLiteral("a b.wav")));
        QTRY_COMPARE(mpv_.state(), QStringLiteral("Playing"));
        QVERIFY(waitForIdle(session, 5000));
    }
    QStringList calls = callsUntilClosed(monitor, connection);
    QCOMPARE(calls.count(QStringLiteral("ListNames")), 1);
    // From the listing to the session's end, when it stops watching the bus.
    calls = calls.mid(calls.indexOf(QStringLiteral("ListNames")) + 1);
    calls = calls.mid(0, calls.indexOf(QStringLiteral("RemoveMatch")));
    // Its interface is read once each time it is chosen: at the start, and when
    // it came back. The load asks its desktop entry, which has no replacing load
    // of its own. Play asks first whether it plays already: mpv may have
    // started the list by then.
    const QStringList load{"Introspect", "Introspect", "Stop", "Get", "OpenUri", "Get"};
    QVERIFY2(calls == load || calls == load + QStringList{"Play"}, qPrintable(calls.join(' ')));
}

void TestMprisPlayer::automaticChoiceFollowsWhicheverPlayerRuns()
{
    QTemporaryDir mpdFolder;
    MpdServer mpd(mpdFolder.path());
    QVERIFY(writeWav(mpd.musicFolder() + QStringLiteral("/m.wav"), 20));
    QVERIFY(mpd.start());
    QVERIFY(mpd.updateDatabase());
    const QString mpdList = mpdFolder.filePath(QStringLiteral("mpd.m3u"));
    QVERIFY(writeFile(mpdList, "m.wav\n"));

    MemorySettingsStore store;
    store.setValue(Keys::mpdHost, mpd.socketPath());
    const auto player = createPlayer(SettingsModel(store).playerChoice());

    // mpv runs: the remote drives it, MPD is left alone.
    loadAndPlay(*player);
    QVERIFY(player->pause());
    QTRY_COMPARE(mpv_.state(), QStringLiteral("Paused"));
    QCOMPARE(mpd.state(), MPD_STATE_STOP);

    // mpv quits: the same player object turns to MPD.
    mpv_.kill();
    QTRY_VERIFY(!onBus(Mpv::service));
    takeBusNews();
    QVERIFY(player->findPlayer());
    QVERIFY(player->loadPlaylist(mpdList));
    QVERIFY(player->play());
    QCOMPARE(mpd.state(), MPD_STATE_PLAY);
    QCOMPARE(player->getCurrentSong(), std::optional(mpd.musicFolder() + QStringLiteral("/m.wav")));

    // mpv starts again: it is found without a new player object.
    startMpv();
    loadAndPlay(*player);
}

// Audacious has neither OpenUri nor Shuffle. It comes after the session
// started, which learns then what it offers; the keys go through the whole
// path, from dispatch to the player.
void TestMprisPlayer::audaciousWithoutOpenUriOrShuffle()
{
    if (!installed(QStringLiteral("audacious")))
        QSKIP("audacious is not installed");
    PlayerSession session(
        [] { return std::make_unique<MprisPlayer>(QStringLiteral("audacious")); });
    QVERIFY(!session.running());
    MemorySettingsStore store;
    store.setValue(Keys::playlist(1), playlist_);
    SettingsModel settings(store);
    RecordingView view;
    RemoteControl remote(settings, view, session);

    Audacious audacious(path(QStringLiteral("audacious-home")));
    QVERIFY(audacious.start());
    QTRY_VERIFY(session.running());
    QTRY_VERIFY(!session.hasShuffle());
    const auto url = [] { return playingSong(Audacious::service); };
    const auto status = [] {
        return busProperty(Audacious::service, QStringLiteral("PlaybackStatus")).toString();
    };

    remote.dispatch(Command::FirstPlaylist);
    QTRY_COMPARE_WITH_TIMEOUT(url(), path(QStringLiteral("a b.wav")), 10000);
    QTRY_COMPARE(status(), QStringLiteral("Playing"));
    remote.dispatch(Command::Advance);
    QTRY_COMPARE(url(), path(QStringLiteral("b.wav")));
    remote.dispatch(Command::Previous);
    QTRY_COMPARE(url(), path(QStringLiteral("a b.wav")));
    remote.dispatch(Command::Pause);
    QTRY_COMPARE(status(), QStringLiteral("Paused"));
    remote.dispatch(Command::ThumbsUp);
    QTRY_COMPARE(view.thumbsUp, QStringList{path(QStringLiteral("a b.wav"))});
    // Audacious names an untagged song after its file.
    MprisPlayer direct(QStringLiteral("audacious"));
    QCOMPARE(direct.getCurrentTitle(), std::optional(QStringLiteral("a b")));
    remote.dispatch(Command::ShuffleOn);
    QCOMPARE(view.commandText, QStringLiteral("player has no shuffle"));
    QTRY_COMPARE(status(), QStringLiteral("Playing"));
}

void TestMprisPlayer::aSecondPlaylistReplacesTheFirst_data()
{
    QTest::addColumn<QString>("player");
    QTest::addColumn<int>("afterPrevious"); // the song of the second list that "previous" plays
    // VLC empties its list over the bus first, Strawberry has its own program
    // load the list, Audacious its desktop entry, and mpv replaces on OpenUri.
    // VLC goes round from the first song to the last.
    QTest::newRow("vlc") << "vlc" << 1;
    QTest::newRow("strawberry") << "strawberry" << 0;
    QTest::newRow("audacious") << "audacious" << 0;
    QTest::newRow("mpv") << "mpv" << 0;
}

// Two playlist keys, one after the other: the player's list holds only the
// second playlist's songs, and "previous" on its first song stays in it.
void TestMprisPlayer::aSecondPlaylistReplacesTheFirst()
{
    QFETCH(QString, player);
    QFETCH(int, afterPrevious);
    if (!installed(player))
        QSKIP("the player is not installed");
    std::unique_ptr<MprisPeer> started;
    const QString home = path(player + QStringLiteral("-replacing-home"));
    if (player == QLatin1String("vlc"))
        started = std::make_unique<Vlc>(home);
    else if (player == QLatin1String("strawberry"))
        started = std::make_unique<Strawberry>(home);
    else if (player == QLatin1String("audacious"))
        started = std::make_unique<Audacious>(home);
    MprisPeer &peer = started ? *started : mpv_;
    if (started)
        QVERIFY(started->start());
    takeBusNews();
    const QString service = QStringLiteral("org.mpris.MediaPlayer2.") + player;

    QStringList lists[2];
    for (int list = 0; list < 2; ++list) {
        const QString name = list == 0 ? QStringLiteral("one") : QStringLiteral("two");
        for (int song = 1; song <= 4 - 2 * list; ++song) {
            lists[list] << path(QStringLiteral("%1-%2.wav").arg(name).arg(song));
            QVERIFY(writeWav(lists[list].constLast(), 20));
        }
        QVERIFY(writeFile(path(name + QStringLiteral(".m3u")),
                          "#EXTM3U\n" + lists[list].join(QLatin1Char('\n')).toUtf8() + '\n'));
    }

    MprisPlayer kavelo(player);
    for (int list = 0; list < 2; ++list) {
        // A playlist key, as the remote sends it to a player that runs: a stop
        // or a play the player does not answer in time is skipped (Audacious,
        // busy taking the list, may not answer the play).
        QVERIFY(kavelo.findPlayer());
        kavelo.prepareLoad();
        QVERIFY(kavelo.loadPlaylist(path(list == 0 ? "one.m3u" : "two.m3u")));
        kavelo.play();
        QTRY_COMPARE_WITH_TIMEOUT(peer.playlist(), lists[list], 10000);
        QTRY_COMPARE_WITH_TIMEOUT(playingSong(service), lists[list].constFirst(), 10000);
    }
    QVERIFY(kavelo.previousTrack());
    QTRY_COMPARE(playingSong(service), lists[1].at(afterPrevious));
    QCOMPARE(peer.playlist(), lists[1]);
}

void TestMprisPlayer::aPlayerFrozenDuringALoadIsSentNoOpenUri_data()
{
    QTest::addColumn<QString>("player");
    // OpenUri adds to the list of both.
    QTest::newRow("vlc") << "vlc";
    QTest::newRow("strawberry") << "strawberry";
}

// A player that does not answer in time may still carry out what it was sent
// once it wakes: a playlist key then sends it no OpenUri, which would add the
// playlist to its old list.
void TestMprisPlayer::aPlayerFrozenDuringALoadIsSentNoOpenUri()
{
    QFETCH(QString, player);
    if (!installed(player))
        QSKIP("the player is not installed");
    const QString home = path(player + QStringLiteral("-frozen-home"));
    std::unique_ptr<MprisPeer> peer;
    if (player == QLatin1String("vlc"))
        peer = std::make_unique<Vlc>(home);
    else
        peer = std::make_unique<Strawberry>(home);
    QVERIFY(peer->start());
    const QString name = QStringLiteral("kavelo-frozen-") + player;
    QDBusConnection connection = QDBusConnection::connectToBus(bus_.address(), name);
    BusMonitor monitor;
    QVERIFY(monitor.start(bus_.address(), connection.baseService()));
    {
        MprisPlayer kavelo(player, connection);
        // Chosen, and its interface read, while it answers.
        QVERIFY(kavelo.findPlayer());
        signalProcess(peer->process(), SIGSTOP);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("^player load failed: ")));
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        const bool loaded = kavelo.loadPlaylist(playlist_);
        signalProcess(peer->process(), SIGCONT);
        QVERIFY(!loaded);
    }
    const QStringList calls = callsUntilClosed(monitor, connection);
    QVERIFY2(!calls.isEmpty() && !calls.contains(QStringLiteral("OpenUri")),
             qPrintable(calls.join(QLatin1Char(' '))));
}

QTEST_GUILESS_MAIN(TestMprisPlayer)
#include "TestMprisPlayer.moc"
