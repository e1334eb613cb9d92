// SPDX-License-Identifier: GPL-3.0-or-later
// The serial devices the setup window offers, and the words for a device that
// exists but cannot be opened, against real pseudo-terminals of the adapter
// emulator, a real lock file and a real unprivileged user.

#include "AdapterEmulator.h"

#include "MemorySettingsStore.h"
#include "core/Settings.h"
#include "core/SettingsModel.h"
#include "serial/SerialDevices.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

class TestSerialDevices : public QObject
{
    Q_OBJECT

private slots:
    void portNumbersNameTheirDevicesOnce();
    void deviceTheUserMayNotOpen();
    void deviceLockedByAnotherProgram();
};

void TestSerialDevices::portNumbersNameTheirDevicesOnce()
{
    AdapterEmulator adapter;
    QVERIFY(!adapter.devicePath().isEmpty());
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("usb-adapter"));
    QVERIFY(QFile::link(adapter.devicePath(), link));

    MemorySettingsStore file;
    SettingsModel settings(file);
    settings.setValue(Keys::comDevice(2), adapter.devicePath());
    settings.setValue(Keys::comDevice(3), link);
    settings.setValue(Keys::comDevice(4), dir.filePath(QStringLiteral("gone")));

    const QList<SerialDevice> devices = serialDevices(settings);
    const auto named = std::count_if(devices.begin(), devices.end(), [&](const SerialDevice &d) {
        return d.path == adapter.devicePath();
    });
    QCOMPARE(named, 1);
    for (const SerialDevice &device : devices) {
        QVERIFY2(QFile::exists(device.path), qPrintable(device.path));
        if (device.path == adapter.devicePath()) {
            QCOMPARE(device.label(), adapter.devicePath());
            QCOMPARE(device.storedName(), adapter.devicePath());
        }
    }
    QCOMPARE((SerialDevice{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("/dev/serial/by-id/x"),
                           QStringLiteral("FT232R USB UART")})
                 .label(),
             QStringLiteral("FT232R USB UART (/dev/ttyUSB0)"));
}

// The check runs as the unprivileged user "nobody", for whom the device's mode
// forbids reading and writing.
void TestSerialDevices::deviceTheUserMayNotOpen()
{
    if (::getuid() != 0)
        QSKIP("needs root to run the check as another user");
    AdapterEmulator adapter;
    const QByteArray device = QFile::encodeName(adapter.devicePath());
    QVERIFY(::chown(device.constData(), 0, 0) == 0 && ::chmod(device.constData(), 0600) == 0);

    QProcess check;
    check.start(QStringLiteral("setpriv"),
                {QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                 QStringLiteral("--clear-groups"), QCoreApplication::applicationFilePath(),
                 QStringLiteral("--problem"), adapter.devicePath()});
    QVERIFY(check.waitForFinished(10000));
    const QString said = QString::fromLocal8Bit(check.readAllStandardOutput());
    QVERIFY2(
        said.startsWith(QStringLiteral("You may not open the serial port ") + adapter.devicePath()),
        qPrintable(said));
    QVERIFY2(said.contains(QStringLiteral("group \"root\"")) &&
                 said.contains(QStringLiteral("sudo adduser nobody root")),
             qPrintable(said));
    QCOMPARE(openProblem(adapter.devicePath()), std::nullopt); // root may
}

void TestSerialDevices::deviceLockedByAnotherProgram()
{
    AdapterEmulator adapter;
    const QString lock = adapter.lockFile();
    QProcess holder;
    holder.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    QVERIFY(holder.waitForStarted());
    QFile file(lock);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::number(holder.processId()).rightJustified(10, ' ') + '\n');
    file.close();

    const auto problem = openProblem(adapter.devicePath());
    QVERIFY(problem);
    QCOMPARE(*problem, QStringLiteral("The serial port %1 is in use by sleep (process %2). Close "
                                      "that program and try again.")
                           .arg(adapter.devicePath())
                           .arg(holder.processId()));

    holder.kill();
    holder.waitForFinished();
    QCOMPARE(openProblem(adapter.devicePath()), std::nullopt); // a stale lock holds nothing
    QFile::remove(lock);
}

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--problem") == 0) {
        const auto problem = openProblem(QFile::decodeName(argv[2]));
        std::fputs(problem ? qPrintable(*problem) : "none", stdout);
        return 0;
    }
    QCoreApplication app(argc, argv);
    TestSerialDevices test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestSerialDevices.moc"
