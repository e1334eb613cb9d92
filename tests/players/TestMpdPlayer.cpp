// MpdPlayer against a real MPD that the test starts on a socket of its own,
// and over TCP, where MPD wants a password.

#include "PlayerPeers.h"
#include "core/PlayerSession.h"
#include "platform/MpdPlayer.h"
#include "platform/PlayerFactory.h"

#include "MemorySettingsStore.h"
#include "core/PlaylistWriter.h"
#include "core/Settings.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <mpd/client.h>

#include <csignal>

namespace {
// Runs one call on the session's thread and waits for its result.
bool onSession(PlayerSession &session, const std::function<bool(PlayerControl &)> &call)
{
    bool result = false;
    session.post([&](PlayerControl &player) { result = call(player); });
    return session.waitForIdle(5000) && result;
}

// MPD's volume, asked over a connection of the test's own.
int volumeOf(const MpdServer &mpd)
{
    mpd_connection *c = mpd_connection_new(mpd.socketPath().toUtf8().constData(), 0, 3000);
    mpd_status *status = c ? mpd_run_status(c) : nullptr;
    const int volume = status ? mpd_status_get_volume(status) : -2;
    if (status)
        mpd_status_free(status);
    if (c)
        mpd_connection_free(c);
    return volume;
}

struct Observed
{
    mpd_state state = MPD_STATE_UNKNOWN;
    int songPosition = -1;
    unsigned elapsedMs = 0;
    bool random = false;
    int volume = -1;
};
} // namespace

class TestMpdPlayer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void loadPlaylist_data();
    void loadPlaylist();
    void loadPlaylistRefusesWhatIsNoPlaylist_data();
    void loadPlaylistRefusesWhatIsNoPlaylist();
    void prepareLoadEmptiesTheQueue();
    void pauseToggles();
    void back5Seconds_data();
    void back5Seconds();
    void back5SecondsFailsWhenStopped();
    void previousAndNext();
    void currentSong_data();
    void currentSong();
    void currentSongIsEmptyWhenNothingIsCurrent();
    void shuffle_data();
    void shuffle();
    void setVolume_data();
    void setVolume();
    void defaultsHonourMpdHost();
    void factoryBuildsTheChosenBackend_data();
    void factoryBuildsTheChosenBackend();
    void frozenMpdCostsAtMostTheTimeout();
    void sessionKeepsOneConnection_data();
    void sessionKeepsOneConnection();
    void loadPlaylistOverTcp_data();
    void loadPlaylistOverTcp();
    void currentSongOverTcp_data();
    void currentSongOverTcp();
    void refusedPasswordFailsCleanly_data();
    void refusedPasswordFailsCleanly();

private:
    QString music(const QString &name) const
    {
        return mpd_->musicFolder() + QLatin1Char('/') + name;
    }
    QString outside(const QString &name) const
    {
        return dir_.filePath(QStringLiteral("outside/") + name);
    }
    QString writePlaylist(const QString &relativePath, const QByteArray &content);
    Observed observe();
    void loadAndPlay(const QStringList &songs, int position);

    QTemporaryDir dir_;
    std::unique_ptr<MpdServer> mpd_;
    std::unique_ptr<MpdPlayer> player_;
    std::unique_ptr<MpdPlayer> tcpPlayer_; // over TCP, with the password
};

void TestMpdPlayer::initTestCase()
{
    QVERIFY(dir_.isValid());
    // Whatever session bus the test runs under, the player is to see none.
    qputenv("DBUS_SESSION_BUS_ADDRESS",
            "unix:path=" + dir_.filePath(QStringLiteral("no-bus")).toUtf8());
    mpd_ = std::make_unique<MpdServer>(dir_.path(), 0, QStringLiteral("secret"));
    QVERIFY(QDir().mkpath(music(QStringLiteral("sub"))));
    QVERIFY(QDir().mkpath(outside(QString())));
    for (const QString &song :
         {QStringLiteral("one.wav"), QStringLiteral("two.wav"), QStringLiteral("sub/three.wav"),
          QStringLiteral("with space.wav"), QStringLiteral("Zoë.wav")})
        QVERIFY(writeWav(music(song), 20));
    QVERIFY(writeWav(outside(QStringLiteral("four.wav")), 20));
    QVERIFY(writeWav(music(QStringLiteral("titled.wav")), 20, QStringLiteral("Night Train")));
    QVERIFY(QFile::link(mpd_->musicFolder(), dir_.filePath(QStringLiteral("linked music"))));

    QVERIFY2(mpd_->start(), "MPD did not start");
    QVERIFY2(mpd_->updateDatabase(), "MPD did not scan its music folder");
    player_ = std::make_unique<MpdPlayer>(mpd_->socketPath());
    tcpPlayer_ = std::make_unique<MpdPlayer>(QStringLiteral("secret@127.0.0.1"), mpd_->port(),
                                             mpd_->musicFolder());
}

