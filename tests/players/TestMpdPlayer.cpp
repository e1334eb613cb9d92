// SPDX-License-Identifier: GPL-3.0-or-later
// MpdPlayer against a real MPD that the test starts on a socket of its own,
// and over TCP, where MPD wants a password. The plain keys against the same MPD
// are driven end to end by TestRemoteToPlayers.

#include "PlayerPeers.h"
#include "SessionIdle.h"
#include "core/PlayerSession.h"
#include "core/SettingsModel.h"
#include "players/PlayerFactory.h"
#include "players/mpd/MpdPlayer.h"

#include "MemorySettingsStore.h"
#include "core/PlaylistWriter.h"
#include "core/Settings.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QScopeGuard>
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
    return waitForIdle(session, 5000) && result;
}
} // namespace

class TestMpdPlayer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void loadPlaylist_data();
    void loadPlaylist();
    void aPlaylistKeyReplacesTheQueueOnlyWithSongs_data();
    void aPlaylistKeyReplacesTheQueueOnlyWithSongs();
    void back5SecondsFailsWhenStopped();
    void currentSong_data();
    void currentSong();
    void setVolume_data();
    void setVolume();
    void factoryBuildsTheChosenBackend_data();
    void factoryBuildsTheChosenBackend();
    void frozenMpdCostsAtMostTheTimeout();
    void sessionKeepsOneConnection_data();
    void sessionKeepsOneConnection();
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
    QVERIFY(mpd_->reset());
}

void TestMpdPlayer::loadPlaylist_data()
{
    // via: "socket", "tcp", or "linked": over TCP, mpdMusicDir a link to the music
    // folder. file: in the test's folder, "" for none; content: null when it is
    // not written; queue: empty when the load fails; warning: the one line said.
    QTest::addColumn<QString>("via");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("queue");
    QTest::addColumn<QString>("warning");
    const auto row = [](const char *name, const char *via, const QString &file,
                        const QByteArray &content, const QStringList &queue,
                        const QString &warning = {}) {
        QTest::newRow(name) << QString::fromLatin1(via) << file << content << queue << warning;
    };

    const QString musicFolder = mpd_->musicFolder();
    const QByteArray musicBytes = musicFolder.toUtf8();
    const QByteArray outsideBytes = outside(QString()).toUtf8();
    const QString four = outside(QStringLiteral("four.wav"));
    const QString failed = QStringLiteral("^MPD load failed");

    row("absolute paths, inside and outside the music folder", "socket", "outside/absolute.m3u",
        musicBytes + "/one.wav\n" + musicBytes + "/sub/three.wav\n" + outsideBytes + "four.wav\n",
        {"one.wav", "sub/three.wav", four});
    row("paths relative to the music folder", "socket", "outside/musicRelative.m3u",
        "sub/three.wav\ntwo.wav\n", {"sub/three.wav", "two.wav"});
    row("paths relative to the playlist", "socket", "outside/besideRelative.m3u",
        "four.wav\none.wav\n", {four, "one.wav"});
    row("extended M3U with CR LF, as the thumbs files are written", "socket", "outside/keepers.m3u",
        "#EXTM3U\r\n#EXTINF:20,Two\r\n" + musicBytes + "/two.wav\r\n" + musicBytes + "/one.wav\r\n",
        {"two.wav", "one.wav"});
    row("file URL with an escaped space", "socket", "outside/urls.m3u",
        "file://" + musicBytes + "/with%20space.wav\n", {"with space.wav"});
    row("UTF-8 names, in a playlist whose name has a space", "socket", "outside/my list.m3u8",
        "Zo\xc3\xab.wav\n", {"Zoë.wav"});
    row("Latin-1 names of an old playlist", "socket", "outside/latin1.m3u", "Zo\xeb.wav\n",
        {"Zoë.wav"});
    row("missing songs are left out, the rest loads", "socket", "outside/partly.m3u",
        "gone.wav\none.wav\n", {"one.wav"},
        "^MPD load: 1 of the 2 songs of \".*/partly.m3u\" left out: 1 that MPD could not add, "
        "the first \"gone.wav\"$");
    row("PLS, read by MPD itself", "socket", "outside/list.pls",
        "[playlist]\nNumberOfEntries=2\nFile1=" + musicBytes + "/two.wav\nFile2=" + musicBytes +
            "/sub/three.wav\n",
        {"two.wav", "sub/three.wav"});
    row("no playlist assigned", "socket", QString(), {}, {}, failed);
    row("file that does not exist", "socket", "nothing.m3u", {}, {}, failed);
    row("a folder", "socket", "outside", {}, {}, failed);
    row("only songs that do not exist", "socket", "outside/allGone.m3u",
        "gone.wav\n/no/such/song.wav\n", {}, failed);

    // Over TCP MPD takes no paths: the program reads the playlist and adds each
    // song by its name in the music folder, which mpdMusicDir is on this machine.
    row("TCP: absolute paths; the song outside mpdMusicDir is left out, said once", "tcp",
        "outside/tcpAbsolute.m3u",
        musicBytes + "/one.wav\n" + outsideBytes + "four.wav\n" + musicBytes + "/sub/three.wav\n",
        {"one.wav", "sub/three.wav"},
        "^MPD load: 1 of the 3 songs of \".*/tcpAbsolute.m3u\" left out: 1 outside \"" +
            QRegularExpression::escape(musicFolder) + "\", the setting mpdMusicDir$");
    row("TCP: relative lines, beside the playlist first, else in the music folder", "tcp",
        "music/sub/tcpBeside.m3u", "three.wav\n../one.wav\ntwo.wav\n",
        {"sub/three.wav", "one.wav", "two.wav"});
    row("TCP: a file URL, and mpdMusicDir a link to the music folder", "linked",
        "outside/tcpLinked.m3u",
        "file://" + musicBytes + "/with%20space.wav\n" +
            dir_.filePath(QStringLiteral("linked music")).toUtf8() + "/two.wav\n",
        {"with space.wav", "two.wav"});
    row("TCP: PLS in the music folder, read by MPD", "tcp", "music/list.pls",
        "[playlist]\nNumberOfEntries=2\nFile1=two.wav\nFile2=sub/three.wav\n",
        {"two.wav", "sub/three.wav"});
    row("TCP: PLS outside the music folder", "tcp", "outside/tcp.pls",
        "[playlist]\nFile1=two.wav\n", {},
        "^MPD load failed: over TCP, MPD reads no playlist outside its music folder");
    row("TCP: only songs outside mpdMusicDir", "tcp", "outside/tcpAllOutside.m3u",
        outsideBytes + "four.wav\n", {},
        "^MPD load failed: 1 of the 1 songs of \".*\" left out: 1 outside");
}

