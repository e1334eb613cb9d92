// SPDX-License-Identifier: GPL-3.0-or-later
// The player session: its order, its bound, a window that goes on answering
// while the player is frozen, and a close that does not wait for it.

#include "RemoteHarness.h"

#include "core/PlayerSession.h"
#include "core/Settings.h"

#include <QElapsedTimer>
#include <QSemaphore>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace {
// As long as a frozen player makes each call wait before it gives up.
constexpr int frozenCallMs = 500;

const char *const droppedWarning =
    "the player does not keep up; key presses are dropped until it has caught up";
} // namespace

class TestPlayerSession : public QObject
{
    Q_OBJECT

private slots:
    void keepsOrderAndDropsBeyondItsBound();
    void windowAnswersWhileThePlayerIsFrozen();
    void closingWaitsForOneCallAtMost();
    void anotherPlayerTakesTheJobsPostedAfterIt();
    void aKeyGoesToAPlayerBeingMade_data();
    void aKeyGoesToAPlayerBeingMade();
};

void TestPlayerSession::keepsOrderAndDropsBeyondItsBound()
{
    RemoteHarness h;
    // The first job holds the player until the test lets it go.
    QSemaphore entered;
    QSemaphore released;
    h.player.onCall = [&](const QString &call) {
        if (call == QLatin1String("pause")) {
            entered.release();
            released.acquire();
        }
    };
    const auto volume = [](int level) {
        return [level](PlayerControl &player) { player.setVolume(qint16(level)); };
    };

    QVERIFY(h.session.post([](PlayerControl &player) { player.pause(); }));
    QVERIFY(entered.tryAcquire(1, 5000));
    QTest::ignoreMessage(QtWarningMsg, droppedWarning);
    QTest::failOnWarning(QRegularExpression(QStringLiteral("dropped")));
    QStringList accepted{QStringLiteral("pause")};
    for (int level = 1; level <= 10; ++level) {
        const bool queued = h.session.post(volume(level));
        QCOMPARE(queued, level <= PlayerSession::kMaxWaitingJobs);
        if (queued)
            accepted << QStringLiteral("setVolume(%1)").arg(level);
    }
    released.release();
    QVERIFY(h.settle());
    QCOMPARE(h.player.calls, accepted);

    // Caught up: keys go through again.
    QVERIFY(h.session.post(volume(11)));
    QVERIFY(h.settle());
    QCOMPARE(h.player.calls.constLast(), QStringLiteral("setVolume(11)"));
}

// Keys keep coming while every player call takes as long as a frozen player
// lets it: the window shows each at once and its event loop never stands still.
void TestPlayerSession::windowAnswersWhileThePlayerIsFrozen()
{
    RemoteHarness h;
    h.player.onCall = [](const QString &) { QThread::msleep(frozenCallMs); };
    h.store.setValue(Keys::playlist(1), QStringLiteral("/music/one.m3u"));

    QElapsedTimer sinceTick;
    qint64 longestStall = 0;
    QTimer ticker;
    ticker.setInterval(10);
    connect(&ticker, &QTimer::timeout, this,
            [&] { longestStall = std::max(longestStall, sinceTick.restart()); });

    // Playlist key, next, bright, one every 100 ms; most get dropped.
    const QList<Command> keys{Command::FirstPlaylist, Command::Advance, Command::VolumeUp};
    int pressed = 0;
    QStringList shown;
    QTimer remote;
    remote.setInterval(100);
    connect(&remote, &QTimer::timeout, this, [&] {
        h.remote.dispatch(keys.at(pressed++ % keys.size()));
        shown << h.view.commandText;
    });

    QTest::ignoreMessage(QtWarningMsg, droppedWarning);
    sinceTick.start();
    ticker.start();
    remote.start();
    QTRY_COMPARE_WITH_TIMEOUT(pressed, 15, 5000);
    remote.stop();
    // Waiting for the player would stand still for a whole frozen call; the
    // 50 ms the window must keep to is measured by bench/window-stall, where
    // a loaded machine cannot make a test fail.
    QVERIFY2(longestStall < frozenCallMs / 2, qPrintable(QString::number(longestStall)));
    QCOMPARE(shown.mid(0, 3), (QStringList{"/music/one.m3u", "advance", "vol up"}));
    QCOMPARE(h.remote.vol, qint16(125 + 5 * 5));
}