void TestMpdPlayer::init()
{
    mpd_connection *c = mpd_->observer();
    QVERIFY(mpd_run_stop(c));
    QVERIFY(mpd_run_clear(c));
    QVERIFY(mpd_run_random(c, false));
}

QString TestMpdPlayer::writePlaylist(const QString &relativePath, const QByteArray &content)
{
    const QString path = dir_.filePath(relativePath);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return {};
    return path;
}

Observed TestMpdPlayer::observe()
{
    Observed seen;
    if (mpd_status *status = mpd_run_status(mpd_->observer())) {
        seen = {mpd_status_get_state(status), mpd_status_get_song_pos(status),
                mpd_status_get_elapsed_ms(status), mpd_status_get_random(status),
                mpd_status_get_volume(status)};
        mpd_status_free(status);
    }
    return seen;
}

void TestMpdPlayer::loadAndPlay(const QStringList &songs, int position)
{
    mpd_connection *c = mpd_->observer();
    for (const QString &song : songs)
        QVERIFY(mpd_run_add(c, song.toUtf8().constData()));
    QVERIFY(mpd_run_play_pos(c, position));
}

void TestMpdPlayer::loadPlaylist_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("expectedQueue");

    const QByteArray musicFolder = mpd_->musicFolder().toUtf8();
    const QByteArray outsideFolder = outside(QString()).toUtf8();

    QTest::newRow("absolute paths, inside and outside the music folder")
        << "outside/absolute.m3u"
        << musicFolder + "/one.wav\n" + musicFolder + "/sub/three.wav\n" + outsideFolder +
               "four.wav\n"
        << QStringList{"one.wav", "sub/three.wav", outside(QStringLiteral("four.wav"))};
    QTest::newRow("paths relative to the music folder")
        << "outside/musicRelative.m3u" << QByteArray("sub/three.wav\ntwo.wav\n")
        << QStringList{"sub/three.wav", "two.wav"};
    QTest::newRow("paths relative to the playlist")
        << "outside/besideRelative.m3u" << QByteArray("four.wav\none.wav\n")
        << QStringList{outside(QStringLiteral("four.wav")), "one.wav"};
    QTest::newRow("extended M3U with CR LF, as the thumbs files are written")
        << "outside/keepers.m3u"
        << "#EXTM3U\r\n#EXTINF:20,Two\r\n" + musicFolder + "/two.wav\r\n" + musicFolder +
               "/one.wav\r\n"
        << QStringList{"two.wav", "one.wav"};
    QTest::newRow("file URL with an escaped space")
        << "outside/urls.m3u"
        << "file://" + musicFolder + "/with%20space.wav\n"
        << QStringList{"with space.wav"};
    QTest::newRow("UTF-8 names, in a playlist whose name has a space")
        << "outside/my list.m3u8" << QByteArray("Zo\xc3\xab.wav\n") << QStringList{"Zoë.wav"};
    QTest::newRow("Latin-1 names of an old playlist")
        << "outside/latin1.m3u" << QByteArray("Zo\xeb.wav\n") << QStringList{"Zoë.wav"};
    QTest::newRow("missing songs are left out, the rest loads")
        << "outside/partly.m3u" << QByteArray("gone.wav\none.wav\n") << QStringList{"one.wav"};
    QTest::newRow("PLS, read by MPD itself")
        << "outside/list.pls"
        << "[playlist]\nNumberOfEntries=2\nFile1=" + musicFolder +
               "/two.wav\nFile2=" + musicFolder + "/sub/three.wav\n"
        << QStringList{"two.wav", "sub/three.wav"};
}