void TestMpdPlayer::loadPlaylist()
{
    QFETCH(QString, via);
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, queue);
    QFETCH(QString, warning);

    const QString path = file.isEmpty() ? QString() : dir_.filePath(file);
    if (!content.isNull())
        QVERIFY(writeFile(path, content));
    MpdPlayer linked(QStringLiteral("secret@127.0.0.1"), mpd_->port(),
                     dir_.filePath(QStringLiteral("linked music")));
    MpdPlayer &player = via == QLatin1String("socket") ? *player_
                        : via == QLatin1String("tcp")  ? *tcpPlayer_
                                                       : linked;
    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    QCOMPARE(player.loadPlaylist(path), !queue.isEmpty());
    QCOMPARE(mpd_->queue(), queue);
}

void TestMpdPlayer::aPlaylistKeyReplacesTheQueueOnlyWithSongs_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("queue");
    QTest::addColumn<QString>("warning"); // "" when the load succeeds

    const QByteArray musicBytes = mpd_->musicFolder().toUtf8();
    const QByteArray outsideBytes = outside(QString()).toUtf8();
    const QStringList before{QStringLiteral("titled.wav")};
    QTest::newRow("every song outside mpdMusicDir")
        << "outside/keyOutside.m3u"
        << outsideBytes + "four.wav\n" + outsideBytes + "five.wav\n" + outsideBytes + "six.wav\n"
        << before
        << "^MPD load failed: 3 of the 3 songs of \".*\" left out: 3 outside \".*\", the setting "
           "mpdMusicDir; the queue is left as it was$";
    QTest::newRow("a PLS outside the music folder")
        << "outside/key.pls" << QByteArray("[playlist]\nFile1=two.wav\n") << before
        << "^MPD load failed: over TCP, .*; the queue is left as it was$";
    QTest::newRow("songs to play replace the queue")
        << "outside/keyInside.m3u" << musicBytes + "/one.wav\n"
        << QStringList{"one.wav"} << QString();
}

// A playlist key over TCP, as the remote has it done: the queue is cleared for
// the playlist's songs, and kept when the playlist has none MPD could play.
void TestMpdPlayer::aPlaylistKeyReplacesTheQueueOnlyWithSongs()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, queue);
    QFETCH(QString, warning);

    const QString path = dir_.filePath(file);
    QVERIFY(writeFile(path, content));
    QVERIFY(mpd_run_add(mpd_->observer(), "titled.wav"));
    MpdPlayer player(QStringLiteral("secret@127.0.0.1"), mpd_->port(), mpd_->musicFolder());
    if (!warning.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    QVERIFY(player.findPlayer());
    QVERIFY(player.prepareLoad());
    QCOMPARE(player.loadPlaylist(path), warning.isEmpty());
    QCOMPARE(mpd_->queue(), queue);
}

