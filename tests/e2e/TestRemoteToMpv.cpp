// Key presses on the remote, end to end, with mpv as the player: the adapter
// emulator's pseudo-terminal, the main window, MPRIS on a private session bus,
// and mpv's own control socket to see what mpv really does.

#include "E2eWindow.h"
#include "PlayerPeers.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {
const QString mpvService = QStringLiteral("org.mpris.MediaPlayer2.mpv");
const QStringList songs{QStringLiteral("one.wav"), QStringLiteral("with space.wav"),
                        QStringLiteral("three.wav")};

} // namespace

class TestRemoteToMpv : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void playlistKeyLoadsAndPlays();
    void transportKeys_data();
    void transportKeys();
    void volume_data();
    void volume();
    void thumbsUpTakesTheSongsPath();
    void mpvThatQuitsIsDrivenAgainOnceBack();

private:
    QString song(int n) const { return root_.filePath(QStringLiteral("music/") + songs.at(n)); }
    // A command on mpv's own control socket; true when mpv accepted it.
    bool mpvCommand(const QJsonArray &command);
    QString mpvStatus();
    double mpvSeconds() { return mpv_->property(QStringLiteral("time-pos")).toDouble(); }
    void startMpv();
    void startWithPlaylist3();

    QTemporaryDir root_;
    SessionBus bus_;
    std::unique_ptr<Mpv> mpv_;
    QString playlist3_;
    std::unique_ptr<E2eWindow> kavelo_;
};

void TestRemoteToMpv::initTestCase()
{
    QVERIFY(root_.isValid());
    qputenv("XDG_CONFIG_HOME", root_.filePath(QStringLiteral("config")).toLocal8Bit());
    // Before anything touches the session bus: this test has its own.
    QVERIFY2(bus_.start(), "dbus-daemon did not start");
    QVERIFY2(!Mpv::mprisPlugin().isEmpty(), "the mpv-mpris plugin is not installed");

    QVERIFY(QDir(root_.path()).mkpath(QStringLiteral("music")));
    QFile list(root_.filePath(QStringLiteral("music/third list.m3u")));
    QVERIFY(list.open(QIODevice::WriteOnly));
    list.write("#EXTM3U\n");
    for (int n = 0; n < songs.size(); ++n) {
        QVERIFY(writeWav(song(n), 30));
        list.write(song(n).toUtf8() + '\n');
    }
    list.close();
    playlist3_ = list.fileName();

    mpv_ = std::make_unique<Mpv>(root_.filePath(QStringLiteral("mpv-control")));
    startMpv();
}

void TestRemoteToMpv::init()
{
    if (mpv_->process().state() != QProcess::Running)
        startMpv();
    QVERIFY(mpvCommand({QStringLiteral("stop")}));
    QVERIFY(mpvCommand({QStringLiteral("set_property"), QStringLiteral("pause"), false}));
    QTRY_COMPARE(mpvStatus(), QStringLiteral("Stopped"));

    QVERIFY(E2eWindow::clearSettings());
    kavelo_ = std::make_unique<E2eWindow>();
    SettingsStore &store = kavelo_->store();
    store.setValue(Keys::player, QStringLiteral("mpris"));
    store.setValue(Keys::mprisPlayer, QStringLiteral("mpv"));
    store.setValue(Keys::playlist(3), playlist3_);
}

void TestRemoteToMpv::cleanup()
{
    kavelo_.reset();
}

void TestRemoteToMpv::startMpv()
{
    QVERIFY(mpv_->start());
    QTRY_VERIFY_WITH_TIMEOUT(onBus(mpvService), 10000);
}

bool TestRemoteToMpv::mpvCommand(const QJsonArray &command)
{
    QLocalSocket socket;
    socket.connectToServer(root_.filePath(QStringLiteral("mpv-control")));
    if (!socket.waitForConnected(3000))
        return false;
    const QJsonObject request{{QStringLiteral("command"), command},
                              {QStringLiteral("request_id"), 9}};
    socket.write(QJsonDocument(request).toJson(QJsonDocument::Compact) + '\n');
    while (socket.waitForReadyRead(3000) || socket.canReadLine()) {
        while (socket.canReadLine()) {
            const QJsonObject reply = QJsonDocument::fromJson(socket.readLine()).object();
            if (reply.value(QStringLiteral("request_id")).toInt() == 9)
                return reply.value(QStringLiteral("error")).toString() == QLatin1String("success");
        }
    }
    return false;
}