void TestMpdPlayer::loadPlaylist()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, expectedQueue);

    const QString path = writePlaylist(file, content);
    QVERIFY(!path.isEmpty());
    QVERIFY(player_->loadPlaylist(path));
    QCOMPARE(mpd_->queue(), expectedQueue);
}

void TestMpdPlayer::loadPlaylistRefusesWhatIsNoPlaylist_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("no playlist assigned") << QString();
    QTest::newRow("file that does not exist") << dir_.filePath(QStringLiteral("nothing.m3u"));
    QTest::newRow("a folder") << dir_.path();
    QTest::newRow("only songs that do not exist")
        << writePlaylist(QStringLiteral("outside/allGone.m3u"), "gone.wav\n/no/such/song.wav\n");
}

void TestMpdPlayer::loadPlaylistRefusesWhatIsNoPlaylist()
{
    QFETCH(QString, path);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^MPD load failed")));
    QVERIFY(!player_->loadPlaylist(path));
    QCOMPARE(mpd_->queue(), QStringList());
}

void TestMpdPlayer::prepareLoadEmptiesTheQueue()
{
    loadAndPlay({QStringLiteral("one.wav"), QStringLiteral("two.wav")}, 0);
    QVERIFY(player_->prepareLoad());
    QCOMPARE(mpd_->queue(), QStringList());
    QCOMPARE(observe().state, MPD_STATE_STOP);
}

void TestMpdPlayer::pauseToggles()
{
    QVERIFY(mpd_run_add(mpd_->observer(), "one.wav"));
    QVERIFY(player_->play());
    QCOMPARE(observe().state, MPD_STATE_PLAY);
    QVERIFY(player_->pause());
    QCOMPARE(observe().state, MPD_STATE_PAUSE);
    QVERIFY(player_->pause());
    QCOMPARE(observe().state, MPD_STATE_PLAY);
}

void TestMpdPlayer::back5Seconds_data()
{
    QTest::addColumn<unsigned>("fromMs");
    QTest::addColumn<unsigned>("expectedMs");
    QTest::newRow("well into the song") << 12000u << 7000u;
    QTest::newRow("less than five seconds in: back to the start") << 3000u << 0u;
}

void TestMpdPlayer::back5Seconds()
{
    QFETCH(unsigned, fromMs);
    QFETCH(unsigned, expectedMs);

    // Paused, so the position does not move on while it is measured.
    loadAndPlay({QStringLiteral("one.wav")}, 0);
    QVERIFY(mpd_run_pause(mpd_->observer(), true));
    // MPD refuses a seek until its decoder has opened the song: ask until it takes.
    QTRY_VERIFY(mpd_run_seek_current(mpd_->observer(), fromMs / 1000.0f, false) ||
                (mpd_connection_clear_error(mpd_->observer()), false));
    QTRY_VERIFY(qAbs(int(observe().elapsedMs) - int(fromMs)) < 100);

    QVERIFY(player_->back5Seconds());
    QTRY_VERIFY2(qAbs(int(observe().elapsedMs) - int(expectedMs)) < 300,
                 qPrintable(QString::number(observe().elapsedMs)));
    QCOMPARE(observe().state, MPD_STATE_PAUSE);
}

void TestMpdPlayer::back5SecondsFailsWhenStopped()
{
    QVERIFY(mpd_run_add(mpd_->observer(), "one.wav"));
    QTest::ignoreMessage(QtWarningMsg, "MPD seek failed: no song is playing");
    QVERIFY(!player_->back5Seconds());
}

void TestMpdPlayer::previousAndNext()
{
    loadAndPlay(
        {QStringLiteral("one.wav"), QStringLiteral("two.wav"), QStringLiteral("sub/three.wav")}, 1);
    QVERIFY(player_->nextTrack());
    QCOMPARE(observe().songPosition, 2);
    QVERIFY(player_->previousTrack());
    QCOMPARE(observe().songPosition, 1);
    QVERIFY(player_->previousTrack());
    QCOMPARE(observe().songPosition, 0);
}

void TestMpdPlayer::currentSong_data()
{
    QTest::addColumn<QString>("queued");
    QTest::addColumn<QString>("expected");
    QTest::newRow("song of the music folder") << "one.wav" << music(QStringLiteral("one.wav"));
    QTest::newRow("song in a subfolder")
        << "sub/three.wav" << music(QStringLiteral("sub/three.wav"));
    QTest::newRow("name with a space")
        << "with space.wav" << music(QStringLiteral("with space.wav"));
    QTest::newRow("song outside the music folder")
        << outside(QStringLiteral("four.wav")) << outside(QStringLiteral("four.wav"));
}