void TestMpdPlayer::back5SecondsFailsWhenStopped()
{
    QVERIFY(mpd_run_add(mpd_->observer(), "one.wav"));
    QTest::ignoreMessage(QtWarningMsg, "MPD seek failed: no song is playing");
    QVERIFY(!player_->back5Seconds());
}

void TestMpdPlayer::currentSong_data()
{
    QTest::addColumn<bool>("overTcp");
    QTest::addColumn<QString>("queued"); // "": nothing is current
    QTest::addColumn<QString>("song");
    QTest::addColumn<QString>("title");
    const QString four = outside(QStringLiteral("four.wav"));
    const QString three = QStringLiteral("sub/three.wav");
    QTest::newRow("song in a subfolder") << false << three << music(three) << QString();
    QTest::newRow("song outside the music folder") << false << four << four << QString();
    QTest::newRow("nothing is current") << false << QString() << QString() << QString();
    QTest::newRow("TCP: a song with a title")
        << true << "titled.wav" << music(QStringLiteral("titled.wav")) << "Night Train";
    QTest::newRow("TCP: a song without one, in a subfolder")
        << true << three << music(three) << QString();
}

// The song is the local file, over TCP the one in mpdMusicDir; a thumbs list
// of it loads back into MPD.
void TestMpdPlayer::currentSong()
{
    QFETCH(bool, overTcp);
    QFETCH(QString, queued);
    QFETCH(QString, song);
    QFETCH(QString, title);
    MpdPlayer &player = overTcp ? *tcpPlayer_ : *player_;
    if (!queued.isEmpty())
        QVERIFY(mpd_->play({QStringLiteral("two.wav"), queued}, 1));

    QCOMPARE(player.getCurrentSong(), std::optional(song));
    QCOMPARE(player.getCurrentTitle(), std::optional(title));
    if (queued.isEmpty())
        return;
    const QString thumbs = dir_.filePath(QStringLiteral("outside/keepers.m3u"));
    QVERIFY(!writeFileWhole(thumbs, m3uText({song})));
    QVERIFY(player.prepareLoad());
    QVERIFY(player.loadPlaylist(thumbs));
    QCOMPARE(mpd_->queue(), QStringList{queued});
}

void TestMpdPlayer::setVolume_data()
{
    QTest::addColumn<qint16>("level");
    QTest::addColumn<int>("percent");
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
    QCOMPARE(mpd_->volume(), percent);
}

void TestMpdPlayer::factoryBuildsTheChosenBackend_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("mpdHostUnset"); // MPD's address then comes from MPD_HOST
    QTest::newRow("mpd") << "mpd" << false;
    // This test has no session bus, so the automatic choice falls back to MPD.
    QTest::newRow("auto") << "auto" << false;
    QTest::newRow("unset") << QString() << false;
    QTest::newRow("mpd, at MPD_HOST") << "mpd" << true;
}

void TestMpdPlayer::factoryBuildsTheChosenBackend()
{
    QFETCH(QString, kind);
    QFETCH(bool, mpdHostUnset);
    MemorySettingsStore store;
    if (!kind.isEmpty())
        store.setValue(Keys::player, kind);
    const QByteArray mpdHost = qgetenv("MPD_HOST");
    const auto restore = qScopeGuard([&] { qputenv("MPD_HOST", mpdHost); });
    if (mpdHostUnset)
        qputenv("MPD_HOST", mpd_->socketPath().toUtf8());
    else
        store.setValue(Keys::mpdHost, mpd_->socketPath());
    const auto player = createPlayer(SettingsModel(store).playerChoice());
    QVERIFY(player);

    const QString list = outside(QStringLiteral("factory.m3u"));
    QVERIFY(writeFile(list, "two.wav\n"));
    QVERIFY(player->findPlayer());
    QVERIFY(player->loadPlaylist(list));
    QVERIFY(player->play());
    QCOMPARE(mpd_->state(), MPD_STATE_PLAY);
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
    QCOMPARE(mpd.volume(), 18);
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
        const QString timeout = QStringLiteral("[%1] timeout").arg(*clients.cbegin());
        QTRY_VERIFY_WITH_TIMEOUT(mpd.log().contains(timeout), 10000);
    }
    QVERIFY(onSession(session, [](PlayerControl &player) { return player.setVolume(255); }));
    QCOMPARE(mpd.volume(), 100);
    QCoreApplication::processEvents();
    QCOMPARE(wentAway, restart);
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
    QCOMPARE(mpd_->state(), MPD_STATE_STOP);
}

QTEST_GUILESS_MAIN(TestMpdPlayer)
#include "TestMpdPlayer.moc"
