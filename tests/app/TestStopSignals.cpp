// SPDX-License-Identifier: GPL-3.0-or-later
// The real program, stopped by a signal as a logout or a service stop does: it
// closes its port, so the port's lock file goes, and it exits with status 0.
// Started where there is no display, it becomes the service instead.

#include "AdapterEmulator.h"
#include "TestEnvironment.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

#include <csignal>

class TestStopSignals : public QObject
{
    Q_OBJECT

private slots:
    void stopSignalClosesThePort_data();
    void stopSignalClosesThePort();
    void withoutADisplayTheServiceRuns();

private:
    // Settings that have the program open the emulated adapter's port.
    void useAdapter(const AdapterEmulator &adapter);

    TestEnvironment env_;
};

void TestStopSignals::useAdapter(const AdapterEmulator &adapter)
{
    QFile settings(env_.settingsFile());
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[Startup]\ncomn=1\ncomDevice1=" + QFile::encodeName(adapter.devicePath()) +
                   "\n");
}

void TestStopSignals::stopSignalClosesThePort_data()
{
    QTest::addColumn<int>("number");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP") << SIGHUP;
}

void TestStopSignals::stopSignalClosesThePort()
{
    QFETCH(int, number);
    AdapterEmulator adapter;
    QVERIFY(!adapter.devicePath().isEmpty());
    useAdapter(adapter);
    const QString lock = adapter.lockFile();

    QProcess kavelo;
    kavelo.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    kavelo.setProcessEnvironment(env_.processEnvironment());
    kavelo.start(QStringLiteral(KAVELO_BINARY_DIR "/kavelo"));
    QVERIFY(kavelo.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(lock), 10000);

    ::kill(pid_t(kavelo.processId()), number);
    QVERIFY(kavelo.waitForFinished(5000));
    QCOMPARE(kavelo.exitStatus(), QProcess::NormalExit);
    QCOMPARE(kavelo.exitCode(), 0);
    QVERIFY(!QFile::exists(lock));
}

// As over ssh on a music server: no X server, no Wayland, no platform asked
// for. The program says so in one line and goes on as the service, which
// opens the port.
void TestStopSignals::withoutADisplayTheServiceRuns()
{
    AdapterEmulator adapter;
    QVERIFY(!adapter.devicePath().isEmpty());
    useAdapter(adapter);
    QProcessEnvironment environment = env_.processEnvironment();
    for (const char *variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(variable));

    QProcess kavelo;
    kavelo.setProcessEnvironment(environment);
    kavelo.start(QStringLiteral(KAVELO_BINARY_DIR "/kavelo"));
    QVERIFY(kavelo.waitForStarted());
    const QString process = QStringLiteral("/proc/%1/exe").arg(kavelo.processId());
    const QString service =
        QFileInfo(QStringLiteral(KAVELO_BINARY_DIR "/kavelod")).canonicalFilePath();
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(process).symLinkTarget(), service, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(adapter.lockFile()), 10000);
    ::kill(pid_t(kavelo.processId()), SIGTERM);
    QVERIFY(kavelo.waitForFinished(5000));
    QCOMPARE(kavelo.exitCode(), 0);

    const QList<QByteArray> said = kavelo.readAllStandardError().split('\n');
    QVERIFY2(said.constFirst().startsWith("kavelo: there is no display") &&
                 said.constFirst().contains("kavelod"),
             said.constFirst().constData());
}

QTEST_GUILESS_MAIN(TestStopSignals)
#include "TestStopSignals.moc"