// mpv's own word for its state: its MPRIS plugin can lag behind after a stop.
QString TestRemoteToMpv::mpvStatus()
{
    if (mpv_->property(QStringLiteral("idle-active")).toBool())
        return QStringLiteral("Stopped");
    return mpv_->property(QStringLiteral("pause")).toBool() ? QStringLiteral("Paused")
                                                            : QStringLiteral("Playing");
}

void TestRemoteToMpv::startWithPlaylist3()
{
    QVERIFY(kavelo_->start());
    QVERIFY(kavelo_->press(QStringLiteral("A3 on"), QStringLiteral("A3 on")));
    QTRY_COMPARE(mpv_->property(QStringLiteral("path")).toString(), song(0));
    QTRY_COMPARE(mpvStatus(), QStringLiteral("Playing"));
}

void TestRemoteToMpv::playlistKeyLoadsAndPlays()
{
    startWithPlaylist3();
    QCOMPARE(kavelo_->command(), playlist3_);
    QCOMPARE(mpv_->property(QStringLiteral("playlist-count")).toInt(), songs.size());

    // Pressed again while a later song plays: the list starts over from its top.
    QVERIFY(mpvCommand({QStringLiteral("playlist-next")}));
    QTRY_COMPARE(mpv_->property(QStringLiteral("path")).toString(), song(1));
    QVERIFY(kavelo_->press(QStringLiteral("A3 on"), QStringLiteral("A3 on")));
    QTRY_COMPARE(mpv_->property(QStringLiteral("path")).toString(), song(0));
    QTRY_COMPARE(mpvStatus(), QStringLiteral("Playing"));
    QCOMPARE(mpv_->property(QStringLiteral("playlist-count")).toInt(), songs.size());
}

void TestRemoteToMpv::transportKeys_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("fromSong");
    QTest::addColumn<double>("fromSeconds"); // < 0: playing, else paused there
    QTest::addColumn<int>("toSong");
    QTest::addColumn<double>("toSeconds"); // < 0: not checked
    QTest::addColumn<QString>("status");

    QTest::newRow("next") << "A4 off"
                          << "advance" << 0 << -1.0 << 1 << -1.0 << "Playing";
    QTest::newRow("previous") << "A3 off"
                              << "previous" << 1 << -1.0 << 0 << -1.0 << "Playing";
    QTest::newRow("pause") << "A1 off"
                           << "pause" << 0 << -1.0 << 0 << -1.0 << "Paused";
    QTest::newRow("pause again resumes") << "A1 off"
                                         << "pause" << 0 << 4.0 << 0 << -1.0 << "Playing";
    QTest::newRow("back 5 seconds") << "A2 off"
                                    << "go back 5 sec" << 1 << 12.0 << 1 << 7.0 << "Paused";
}

void TestRemoteToMpv::transportKeys()
{
    QFETCH(QString, key);
    QFETCH(QString, text);
    QFETCH(int, fromSong);
    QFETCH(double, fromSeconds);
    QFETCH(int, toSong);
    QFETCH(double, toSeconds);
    QFETCH(QString, status);

    startWithPlaylist3();
    if (fromSong > 0) {
        QVERIFY(
            mpvCommand({QStringLiteral("set_property"), QStringLiteral("playlist-pos"), fromSong}));
        QTRY_COMPARE(mpv_->property(QStringLiteral("path")).toString(), song(fromSong));
    }
    if (fromSeconds >= 0) {
        QVERIFY(mpvCommand({QStringLiteral("set_property"), QStringLiteral("pause"), true}));
        QTRY_COMPARE(mpvStatus(), QStringLiteral("Paused"));
        // mpv refuses a seek until the song has been opened.
        QTRY_VERIFY(mpvCommand({QStringLiteral("seek"), fromSeconds, QStringLiteral("absolute")}));
        QTRY_VERIFY(qAbs(mpvSeconds() - fromSeconds) < 0.3);
    }

    QVERIFY(kavelo_->press(key, key));
    QCOMPARE(kavelo_->command(), text);
    QTRY_COMPARE(mpv_->property(QStringLiteral("path")).toString(), song(toSong));
    QTRY_COMPARE(mpvStatus(), status);
    if (toSeconds >= 0)
        QTRY_VERIFY2(qAbs(mpvSeconds() - toSeconds) < 0.5,
                     qPrintable(QString::number(mpvSeconds())));
}

