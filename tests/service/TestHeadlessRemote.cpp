// SPDX-License-Identifier: GPL-3.0-or-later
// The real service, started as its units start it and as `kavelo --headless`
// hands over to it: no display variables, the settings file in a temporary
// XDG_CONFIG_HOME, frames on the adapter emulator's pseudo-terminal driving a
// real MPD.

#include "AdapterEmulator.h"
#include "PlayerPeers.h"
#include "TestEnvironment.h"
#include "Version.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <csignal>

namespace {
const QStringList songs = {QStringLiteral("one.wav"), QStringLiteral("two.wav"),
                           QStringLiteral("three.wav")};

} // namespace

class TestHeadlessRemote : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void helpAndVersionNeedNoDisplay_data();
    void helpAndVersionNeedNoDisplay();
    void remoteDrivesMpdWithoutADisplay();
    void burstsAreOnePressEach();

private:
    // No display, no session bus: a music server's service.
    QProcessEnvironment serverEnvironment() const;
    // Starts `program` with `arguments`; its standard error collects in errors_.
    bool startService(QProcess &service, const QString &program, const QStringList &arguments);
    bool said(const QString &line) { return errors_.contains(line); }
    int times(const QString &line) const { return int(errors_.count(line + u'\n')); }
    QString state() const { return env_.state() + QStringLiteral("/kavelo/thumbs.json"); }
    QString keepers() const { return env_.work() + QStringLiteral("/keepers.m3u"); }

    TestEnvironment env_;
    std::unique_ptr<MpdServer> mpd_;
    std::unique_ptr<AdapterEmulator> adapter_;
    QString errors_;
};

void TestHeadlessRemote::initTestCase()
{
    mpd_ = std::make_unique<MpdServer>(env_.work() + QStringLiteral("/mpd"));
    for (const QString &song : songs)
        QVERIFY(writeWav(mpd_->musicFolder() + QLatin1Char('/') + song, 30));
    QVERIFY2(mpd_->start(), "MPD did not start");
    QVERIFY2(mpd_->updateDatabase(), "MPD did not scan its music folder");

    QFile list(env_.work() + QStringLiteral("/list.m3u"));
    QVERIFY(list.open(QIODevice::WriteOnly));
    for (const QString &song : songs)
        list.write(QFile::encodeName(mpd_->musicFolder() + QLatin1Char('/') + song) + '\n');
    list.close();

    adapter_ = std::make_unique<AdapterEmulator>();
    QFile settings(env_.settingsFile());
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[Startup]\ncomn=1\ncomDevice1=" + QFile::encodeName(adapter_->devicePath()) +
                   "\nplayer=mpd\nmpdHost=" + QFile::encodeName(mpd_->socketPath()) +
                   "\nplaylist3=" + QFile::encodeName(list.fileName()) +
                   "\nthumbsup=" + QFile::encodeName(keepers()) + "\nvolSteps=10\n");
}

QProcessEnvironment TestHeadlessRemote::serverEnvironment() const
{
    QProcessEnvironment environment = env_.processEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QStringLiteral("unix:path=") + env_.work() + QStringLiteral("/no-bus"));
    return environment;
}

bool TestHeadlessRemote::startService(QProcess &service, const QString &program,
                                      const QStringList &arguments)
{
    service.setProcessEnvironment(serverEnvironment());
    errors_.clear();
    connect(&service, &QProcess::readyReadStandardError, this, [this, &service] {
        errors_ += QString::fromLocal8Bit(service.readAllStandardError());
    });
    service.start(QStringLiteral(KAVELO_BINARY_DIR "/") + program, arguments);
    return service.waitForStarted() &&
           QTest::qWaitFor([&] { return said(QStringLiteral("kavelo: listening on ")); }, 10000);
}

void TestHeadlessRemote::helpAndVersionNeedNoDisplay_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("option");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("kavelo --version") << "kavelo"
                                      << "--version" << QByteArray("Kavelo " KAVELO_VERSION);
    QTest::newRow("kavelo --help") << "kavelo"
                                   << "--help" << QByteArray("--headless");
    QTest::newRow("kavelod --version") << "kavelod"
                                       << "--version" << QByteArray("kavelod " KAVELO_VERSION);
    QTest::newRow("kavelod --help") << "kavelod"
                                    << "--help" << QByteArray("--version");
    QTest::newRow("kavelo-adapter --version")
        << "kavelo-adapter"
        << "--version" << QByteArray("kavelo-adapter " KAVELO_VERSION);
}

