// SPDX-License-Identifier: GPL-3.0-or-later
#include "NothingHappens.h"
#include "RemoteHarness.h"

#include "core/Settings.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

static QByteArray bytes(int first, int second)
{
    return QByteArray(1, char(first)) + char(second);
}

// Frames as a remote sends them: each with the time it arrives, in ms.
using Frames = QList<QPair<QByteArray, int>>;

static Frames burst(int first, int second, int startMs, int count = 5, int intervalMs = 90)
{
    Frames frames;
    for (int i = 0; i < count; ++i)
        frames.append({bytes(first, second), startMs + i * intervalMs});
    return frames;
}

class TestRemoteControl : public QObject
{
    Q_OBJECT

private slots:
    void playlistKeys_data();
    void playlistKeys();
    void playerCommandsNeedARunningPlayer_data();
    void playerCommandsNeedARunningPlayer();
    void commands_data();
    void commands();
    void nothingIsAnnouncedWhileNotifyIsOff();
    void pauseGuard();
    void volume_data();
    void volume();
    void shuffle_data();
    void shuffle();
    void failingOperationsAreSkipped_data();
    void failingOperationsAreSkipped();
    void unknownCommandDoesNothing();
    void keysFollowThePlayerComingAndGoing();
    void withoutAPlayerComponent();
    void getOptions_data();
    void getOptions();
    void handleFrame_data();
    void handleFrame();
    void presses_data();
    void presses();
    void pressesShowTheirActionOnce();
    void runBindings();
    void commandsFromOutside_data();
    void commandsFromOutside();
    void theHouseHearsEachPressOnce();
};

// The house as the key path sees it, recording what it hears.
class RecordingHouse : public HouseLink
{
public:
    QStringList heard;
    void keyEvent(const KeyEvent &event) override
    {
        heard << event.key.name() + (event.event == Event::Press ? " press " : " hold ") +
                     event.action;
    }
    void actionShown(const QString &text) override { heard << "action " + text; }
    void frameHeard(const QByteArray &frame) override { heard << "frame " + frame.toHex(); }
};

void TestRemoteControl::playlistKeys_data()
{
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("loadStartsPlayer");
    QTest::addColumn<QStringList>("failing");
    QTest::addColumn<QStringList>("calls");

    const QString load = QStringLiteral("loadPlaylist(/music/three.m3u)");
    QTest::newRow("not running") << false << false << QStringList()
                                 << QStringList{"findPlayer", load, "findPlayer"};
    QTest::newRow("started by the load")
        << false << true << QStringList() << QStringList{"findPlayer", load, "findPlayer", "play"};
    QTest::newRow("query fails") << true << false << QStringList{"findPlayer"}
                                 << QStringList{"findPlayer", load, "findPlayer"};
    QTest::newRow("load fails, play still asked")
        << true << false << QStringList{"loadPlaylist"}
        << QStringList{"findPlayer", "prepareLoad", load, "findPlayer", "play"};
}

void TestRemoteControl::playlistKeys()
{
    QFETCH(bool, running);
    QFETCH(bool, loadStartsPlayer);
    QFETCH(QStringList, failing);
    QFETCH(QStringList, calls);

    RemoteHarness h([&](RecordingPlayer &player) {
        player.running = running;
        player.loadStartsPlayer = loadStartsPlayer;
        player.failing = QSet<QString>(failing.cbegin(), failing.cend());
    });
    h.store.setValue(Keys::playlist(3), QStringLiteral("/music/three.m3u"));
    h.remote.dispatch(onKey(2));
    QVERIFY(h.settle());
    QCOMPARE(h.player.calls, calls);
    QCOMPARE(h.view.commandHistory(), (QStringList{QString(), QStringLiteral("/music/three.m3u")}));
}

void TestRemoteControl::playerCommandsNeedARunningPlayer_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<bool>("queryFails");
    for (int command = 8; command <= 17; ++command) {
        QTest::addRow("command %d, stopped", command) << command << false;
        QTest::addRow("command %d, query fails", command) << command << true;
    }
}

