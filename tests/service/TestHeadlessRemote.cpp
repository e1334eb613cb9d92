// The real program started headless, as the systemd user unit starts it: no
// display variables, the settings file in a temporary XDG_CONFIG_HOME, frames
// on the adapter emulator's pseudo-terminal driving a real MPD.

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
const QStringList songs = {QStringLiteral("one.wav"), QStringLiteral("two.wav")};

} // namespace

class TestHeadlessRemote : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void helpAndVersion();
    void remoteDrivesMpdWithoutADisplay();

private:
    // Starts `kavelo --headless`; its standard error collects in errors_.
    bool startKavelo(QProcess &kavelo);
    bool said(const QString &line) { return errors_.contains(line); }
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

bool TestHeadlessRemote::startKavelo(QProcess &kavelo)
{
    QProcessEnvironment environment = env_.processEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                       QStringLiteral("unix:path=") + env_.work() + QStringLiteral("/no-bus"));
    kavelo.setProcessEnvironment(environment);
    errors_.clear();
    connect(&kavelo, &QProcess::readyReadStandardError, this,
            [this, &kavelo] { errors_ += QString::fromLocal8Bit(kavelo.readAllStandardError()); });
    kavelo.start(QStringLiteral(KAVELO_BINARY_DIR "/kavelo"), {QStringLiteral("--headless")});
    return kavelo.waitForStarted() &&
           QTest::qWaitFor([&] { return said(QStringLiteral("kavelo: listening on ")); }, 10000);
}

void TestHeadlessRemote::helpAndVersion()
{
    QProcess kavelo;
    kavelo.start(QStringLiteral(KAVELO_BINARY_DIR "/kavelo"), {QStringLiteral("--version")});
    QVERIFY(kavelo.waitForFinished(10000));
    QCOMPARE(kavelo.readAllStandardOutput().trimmed(), QByteArray("Kavelo " KAVELO_VERSION));
    kavelo.start(QStringLiteral(KAVELO_BINARY_DIR "/kavelo"), {QStringLiteral("--help")});
    QVERIFY(kavelo.waitForFinished(10000));
    QVERIFY(kavelo.readAllStandardOutput().contains("--headless"));
    QCOMPARE(kavelo.exitCode(), 0);
}

// One run, killed, and the next run: what the window would show goes to
// standard error, the thumbs-up key writes its playlist at once (there is no
// button to press), and a mark outlives a kill.
void TestHeadlessRemote::remoteDrivesMpdWithoutADisplay()
{
    {
        QProcess kavelo;
        QVERIFY2(startKavelo(kavelo), qPrintable(errors_));

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
    QVERIFY2(startKavelo(again), qPrintable(errors_));
    adapter_->send(QStringLiteral("A5 off"));
    // The mark of the killed run is in the list the next run writes.
    QTRY_COMPARE(readFile(keepers()).count(".wav"), 2);

    ::kill(pid_t(again.processId()), SIGTERM);
    QVERIFY(again.waitForFinished(5000));
    QCOMPARE(again.exitStatus(), QProcess::NormalExit);
    QCOMPARE(again.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestHeadlessRemote)
#include "TestHeadlessRemote.moc"
