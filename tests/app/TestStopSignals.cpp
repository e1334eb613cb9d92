// SPDX-License-Identifier: GPL-3.0-or-later
// The real program, stopped by a signal as a logout or a service stop does: it
// closes its port, so the port's lock file goes, and it exits with status 0.

#include "AdapterEmulator.h"
#include "TestEnvironment.h"

#include <QFile>
#include <QProcess>
#include <QtTest>

#include <csignal>

class TestStopSignals : public QObject
{
    Q_OBJECT

private slots:
    void stopSignalClosesThePort_data();
    void stopSignalClosesThePort();

private:
    TestEnvironment env_;
};

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
    QFile settings(env_.settingsFile());
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[Startup]\ncomn=1\ncomDevice1=" + QFile::encodeName(adapter.devicePath()) +
                   "\n");
    settings.close();
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

QTEST_GUILESS_MAIN(TestStopSignals)
#include "TestStopSignals.moc"