void TestRemoteControl::playerCommandsNeedARunningPlayer()
{
    QFETCH(int, command);
    QFETCH(bool, queryFails);
    // A failing query reports a running player and must still count as stopped.
    RemoteHarness h([&](RecordingPlayer &player) {
        player.running = queryFails;
        if (queryFails)
            player.failing.insert(QStringLiteral("findPlayer"));
    });
    h.remote.vol = 100;
    h.remote.dispatch(Command(command));
    QVERIFY(h.settle());
    // The session knows already: the player is not even asked.
    QCOMPARE(h.player.calls, QStringList());
    QCOMPARE(h.view.commandHistory(), QStringList{QString()});
    QVERIFY(h.view.pauseGuards.isEmpty());
    QCOMPARE(h.remote.timeOver, quint8(1));
    QCOMPARE(h.remote.vol, qint16(100));
    QVERIFY(h.store.values.isEmpty());
}

// What each key shows at once, asks of the player, adds to the thumbs lists
// and announces (notifications are on until the user turns them off).
void TestRemoteControl::commands_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QStringList>("announced");
    const QString song = QStringLiteral("/music/The Song.mp3");
    QTest::newRow("playlist") << 2 << "/music/three.m3u"
                              << QStringList{"findPlayer", "prepareLoad",
                                             "loadPlaylist(/music/three.m3u)", "findPlayer", "play"}
                              << QStringList() << QStringList{"playlist: three"};
    QTest::newRow("pause") << 8 << "pause" << QStringList{"pause"} << QStringList()
                           << QStringList{"pause / play: "};
    QTest::newRow("back") << 9 << "go back 5 sec" << QStringList{"back5Seconds"} << QStringList()
                          << QStringList();
    QTest::newRow("previous, no title tag")
        << 10 << "previous" << QStringList{"previousTrack", "getCurrentSong"} << QStringList()
        << QStringList{"previous: The Song.mp3"};
    QTest::newRow("next, no title tag")
        << 11 << "advance" << QStringList{"nextTrack", "getCurrentSong"} << QStringList()
        << QStringList{"advance: The Song.mp3"};
    QTest::newRow("thumbs up") << 12 << "add to Thumbs Up List" << QStringList{"getCurrentSong"}
                               << QStringList{"addThumbsUp(" + song + ")"}
                               << QStringList{"thumbs up: The Song.mp3"};
    // The song is known before the player moves on from it.
    QTest::newRow("thumbs down") << 13 << "add to Thumbs Down List"
                                 << QStringList{"getCurrentSong", "nextTrack"}
                                 << QStringList{"addThumbsDown(" + song + ")"}
                                 << QStringList{"thumbs down: The Song.mp3"};
    QTest::newRow("vol up") << 16 << "vol up" << QStringList{"setVolume(130)"} << QStringList()
                            << QStringList{"volume: 51 %"};
    QTest::newRow("vol down") << 17 << "vol down" << QStringList{"setVolume(120)"} << QStringList()
                              << QStringList{"volume: 47 %"};
}

void TestRemoteControl::commands()
{
    QFETCH(int, command);
    QFETCH(QString, text);
    QFETCH(QStringList, calls);
    QFETCH(QStringList, listed);
    QFETCH(QStringList, announced);
    RemoteHarness h([](RecordingPlayer &player) {
        player.currentSong = QStringLiteral("/music/The Song.mp3");
    });
    h.store.setValue(Keys::playlist(3), QStringLiteral("/music/three.m3u"));
    h.remote.vol = 125;
    h.remote.dispatch(Command(command));
    // The text is there before the player has done anything.
    QCOMPARE(h.view.commandHistory(), (QStringList{QString(), text}));
    // The song of "previous" and "next" is asked a moment after the key.
    QTRY_COMPARE(h.view.announcements, announced);
    QVERIFY(h.settle());
    QCOMPARE(h.player.calls, calls);
    QCOMPARE(h.view.events.filter(QStringLiteral("addThumbs")), listed);
}