void TestMpdPlayer::currentSong()
{
    QFETCH(QString, queued);
    QFETCH(QString, expected);
    loadAndPlay({QStringLiteral("two.wav"), queued}, 1);

    QCOMPARE(player_->getCurrentSong(), std::optional(expected));
}

void TestMpdPlayer::currentSongIsEmptyWhenNothingIsCurrent()
{
    QCOMPARE(player_->getCurrentSong(), std::optional(QString()));
    QCOMPARE(player_->getCurrentTitle(), std::optional(QString()));
}

void TestMpdPlayer::shuffle_data()
{
    QTest::addColumn<bool>("randomBefore");
    QTest::newRow("random off") << false;
    QTest::newRow("random on") << true;
}

void TestMpdPlayer::shuffle()
{
    QFETCH(bool, randomBefore);
    QVERIFY(mpd_run_random(mpd_->observer(), randomBefore));

    QCOMPARE(player_->getShuffle(), std::optional(randomBefore));

    QVERIFY(player_->toggleShuffle());
    QCOMPARE(observe().random, !randomBefore);
    QCOMPARE(player_->getShuffle(), std::optional(!randomBefore));
}

void TestMpdPlayer::setVolume_data()
{
    QTest::addColumn<qint16>("level");
    QTest::addColumn<int>("percent");
    QTest::newRow("silent") << qint16(0) << 0;
    QTest::newRow("full") << qint16(255) << 100;
    QTest::newRow("start-up default 125 rounds down") << qint16(125) << 49;
    QTest::newRow("128 rounds up") << qint16(128) << 50;
    QTest::newRow("1 rounds to 0") << qint16(1) << 0;
    QTest::newRow("2 rounds to 1") << qint16(2) << 1;
    QTest::newRow("above 255 stays at full") << qint16(300) << 100;
    QTest::newRow("below 0 stays silent") << qint16(-5) << 0;
}

void TestMpdPlayer::setVolume()
{
    QFETCH(qint16, level);
    QFETCH(int, percent);
    QVERIFY(mpd_run_set_volume(mpd_->observer(), 77));
    QVERIFY(player_->setVolume(level));
    QCOMPARE(observe().volume, percent);
}

void TestMpdPlayer::defaultsHonourMpdHost()
{
    const QByteArray before = qgetenv("MPD_HOST");
    qputenv("MPD_HOST", mpd_->socketPath().toUtf8());
    MpdPlayer byDefault;
    QVERIFY(mpd_run_add(mpd_->observer(), "one.wav"));
    const bool played = byDefault.play();
    qputenv("MPD_HOST", before);
    QVERIFY(played);
    QCOMPARE(observe().state, MPD_STATE_PLAY);
}

void TestMpdPlayer::factoryBuildsTheChosenBackend_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("mpd") << "mpd";
    // This test has no session bus, so the automatic choice falls back to MPD.
    QTest::newRow("auto") << "auto";
    QTest::newRow("unset") << QString();
}

void TestMpdPlayer::factoryBuildsTheChosenBackend()
{
    QFETCH(QString, kind);
    MemorySettingsStore store;
    if (!kind.isEmpty())
        store.setValue(Keys::player, kind);
    store.setValue(Keys::mpdHost, mpd_->socketPath());
    const auto player = createPlayer(store);
    QVERIFY(player);

    QVERIFY(player->findPlayer());
    QVERIFY(
        player->loadPlaylist(writePlaylist(QStringLiteral("outside/factory.m3u"), "two.wav\n")));
    QVERIFY(player->play());
    QCOMPARE(observe().state, MPD_STATE_PLAY);
    QCOMPARE(mpd_->queue(), QStringList{QStringLiteral("two.wav")});
}