void TestHeadlessRemote::helpAndVersionNeedNoDisplay()
{
    QFETCH(QString, program);
    QFETCH(QString, option);
    QFETCH(QByteArray, answer);
    QProcess process;
    process.setProcessEnvironment(serverEnvironment());
    process.start(QStringLiteral(KAVELO_BINARY_DIR "/") + program, {option});
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY2(process.readAllStandardOutput().contains(answer), process.readAllStandardError());
}

// One run, killed, and the next run: what the window would show goes to
// standard error, the thumbs-up key writes its playlist at once (there is no
// button to press), and a mark outlives a kill.
void TestHeadlessRemote::remoteDrivesMpdWithoutADisplay()
{
    {
        QProcess kavelo;
        QVERIFY2(startService(kavelo, QStringLiteral("kavelo"), {QStringLiteral("--headless")}),
                 qPrintable(errors_));
        // The window's program handed over: nothing of a desktop is loaded.
        const QByteArray maps = readFile(QStringLiteral("/proc/%1/maps").arg(kavelo.processId()));
        QVERIFY(maps.contains("libQt6Core"));
        for (const char *library :
             {"libQt6Gui", "libQt6Widgets", "libQt6WebEngine", "libQt6Quick", "libQt6Qml"})
            QVERIFY2(!maps.contains(library), library);

        adapter_->send(QStringLiteral("A3 on"));
        QTRY_COMPARE(mpd_->queue().size(), songs.size());
        QTRY_VERIFY(said(QStringLiteral("kavelo: frame A3 on (accepted)")));
        QTRY_VERIFY(said(QStringLiteral("kavelo: command ") + env_.work() + "/list.m3u"));

        const int before = mpd_->volume();
        adapter_->send(QStringLiteral("A dim"));
        QTRY_VERIFY(mpd_->volume() != before);
        QTRY_VERIFY(said(QStringLiteral("kavelo: command vol down")));
        adapter_->send(QStringLiteral("B3 on"));
        QTRY_VERIFY(said(QStringLiteral("kavelo: frame B3 on (other house or bank)")));

        adapter_->send(QStringLiteral("A5 off"));
        QTRY_VERIFY(readFile(keepers()).contains("one.wav"));
        QTRY_VERIFY2(QFile::exists(state()), qPrintable(errors_));
        kavelo.kill(); // SIGKILL: nothing runs on the way out
        QVERIFY(kavelo.waitForFinished(5000));
    }
    const QJsonArray kept = QJsonDocument::fromJson(readFile(state()))
                                .object()
                                .value(QStringLiteral("thumbsUp"))
                                .toArray();
    QCOMPARE(kept.size(), 1);

    QFile::remove(keepers());
    QProcess again;
    QVERIFY2(startService(again, QStringLiteral("kavelod"), {}), qPrintable(errors_));
    adapter_->send(QStringLiteral("A5 off"));
    // The mark of the killed run is in the list the next run writes.
    QTRY_COMPARE(readFile(keepers()).count(".wav"), 2);

    ::kill(pid_t(again.processId()), SIGTERM);
    QVERIFY(again.waitForFinished(5000));
    QCOMPARE(again.exitStatus(), QProcess::NormalExit);
    QCOMPARE(again.exitCode(), 0);
}