// The player is not even asked for the song.
void TestRemoteControl::nothingIsAnnouncedWhileNotifyIsOff()
{
    RemoteHarness h;
    h.store.setValue(Keys::notify, QStringLiteral("False"));
    h.remote.dispatch(Command::Advance);
    h.remote.dispatch(Command::VolumeUp);
    // Longer than the player is given to move on.
    QVERIFY(nothingHappensWithin(400, [&] { return !h.view.announcements.isEmpty(); }));
    QVERIFY(h.settle());
    QCOMPARE(h.player.calls, (QStringList{"nextTrack", "setVolume(130)"}));
}

void TestRemoteControl::pauseGuard()
{
    RemoteHarness h;
    h.remote.dispatch(Command::Pause);
    QCOMPARE(h.view.commandText, QStringLiteral("pause"));
    QCOMPARE(h.view.pauseGuards, QList<int>{800});
    QCOMPARE(h.remote.timeOver, quint8(0));

    h.remote.dispatch(Command::Pause);
    QCOMPARE(h.view.commandText, QStringLiteral("wait"));
    QVERIFY(h.settle());
    QCOMPARE(h.player.actions(), QStringList{QStringLiteral("pause")});
    QCOMPARE(h.view.pauseGuards, QList<int>{800});

    h.remote.dispatch(Command::Advance); // other keys are not guarded
    QCOMPARE(h.view.commandText, QStringLiteral("advance"));

    h.remote.endPauseGuard();
    QCOMPARE(h.remote.timeOver, quint8(1));
    h.remote.dispatch(Command::Pause);
    QCOMPARE(h.view.commandText, QStringLiteral("pause"));
    QVERIFY(h.settle());
    QCOMPARE(h.player.actions(), (QStringList{"pause", "nextTrack", "pause"}));
    QCOMPARE(h.view.pauseGuards, (QList<int>{800, 800}));
}

void TestRemoteControl::volume_data()
{
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("expected");
    QTest::newRow("253 up by 5") << 253 << 5 << 16 << 255;
    QTest::newRow("255 up") << 255 << 5 << 16 << 255;
    QTest::newRow("3 down by 5") << 3 << 5 << 17 << 0;
    QTest::newRow("0 down") << 0 << 5 << 17 << 0;
    QTest::newRow("300 down") << 300 << 5 << 17 << 295;
    QTest::newRow("300 up") << 300 << 5 << 16 << 255;
    QTest::newRow("300 up by 0") << 300 << 0 << 16 << 255;
    QTest::newRow("300 down by 0") << 300 << 0 << 17 << 300;
    QTest::newRow("-7 up") << -7 << 5 << 16 << -2;
    QTest::newRow("-7 down") << -7 << 5 << 17 << 0;
    QTest::newRow("top of the range down") << 32767 << 255 << 17 << 32512;
    QTest::newRow("top of the range up") << 32767 << 255 << 16 << 255;
    QTest::newRow("bottom of the range down") << -32768 << 255 << 17 << 0;
}

void TestRemoteControl::volume()
{
    QFETCH(int, start);
    QFETCH(int, step);
    QFETCH(int, command);
    QFETCH(int, expected);
    RemoteHarness h;
    h.remote.vol = qint16(start);
    h.store.setValue(Keys::volSteps, QString::number(step));
    // The player has the step before the file is written.
    bool sentBeforeWrite = false;
    h.store.onAccess = [&](const QString &access) {
        if (access.startsWith(QLatin1String("write(volume=")))
            sentBeforeWrite = waitForIdle(h.session, 5000) && h.player.volume == expected;
    };
    h.remote.dispatch(Command(command));
    QVERIFY(sentBeforeWrite);
    QVERIFY(h.settle());
    QCOMPARE(int(h.remote.vol), expected);
    QCOMPARE(h.store.values.value(Keys::volume), QString::number(expected));
    QCOMPARE(h.player.actions(), QStringList{QStringLiteral("setVolume(%1)").arg(expected)});
}