void TestRemoteToMpv::volume_data()
{
    QTest::addColumn<QString>("storedVolume");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("level");

    QTest::newRow("the stored volume reaches mpv at start")
        << "200" << QString() << QString() << 200;
    QTest::newRow("bright") << "125"
                            << "A bright"
                            << "A1 brt" << 130;
    QTest::newRow("dim") << "125"
                         << "A dim"
                         << "A1 dim" << 120;
    QTest::newRow("bright stops at 255") << "253"
                                         << "A bright"
                                         << "A1 brt" << 255;
}

void TestRemoteToMpv::volume()
{
    QFETCH(QString, storedVolume);
    QFETCH(QString, key);
    QFETCH(QString, shown);
    QFETCH(int, level);

    QVERIFY(mpvCommand({QStringLiteral("set_property"), QStringLiteral("volume"), 33}));
    kavelo_->store().setValue(Keys::volume, storedVolume);
    QVERIFY(kavelo_->start());
    if (!key.isEmpty())
        QVERIFY(kavelo_->press(key, shown));

    QCOMPARE(int(kavelo_->window().remote().vol), level);
    if (!key.isEmpty())
        QCOMPARE(kavelo_->storedSetting(Keys::volume), QString::number(level));
    const double percent = level * 100 / 255.0;
    QTRY_VERIFY2(qAbs(mpv_->property(QStringLiteral("volume")).toDouble() - percent) < 0.05,
                 qPrintable(mpv_->property(QStringLiteral("volume")).toString()));
}

void TestRemoteToMpv::thumbsUpTakesTheSongsPath()
{
    startWithPlaylist3();
    QVERIFY(mpvCommand({QStringLiteral("set_property"), QStringLiteral("playlist-pos"), 1}));
    QTRY_COMPARE(mpv_->property(QStringLiteral("path")).toString(), song(1));

    QVERIFY(kavelo_->press(QStringLiteral("A5 off"), QStringLiteral("A5 off")));
    QCOMPARE(kavelo_->command(), QStringLiteral("add to Thumbs Up List"));
    QListWidget *list = kavelo_->window().listTU;
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->item(0)->text(), song(1));
}

void TestRemoteToMpv::mpvThatQuitsIsDrivenAgainOnceBack()
{
    startWithPlaylist3();
    const PlayerSession &session = kavelo_->window().remote().session();
    mpv_->kill();
    // The bus tells the session; nobody asks.
    QTRY_VERIFY(!session.running());

    {
        StallMeter stall;
        QVERIFY(kavelo_->press(QStringLiteral("A4 off"), QStringLiteral("A4 off")));
        QCOMPARE(kavelo_->command(), QString());
        QVERIFY(stall.nextTick());
        QVERIFY(kavelo_->press(QStringLiteral("A bright"), QStringLiteral("A1 brt")));
        QCOMPARE(kavelo_->command(), QString());
        // Well under one call's 500 ms limit: the window never waited for the
        // player. The 50 ms it keeps to is bench/window-stall's to measure.
        QVERIFY2(stall.longestMs() < 250, qPrintable(QString::number(stall.longestMs())));
    }
    QCOMPARE(int(kavelo_->window().remote().vol), 125);

    startMpv();
    QTRY_VERIFY(session.running());
    QVERIFY(kavelo_->press(QStringLiteral("A3 on"), QStringLiteral("A3 on")));
    QTRY_COMPARE(mpv_->property(QStringLiteral("path")).toString(), song(0));
    QTRY_COMPARE(mpvStatus(), QStringLiteral("Playing"));
    QVERIFY(kavelo_->press(QStringLiteral("A4 off"), QStringLiteral("A4 off")));
    QCOMPARE(kavelo_->command(), QStringLiteral("advance"));
    QTRY_COMPARE(mpv_->property(QStringLiteral("path")).toString(), song(1));
}

QTEST_MAIN(TestRemoteToMpv)
#include "TestRemoteToMpv.moc"