void TestMpdPlayer::frozenMpdCostsAtMostTheTimeout()
{
    signalProcess(mpd_->process(), SIGSTOP);
    QElapsedTimer clock;
    clock.start();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^MPD play failed")));
    const bool played = player_->play();
    const qint64 elapsed = clock.elapsed();
    signalProcess(mpd_->process(), SIGCONT);

    QVERIFY(!played);
    QVERIFY2(elapsed < 900, qPrintable(QStringLiteral("play took %1 ms").arg(elapsed)));

    // The calls of the same key press give up at once instead of waiting again...
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^MPD next failed")));
    clock.restart();
    QVERIFY(!player_->nextTrack());
    QVERIFY2(clock.elapsed() < 100, qPrintable(QString::number(clock.elapsed())));
    // ...and the next key press asks MPD again.
    QTest::qWait(300);
    QVERIFY(player_->play());
}

void TestMpdPlayer::sessionKeepsOneConnection_data()
{
    QTest::addColumn<bool>("restart"); // else MPD lets the idle connection go
    QTest::newRow("until MPD restarts") << true;
    QTest::newRow("until MPD lets it go while idle") << false;
}

// Many key presses go over one connection; when MPD closes it, the session
// opens one again and the next key works as if nothing had happened.
void TestMpdPlayer::sessionKeepsOneConnection()
{
    QFETCH(bool, restart);
    QTemporaryDir folder;
    MpdServer mpd(folder.path(), restart ? 0 : 1);
    QVERIFY(mpd.start());
    PlayerSession session([&] { return std::make_unique<MpdPlayer>(mpd.socketPath()); });
    QVERIFY(session.running());
    bool wentAway = false;
    connect(&session, &PlayerSession::runningChanged, this,
            [&](bool running) { wentAway = wentAway || !running; });

    for (int level = 0; level < 50; level += 5) {
        QVERIFY(onSession(
            session, [level](PlayerControl &player) { return player.setVolume(qint16(level)); }));
    }
    QCOMPARE(volumeOf(mpd), 18);
    // MPD's log names each client by a number: all volume steps came from one.
    QSet<QString> clients;
    const QRegularExpression setVolume(QStringLiteral(R"(\[(\d+)\] process command "setvol )"));
    for (const QRegularExpressionMatch &match : setVolume.globalMatch(mpd.log()))
        clients.insert(match.captured(1));
    QCOMPARE(clients.size(), 1);

    if (restart) {
        mpd.kill();
        QTRY_VERIFY(!session.running());
        QVERIFY(mpd.start());
        QTRY_VERIFY(session.running());
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(mpd.log().contains(QStringLiteral("] timeout")), 10000);
    }
    QVERIFY(onSession(session, [](PlayerControl &player) { return player.setVolume(255); }));
    QCOMPARE(volumeOf(mpd), 100);
    QCoreApplication::processEvents();
    QCOMPARE(wentAway, restart);
}

void TestMpdPlayer::loadPlaylistOverTcp_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("musicDir");          // "" = MPD's music folder itself
    QTest::addColumn<QStringList>("expectedQueue"); // empty: the load fails
    QTest::addColumn<QString>("warning");           // the one line on stderr, "" = none

    const QString musicFolder = mpd_->musicFolder();
    const QByteArray musicBytes = musicFolder.toUtf8();
    const QByteArray outsideBytes = outside(QString()).toUtf8();
    const QString linked = dir_.filePath(QStringLiteral("linked music"));
    const auto escaped = [](const QString &text) { return QRegularExpression::escape(text); };

    QTest::newRow("absolute paths; the song outside mpdMusicDir is left out, said once")
        << "outside/tcpAbsolute.m3u"
        << musicBytes + "/one.wav\n" + outsideBytes + "four.wav\n" + musicBytes + "/sub/three.wav\n"
        << QString() << QStringList{"one.wav", "sub/three.wav"}
        << "^MPD load: 1 of the 3 songs of \".*/tcpAbsolute.m3u\" left out: 1 outside \"" +
               escaped(musicFolder) + "\", the setting mpdMusicDir$";
    QTest::newRow("relative lines: beside the playlist first, else in the music folder")
        << "music/sub/tcpBeside.m3u" << QByteArray("three.wav\n../one.wav\ntwo.wav\n") << QString()
        << QStringList{"sub/three.wav", "one.wav", "two.wav"} << QString();
    QTest::newRow("a file URL, and mpdMusicDir a link to the music folder")
        << "outside/tcpLinked.m3u"
        << "file://" + musicBytes + "/with%20space.wav\n" + linked.toUtf8() + "/two.wav\n"
        << linked << QStringList{"with space.wav", "two.wav"} << QString();
    QTest::newRow("PLS in the music folder, read by MPD")
        << "music/list.pls"
        << QByteArray("[playlist]\nNumberOfEntries=2\nFile1=two.wav\nFile2=sub/three.wav\n")
        << QString() << QStringList{"two.wav", "sub/three.wav"} << QString();
    QTest::newRow("PLS outside the music folder")
        << "outside/tcp.pls" << QByteArray("[playlist]\nFile1=two.wav\n") << QString()
        << QStringList{}
        << "^MPD load failed: over TCP, MPD reads no playlist outside its music folder";
    QTest::newRow("only songs outside mpdMusicDir")
        << "outside/tcpAllOutside.m3u" << outsideBytes + "four.wav\n"
        << QString() << QStringList{}
        << "^MPD load failed: 1 of the 1 songs of \".*\" left out: 1 outside";
}