void TestRemoteControl::shuffle_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<bool>("state");
    QTest::addColumn<bool>("queryFails");
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<bool>("stateAfter");
    QTest::addColumn<bool>("hasShuffle");
    QTest::addColumn<QString>("text");
    const QStringList toggleAndPlay{"toggleShuffle", "play"};
    const QStringList playOnly{"play"};
    const QString on = QStringLiteral("player shuffle on");
    const QString off = QStringLiteral("player shuffle off");
    const QString none = QStringLiteral("player has no shuffle");
    QTest::newRow("on while off") << 14 << false << false << toggleAndPlay << true << true << on;
    QTest::newRow("on while on") << 14 << true << false << playOnly << true << true << on;
    QTest::newRow("off while on") << 15 << true << false << toggleAndPlay << false << true << off;
    QTest::newRow("off while off") << 15 << false << false << playOnly << false << true << off;
    QTest::newRow("on, query fails") << 14 << false << true << playOnly << false << true << on;
    QTest::newRow("off, query fails") << 15 << true << true << playOnly << true << true << off;
    // The player is not even asked about a shuffle it does not have.
    QTest::newRow("on, player has none")
        << 14 << false << false << playOnly << false << false << none;
    QTest::newRow("off, player has none")
        << 15 << true << false << playOnly << true << false << none;
}

void TestRemoteControl::shuffle()
{
    QFETCH(int, command);
    QFETCH(bool, state);
    QFETCH(bool, queryFails);
    QFETCH(QStringList, actions);
    QFETCH(bool, stateAfter);
    QFETCH(bool, hasShuffle);
    QFETCH(QString, text);
    RemoteHarness h([&](RecordingPlayer &player) {
        player.shuffle = state;
        player.shuffleMode = hasShuffle;
        if (queryFails)
            player.failing.insert(QStringLiteral("getShuffle"));
    });
    h.remote.dispatch(Command(command));
    QCOMPARE(h.view.commandText, text);
    QVERIFY(h.settle());
    QCOMPARE(h.player.calls.contains(QStringLiteral("getShuffle")), hasShuffle);
    QCOMPARE(h.player.actions(), actions);
    QCOMPARE(h.player.shuffle, stateAfter);
}

void TestRemoteControl::failingOperationsAreSkipped_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("failing");
    QTest::newRow("pause") << 8 << "pause" << QStringList{"pause"} << "pause";
    QTest::newRow("back") << 9 << "go back 5 sec" << QStringList{"back5Seconds"} << "back5Seconds";
    QTest::newRow("next") << 11 << "advance" << QStringList{"nextTrack"} << "nextTrack";
    QTest::newRow("song unknown, thumbs up")
        << 12 << "add to Thumbs Up List" << QStringList{"getCurrentSong"} << "getCurrentSong";
    QTest::newRow("song unknown, thumbs down")
        << 13 << "add to Thumbs Down List" << QStringList{"getCurrentSong", "nextTrack"}
        << "getCurrentSong";
    QTest::newRow("toggle") << 14 << "player shuffle on"
                            << QStringList{"getShuffle", "toggleShuffle", "play"}
                            << "toggleShuffle";
    QTest::newRow("volume") << 16 << "vol up" << QStringList{"setVolume(130)"} << "setVolume";
}