// A job of several calls to a frozen player: closing waits for the call that
// runs, and the calls after it give up at once.
void TestPlayerSession::closingWaitsForOneCallAtMost()
{
    QSemaphore entered;
    auto h = std::make_unique<RemoteHarness>();
    h->player.onCall = [&](const QString &) {
        entered.release();
        QThread::msleep(frozenCallMs);
    };
    QVERIFY(h->session.post([](PlayerControl &frozen) {
        frozen.prepareLoad();
        frozen.loadPlaylist(QStringLiteral("/music/one.m3u"));
        frozen.play();
    }));
    QVERIFY(entered.tryAcquire(1, 5000));

    QElapsedTimer clock;
    clock.start();
    h.reset();
    QVERIFY2(clock.elapsed() < frozenCallMs + 200, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(entered.available(), 0); // no call after the first reached the player
}

// The player is replaced while a job holds the old one and another waits for
// it: both stay with the old player, and what comes after goes to the new one.
void TestPlayerSession::anotherPlayerTakesTheJobsPostedAfterIt()
{
    QSemaphore entered;
    QSemaphore released;
    QStringList oldCalls;
    QStringList newCalls;
    const auto recording = [](QStringList &calls) {
        auto player = std::make_unique<RecordingPlayer>();
        player->onCall = [&calls](const QString &call) { calls << call; };
        return player;
    };
    auto old = recording(oldCalls);
    old->onCall = [&](const QString &call) {
        oldCalls << call;
        if (call == QLatin1String("pause")) {
            entered.release();
            released.acquire();
        }
    };
    PlayerSession session([&] { return std::move(old); });

    QVERIFY(session.post([](PlayerControl &player) { player.pause(); }));
    QVERIFY(entered.tryAcquire(1, 5000));
    QVERIFY(session.post([](PlayerControl &player) { player.nextTrack(); }));
    session.replacePlayer([&] { return recording(newCalls); });
    QVERIFY(session.post([](PlayerControl &player) { player.previousTrack(); }));
    released.release();
    QVERIFY(waitForIdle(session, 5000));

    QCOMPARE(oldCalls, (QStringList{"findPlayer", "pause", "nextTrack"}));
    QCOMPARE(newCalls, (QStringList{"findPlayer", "previousTrack"}));
}

void TestPlayerSession::aKeyGoesToAPlayerBeingMade_data()
{
    QTest::addColumn<bool>("newRuns");
    QTest::newRow("the new player runs") << true;
    QTest::newRow("the new player does not run") << false;
}

// A key right after another player was chosen, from a player that did not run:
// the session counts as running until the new player has said whether it runs.
void TestPlayerSession::aKeyGoesToAPlayerBeingMade()
{
    QFETCH(bool, newRuns);
    const auto player = [](bool running) {
        auto made = std::make_unique<RecordingPlayer>();
        made->running = running;
        return made;
    };
    PlayerSession session([&] { return player(false); });
    QVERIFY(!session.running());
    // The session's thread is kept busy, so the new player is not made yet.
    QSemaphore released;
    QVERIFY(session.post([&](PlayerControl &) { released.acquire(); }));
    session.replacePlayer([&] { return player(newRuns); });
    QVERIFY(session.running());
    released.release();
    QVERIFY(waitForIdle(session, 5000));
    QCOMPARE(session.running(), newRuns);
}

QTEST_GUILESS_MAIN(TestPlayerSession)
#include "TestPlayerSession.moc"