// Over TCP MPD takes no paths: the program reads the playlist and adds each
// song by its name in the music folder, which mpdMusicDir is on this machine.
void TestMpdPlayer::loadPlaylistOverTcp()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, musicDir);
    QFETCH(QStringList, expectedQueue);
    QFETCH(QString, warning);

    const QString path = writePlaylist(file, content);
    QVERIFY(!path.isEmpty());
    MpdPlayer player(QStringLiteral("secret@127.0.0.1"), mpd_->port(),
                     musicDir.isEmpty() ? mpd_->musicFolder() : musicDir);
    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
    QTest::failOnWarning(QRegularExpression(QStringLiteral("^Kavelo")));
    QCOMPARE(player.loadPlaylist(path), !expectedQueue.isEmpty());
    QCOMPARE(mpd_->queue(), expectedQueue);
}

void TestMpdPlayer::currentSongOverTcp_data()
{
    QTest::addColumn<QString>("queued");
    QTest::addColumn<QString>("title");
    QTest::newRow("a song with a title") << "titled.wav"
                                         << "Night Train";
    QTest::newRow("a song without one, in a subfolder") << "sub/three.wav" << QString();
}

// The song MPD names is the local file in mpdMusicDir; a thumbs list of it
// loads back into MPD.
void TestMpdPlayer::currentSongOverTcp()
{
    QFETCH(QString, queued);
    QFETCH(QString, title);
    loadAndPlay({QStringLiteral("two.wav"), queued}, 1);

    const QString song = tcpPlayer_->getCurrentSong().value_or(QStringLiteral("failed"));
    QCOMPARE(song, music(queued));
    QCOMPARE(tcpPlayer_->getCurrentTitle(), std::optional(title));

    const QString thumbs = dir_.filePath(QStringLiteral("outside/keepers.m3u"));
    QVERIFY(!writeFileWhole(thumbs, m3uText({song})));
    QVERIFY(tcpPlayer_->prepareLoad());
    QVERIFY(tcpPlayer_->loadPlaylist(thumbs));
    QCOMPARE(mpd_->queue(), QStringList{queued});
}

void TestMpdPlayer::refusedPasswordFailsCleanly_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("answers");
    QTest::addColumn<QString>("warnings"); // said once each, in this order
    QTest::newRow("wrong password")
        << "wrong@127.0.0.1" << false
        << "MPD refused the password of its address (incorrect password); the password "
           "is the part of the setting mpdHost before \"@\"\n"
           "MPD play failed: MPD refused the password of its address (incorrect password)";
    QTest::newRow("no password") << "127.0.0.1" << true
                                 << "MPD play failed: you don't have permission for \"play\"";
}

void TestMpdPlayer::refusedPasswordFailsCleanly()
{
    QFETCH(QString, host);
    QFETCH(bool, answers);
    QFETCH(QString, warnings);

    QVERIFY(mpd_run_add(mpd_->observer(), "one.wav"));
    MpdPlayer player(host, mpd_->port(), mpd_->musicFolder());
    for (const QString &warning : warnings.split(QLatin1Char('\n')))
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    for (int time = 0; time < 2; ++time)
        QCOMPARE(player.findPlayer(), answers);
    QVERIFY(!player.play());
    QCOMPARE(observe().state, MPD_STATE_STOP);
}

QTEST_GUILESS_MAIN(TestMpdPlayer)
#include "TestMpdPlayer.moc"