void TestRemoteControl::failingOperationsAreSkipped()
{
    QFETCH(int, command);
    QFETCH(QString, text);
    QFETCH(QStringList, calls);
    QFETCH(QString, failing);
    RemoteHarness h([&](RecordingPlayer &player) {
        player.currentSong = QStringLiteral("stale song");
        player.failing.insert(failing);
    });
    h.store.setValue(Keys::notify, QStringLiteral("False")); // no song asked after "next"
    h.remote.vol = 125;
    h.remote.dispatch(Command(command));
    QVERIFY(h.settle());
    QCOMPARE(h.player.calls, calls);
    QCOMPARE(h.view.commandText, text);
    // A song the player could not report is not added to either list.
    QVERIFY(h.view.thumbsUp.isEmpty());
    QVERIFY(h.view.thumbsDown.isEmpty());
    if (command == 8)
        QCOMPARE(h.remote.timeOver, quint8(0));
    if (command == 16)
        QCOMPARE(h.store.values.value(Keys::volume), QStringLiteral("130"));
}

void TestRemoteControl::unknownCommandDoesNothing()
{
    RemoteHarness h;
    h.remote.dispatch(Command(18));
    h.remote.dispatch(Command(255));
    QVERIFY(h.settle());
    QVERIFY(h.player.calls.isEmpty());
    QVERIFY(h.view.commandText.isEmpty());
}

// The session follows the player between keys; dispatch takes its word.
void TestRemoteControl::keysFollowThePlayerComingAndGoing()
{
    RemoteHarness h;
    h.player.setRunning(false);
    h.remote.dispatch(Command::Advance);
    QCOMPARE(h.view.commandText, QString());
    h.player.setRunning(true);
    h.remote.dispatch(Command::Advance);
    QCOMPARE(h.view.commandText, QStringLiteral("advance"));
    QVERIFY(h.settle());
    QCOMPARE(h.player.calls, QStringList{QStringLiteral("nextTrack")});
}

// A session whose factory makes no player: every key that needs one does nothing.
void TestRemoteControl::withoutAPlayerComponent()
{
    MemorySettingsStore store;
    store.setValue(Keys::volume, QStringLiteral("90"));
    store.setValue(Keys::playlist(1), QStringLiteral("/m/a.m3u"));
    SettingsModel settings(store);
    RecordingView view;
    PlayerSession session([] { return std::unique_ptr<PlayerControl>(); });
    RemoteControl remote(settings, view, session);
    remote.getOptions();
    QCOMPARE(remote.vol, qint16(90));

    remote.dispatch(Command::FirstPlaylist);
    QCOMPARE(view.commandText, QStringLiteral("/m/a.m3u"));
    remote.dispatch(Command::VolumeUp);
    QCOMPARE(remote.vol, qint16(90));
}

void TestRemoteControl::getOptions_data()
{
    QTest::addColumn<QString>("key"); // a null string: nothing stored
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("optLower");
    QTest::addColumn<int>("vol");
    QTest::newRow("nothing stored") << QString() << QString() << true << 125;
    QTest::newRow("bank False") << Keys::bankb << "False" << false << 125;
    QTest::newRow("volume 300 kept") << Keys::volume << "300" << true << 300;
    QTest::newRow("volume bad") << Keys::volume << "loud" << true << 125;
}

// The bank and the volume are taken, the volume is sent, nothing is written.
void TestRemoteControl::getOptions()
{
    QFETCH(QString, key);
    QFETCH(QString, stored);
    QFETCH(bool, optLower);
    QFETCH(int, vol);
    RemoteHarness h;
    if (!key.isNull())
        h.store.setValue(key, stored);
    h.store.accesses.clear();
    h.remote.optLower = !optLower;
    h.remote.getOptions();
    QCOMPARE(h.remote.optLower, optLower);
    QCOMPARE(int(h.remote.vol), vol);
    QVERIFY(h.settle());
    QCOMPARE(h.player.calls, QStringList{QStringLiteral("setVolume(%1)").arg(vol)});
    QCOMPARE(h.store.reads(), h.store.accesses);
}