// The service with a remote that sends each press as a burst of five frames,
// 90 ms apart: each press acts once, a held bright steps at every repeat, and
// the key map, changed while the service runs, applies from the next press.
void TestHeadlessRemote::burstsAreOnePressEach()
{
    AdapterEmulator remote(QStringLiteral("trenda"), {QStringLiteral("--interval"), "90"});
    const QString ran = env_.work() + QStringLiteral("/ran");
    QFile settings(env_.settingsFile());
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[Startup]\ncomn=1\ncomDevice1=" + QFile::encodeName(remote.devicePath()) +
                   "\nplayer=mpd\nmpdHost=" + QFile::encodeName(mpd_->socketPath()) +
                   "\nplaylist3=" + QFile::encodeName(env_.work() + "/list.m3u") +
                   "\nthumbsup=" + QFile::encodeName(keepers()) + "\nvolume=100\n");
    settings.close();
    QFile::remove(keepers());
    QFile::remove(state()); // the marks of the test before
    QProcess kavelod;
    QVERIFY2(startService(kavelod, QStringLiteral("kavelod"), {}), qPrintable(errors_));

    const auto press = [&](const QString &key, const QString &said) {
        const int before = times(said);
        remote.send(key);
        return QTest::qWaitFor([&] { return times(said) > before; }, 5000);
    };
    const QString loaded = QStringLiteral("kavelo: command ") + env_.work() + "/list.m3u";
    QVERIFY(press(QStringLiteral("A3 on"), loaded));
    QTRY_COMPARE(mpd_->queue().size(), songs.size());
    QTRY_COMPARE(mpd_->status(mpd_status_get_song_pos, -1), 0);

    // A burst is one next, and two taps 0.6 s apart are two: each burst would
    // otherwise be five songs.
    const QString nextFrame = QStringLiteral("kavelo: frame A4 off (accepted)");
    QVERIFY(press(QStringLiteral("A4 off"), QStringLiteral("kavelo: command advance")));
    QTRY_COMPARE(times(nextFrame), 5);
    QTest::qWait(600);
    QVERIFY(press(QStringLiteral("A4 off"), QStringLiteral("kavelo: command advance")));
    QTRY_COMPARE(times(nextFrame), 10);
    QCOMPARE(times(QStringLiteral("kavelo: command advance")), 2);
    QTRY_COMPARE(mpd_->status(mpd_status_get_song_pos, -1), 2);
    QVERIFY(press(QStringLiteral("A3 off"), QStringLiteral("kavelo: command previous")));
    QVERIFY(press(QStringLiteral("A3 off"), QStringLiteral("kavelo: command previous")));
    QTRY_COMPARE(mpd_->status(mpd_status_get_song_pos, -1), 0);
    QCOMPARE(times(loaded), 1);
    QVERIFY(
        press(QStringLiteral("A5 off"), QStringLiteral("kavelo: command add to Thumbs Up List")));
    QTRY_VERIFY(readFile(keepers()).contains("one.wav"));

    // Held 1.3 s, bright steps the volume at every repeat it brings.
    const int quiet = times(QStringLiteral("kavelo: frame A1 brt (accepted)"));
    remote.send(QStringLiteral("hold 1300ms A bright"));
    QTRY_VERIFY(times(QStringLiteral("kavelo: frame A1 brt (accepted)")) - quiet >= 14);
    QTRY_COMPARE(times(QStringLiteral("kavelo: command vol up")),
                 times(QStringLiteral("kavelo: frame A1 brt (accepted)")) - quiet);
    QTRY_VERIFY(mpd_->volume() >= (100 + 14 * 5) * 100 / 255);

    // The key map, written while the service runs: another house's key runs a
    // program once a press, and "none" silences a key.
    QVERIFY(settings.open(QIODevice::Append));
    settings.write("\n[Keys]\nB3on=run sh -c 'echo \"$KAVELO_KEY\" >> \"$0\"' " +
                   QFile::encodeName(ran) + "\nA4off=none\n");
    settings.close();
    QTest::qWait(500); // the service takes the file in
    QVERIFY(press(QStringLiteral("B3 on"), QStringLiteral("kavelo: frame B3 on (accepted)")));
    QVERIFY(press(QStringLiteral("B3 on"), QStringLiteral("kavelo: frame B3 on (accepted)")));
    QTRY_COMPARE(readFile(ran), QByteArray("B3on\nB3on\n"));
    QVERIFY(press(QStringLiteral("A4 off"),
                  QStringLiteral("kavelo: frame A4 off (other house or bank)")));
    QTest::qWait(300);
    QCOMPARE(mpd_->status(mpd_status_get_song_pos, -1), 0);
    QCOMPARE(readFile(keepers()).count(".wav"), 1);

    ::kill(pid_t(kavelod.processId()), SIGTERM);
    QVERIFY(kavelod.waitForFinished(5000));
}

QTEST_GUILESS_MAIN(TestHeadlessRemote)
#include "TestHeadlessRemote.moc"