// Everything the window is told about one received frame, in order.
void TestRemoteControl::handleFrame_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QString>("bankb");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QStringList>("actions");
    const QString emptied = QStringLiteral("showCommand()");
    QTest::newRow("one byte: nothing at all")
        << QByteArray(1, char(0x03)) << "True" << QStringList() << QStringList();
    QTest::newRow("halves differ: command emptied, frame kept")
        << bytes(0x03, 0x10) << "True" << QStringList{emptied} << QStringList();
    QTest::newRow("other house") << bytes(0x13, 0x11) << "True"
                                 << QStringList{emptied, "showFrame(B2 off)",
                                                "highlightFrame(rejected)"}
                                 << QStringList();
    QTest::newRow("all on: green, no command")
        << bytes(0x01, 0x00) << "True"
        << QStringList{emptied, "showFrame(A1 all on)", "highlightFrame(accepted)"}
        << QStringList();
    QTest::newRow("A3 on loads playlist 3")
        << bytes(0x02, 0x02) << "True"
        << QStringList{emptied, "showFrame(A3 on)", "highlightFrame(accepted)", emptied,
                       "showCommand(/music/three.m3u)"}
        << QStringList{"prepareLoad", "loadPlaylist(/music/three.m3u)", "play"};
    QTest::newRow("bank 9-16 next key")
        << bytes(0x03, 0x0B) << "False"
        << QStringList{emptied, "showFrame(A 12 off)", "highlightFrame(accepted)", emptied,
                       "showCommand(advance)"}
        << QStringList{"nextTrack"};
}

void TestRemoteControl::handleFrame()
{
    QFETCH(QByteArray, received);
    QFETCH(QString, bankb);
    QFETCH(QStringList, events);
    QFETCH(QStringList, actions);
    RemoteHarness h;
    h.store.setValue(Keys::bankb, bankb);
    h.store.setValue(Keys::playlist(3), QStringLiteral("/music/three.m3u"));
    h.remote.handleFrame(received);
    QVERIFY(h.settle());
    QCOMPARE(h.view.events, events);
    QCOMPARE(h.player.actions(), actions);
}

void TestRemoteControl::presses_data()
{
    QTest::addColumn<Frames>("frames");
    QTest::addColumn<QStringList>("keyMap"); // "name=value"
    QTest::addColumn<QStringList>("actions");

    const QString next = QStringLiteral("nextTrack");
    const QStringList none;
    QTest::newRow("next: one song") << burst(0x03, 0x03, 0) << none << QStringList{next};
    QTest::newRow("thumbs up: marked once")
        << burst(0x03, 0x04, 0) << none << QStringList{"addThumbsUp(/music/song.mp3)"};
    QTest::newRow("thumbs down: marked once, one song on")
        << burst(0x03, 0x05, 0) << none << QStringList{"addThumbsDown(/music/song.mp3)", next};
    QTest::newRow("playlist: loaded once")
        << burst(0x02, 0x02, 0) << none
        << QStringList{"prepareLoad", "loadPlaylist(/music/three.m3u)", "play"};
    QTest::newRow("pause held: once") << burst(0x03, 0x00, 0, 12) << none << QStringList{"pause"};
    QTest::newRow("shuffle: once")
        << burst(0x03, 0x06, 0) << none << QStringList{"toggleShuffle", "play"};
    QTest::newRow("two presses, 0.6 s apart")
        << burst(0x03, 0x03, 0) + burst(0x03, 0x03, 960) << none << QStringList{next, next};
    QTest::newRow("next, then previous") << burst(0x03, 0x03, 0) + burst(0x03, 0x02, 500) << none
                                         << QStringList{next, "previousTrack"};
    QStringList steps;
    for (int level = 130; level <= 200; level += 5)
        steps << QStringLiteral("setVolume(%1)").arg(level);
    QTest::newRow("bright held 1.3 s: a step at every repeat")
        << burst(0x05, 0x00, 0, 15) << none << steps;
    QTest::newRow("a stuck key stops after 10 s")
        << burst(0x03, 0x03, 0, 120, 100) << QStringList{"A4off=repeat next"}
        << QStringList(101, next);
    QTest::newRow("bound, in another house")
        << burst(0x23, 0x23, 0) << QStringList{"C4off=next"} << QStringList{next};
    QTest::newRow("all on, bound")
        << burst(0x11, 0x10, 0) << QStringList{"Ballon=pause"} << QStringList{"pause"};
    QTest::newRow("none silences") << burst(0x03, 0x03, 0) << QStringList{"A4off=none"} << none;
    QTest::newRow("swapped") << burst(0x03, 0x03, 0) + burst(0x03, 0x02, 500)
                             << QStringList{"A4off=previous", "A3off=next"}
                             << QStringList{"previousTrack", next};
    QTest::newRow("bright once") << burst(0x05, 0x00, 0, 15) << QStringList{"Abright=once volumeup"}
                                 << QStringList{"setVolume(130)"};
    QTest::newRow("repeat after a delay")
        << burst(0x23, 0x23, 0, 11, 100) << QStringList{"C4off=repeat after 500ms next"}
        << QStringList(7, next);
    QTest::newRow("unreadable binding: the default")
        << burst(0x03, 0x03, 0) << QStringList{"A4off=skip"} << QStringList{next};
    QTest::newRow("another house, unbound") << burst(0x23, 0x23, 0) << none << none;
}

// The clock is the test's: frames arrive at the times the table gives.
void TestRemoteControl::presses()
{
    QFETCH(Frames, frames);
    QFETCH(QStringList, keyMap);
    QFETCH(QStringList, actions);
    RemoteHarness h([](RecordingPlayer &player) {
        player.currentSong = QStringLiteral("/music/song.mp3");
        player.shuffle = false;
    });
    h.store.setValue(Keys::playlist(3), QStringLiteral("/music/three.m3u"));
    for (const QString &binding : keyMap)
        h.store.keys.insert(binding.section(u'=', 0, 0), binding.section(u'=', 1));
    qint64 now = 0;
    h.remote.setClock([&now] { return now; });
    QVERIFY(h.settle());
    // The player keeps up with a remote: a frame comes every 90 ms at most.
    for (const auto &[frame, atMs] : frames) {
        now = atMs;
        h.remote.handleFrame(frame);
        QVERIFY(h.settle());
    }
    QVERIFY(h.settle());
    QStringList done = h.player.actions();
    for (const QString &song : h.view.thumbsUp)
        done.prepend(QStringLiteral("addThumbsUp(%1)").arg(song));
    for (const QString &song : h.view.thumbsDown)
        done.prepend(QStringLiteral("addThumbsDown(%1)").arg(song));
    QCOMPARE(done, actions);
}

// Every frame is shown; the action line shows the action once, and a stuck
// key says so once.
void TestRemoteControl::pressesShowTheirActionOnce()
{
    RemoteHarness h;
    qint64 now = 0;
    h.remote.setClock([&now] { return now; });
    for (const auto &[frame, atMs] : burst(0x03, 0x03, 0, 120, 100)) {
        now = atMs;
        h.remote.handleFrame(frame);
    }
    QVERIFY(h.settle());
    QCOMPARE(h.view.events.count(QStringLiteral("showFrame(A4 off)")), 120);
    QCOMPARE(h.view.commandHistory(), (QStringList{QString(), QString(), "advance",
                                                   "A4off held too long: ignored until "
                                                   "released"}));
}

// A bound program runs once for each press, in the home folder, with its key;
// one that cannot start says so in the action line.
void TestRemoteControl::runBindings()
{
    QTemporaryDir dir;
    const QString ran = dir.filePath(QStringLiteral("ran"));
    RemoteHarness h;
    h.store.keys.insert(QStringLiteral("B3on"),
                        QStringLiteral("run sh -c 'echo \"$KAVELO_KEY $PWD\" >> \"$0\"' ") + ran);
    h.store.keys.insert(QStringLiteral("B4on"), QStringLiteral("run kavelo-no-such-program"));
    qint64 now = 0;
    h.remote.setClock([&now] { return now; });
    for (const auto &[frame, atMs] : burst(0x12, 0x12, 0) + burst(0x12, 0x12, 1000)) {
        now = atMs;
        h.remote.handleFrame(frame);
    }
    const auto lines = [&ran] {
        QFile file(ran);
        if (!file.open(QIODevice::ReadOnly))
            return QStringList();
        return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    };
    const QString line = QStringLiteral("B3on ") + QDir::homePath();
    QTRY_COMPARE(lines(), (QStringList{line, line}));
    QVERIFY(h.view.commandText.startsWith(QLatin1String("run sh -c ")));

    now = 3000;
    h.remote.handleFrame(bytes(0x12, 0x13));
    QTRY_COMPARE(h.view.commandText,
                 QStringLiteral("cannot run kavelo-no-such-program: No such file or directory"));
}

void TestRemoteControl::commandsFromOutside_data()
{
    QTest::addColumn<QString>("payload");
    QTest::addColumn<bool>("done");
    QTest::addColumn<QStringList>("actions");

    QTest::newRow("action") << "next" << true << QStringList{"nextTrack"};
    QTest::newRow("key of the bank") << " A4off\n" << true << QStringList{"nextTrack"};
    QTest::newRow("key map applies") << "C1on" << true << QStringList{"previousTrack"};
    QTest::newRow("a key of another house does nothing") << "D1on" << true << QStringList();
    QTest::newRow("a program is never run") << "B3on" << false << QStringList();
    QTest::newRow("unknown") << "skip" << false << QStringList();
    QTest::newRow("empty") << "" << false << QStringList();
    QTest::newRow("json") << R"({"action":"next"})" << false << QStringList();
}

void TestRemoteControl::commandsFromOutside()
{
    QFETCH(QString, payload);
    QFETCH(bool, done);
    QFETCH(QStringList, actions);
    QTemporaryDir dir;
    RemoteHarness h;
    h.store.keys.insert(QStringLiteral("C1on"), QStringLiteral("previous"));
    h.store.keys.insert(QStringLiteral("B3on"), "run touch " + dir.filePath("ran"));
    QCOMPARE(h.remote.command(payload), done);
    QVERIFY(h.settle());
    QCOMPARE(h.player.actions(), actions);
    QTest::qWait(100);
    QVERIFY(!QFile::exists(dir.filePath("ran")));
}

// One key event a press, and one more when the key is still held a second
// later; every frame of this machine's receiver, none of another room's.
void TestRemoteControl::theHouseHearsEachPressOnce()
{
    RemoteHarness h;
    RecordingHouse house;
    h.remote.setHouse(&house);
    qint64 now = 0;
    h.remote.setClock([&now] { return now; });
    for (const auto &[frame, atMs] :
         burst(0x03, 0x03, 0, 3) + burst(0x13, 0x13, 500, 1) + burst(0x05, 0x00, 1000, 13, 100)) {
        now = atMs;
        h.remote.handleFrame(frame);
        QVERIFY(h.settle());
    }
    h.remote.handleFrame(bytes(0x03, 0x03), RemoteControl::FrameSource::OtherRoom);
    QCOMPARE(house.heard.filter(QStringLiteral("press")),
             (QStringList{"A4off press next", "B4off press ", "Abright press volumeup",
                          "A4off press next"}));
    QCOMPARE(house.heard.filter(QStringLiteral("hold")), QStringList{"Abright hold volumeup"});
    QCOMPARE(house.heard.filter(QStringLiteral("frame")).size(), 17);
    QCOMPARE(house.heard.count(QStringLiteral("action vol up")), 13);
}

QTEST_GUILESS_MAIN(TestRemoteControl)
#include "TestRemoteControl.moc"
