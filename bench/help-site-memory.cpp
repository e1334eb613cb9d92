// SPDX-License-Identifier: GPL-3.0-or-later
// help-site-memory: what one unfinished request costs the embedded help site.
//
// Starts the help site in this process, then a second copy of this program
// that connects to it, sends a request line and one header line of the given
// size without ever ending the head, and holds the connection for up to 10 s.
// Prints this process's resident memory before, at its peak and afterwards,
// and how the connection ended.
//
// Usage: help-site-memory [MiB]   (default 32)

#include "core/IniSettingsStore.h"
#include "core/SettingsModel.h"
#include "help/HelpSite.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <utility>

namespace {

// A field of /proc/self/status in KiB, e.g. "VmRSS" or "VmHWM".
qint64 statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// The sending side: connects, sends the head without its end and reports on
// stdout how the connection ended.
int sendUnfinishedHead(quint16 port, qint64 headerBytes)
{
    QTcpSocket socket;
    QElapsedTimer clock;
    qint64 queued = 0;
    bool ended = false;
    auto finish = [&](const char *how) {
        if (std::exchange(ended, true))
            return;
        std::printf("%s after %lld ms, %lld of %lld header bytes handed to the system\n", how,
                    static_cast<long long>(clock.elapsed()),
                    static_cast<long long>(queued - socket.bytesToWrite()),
                    static_cast<long long>(headerBytes));
        std::fflush(stdout);
        QCoreApplication::exit(0);
    };
    QObject::connect(&socket, &QTcpSocket::connected, [&] {
        clock.start();
        socket.write("GET /help.html HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Fill: ");
        const QByteArray chunk(64 * 1024, 'a');
        for (queued = 0; queued < headerBytes; queued += chunk.size())
            socket.write(chunk);
        QTimer::singleShot(10000, &socket, [&] { finish("still open"); });
    });
    QObject::connect(&socket, &QTcpSocket::disconnected, [&] { finish("closed by the site"); });
    QObject::connect(&socket, &QTcpSocket::errorOccurred, [&] {
        finish(qPrintable(QStringLiteral("ended (%1)").arg(socket.errorString())));
    });
    socket.connectToHost(QHostAddress::LocalHost, port);
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args.at(1) == QLatin1String("--send"))
        return sendUnfinishedHead(quint16(args.at(2).toUInt()), args.at(3).toLongLong());

    const qint64 mib = args.size() > 1 ? args.at(1).toLongLong() : 32;
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    IniSettingsStore file;
    const QUrl site(helpPageAddress(SettingsModel(file)));
    if (site.port() <= 0) {
        std::fprintf(stderr, "the help site did not start\n");
        return 2;
    }

    const qint64 before = statusKiB("VmRSS");
    QProcess sender;
    sender.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(&sender, &QProcess::finished, &app, [&] {
        std::printf("%s", sender.readAllStandardOutput().constData());
        std::printf("help site memory: %lld KiB before, peak %lld KiB (+%lld), after %lld KiB\n",
                    static_cast<long long>(before), static_cast<long long>(statusKiB("VmHWM")),
                    static_cast<long long>(statusKiB("VmHWM") - before),
                    static_cast<long long>(statusKiB("VmRSS")));
        app.exit(0);
    });
    QObject::connect(&sender, &QProcess::errorOccurred, &app, [&] { app.exit(2); });
    sender.start(app.applicationFilePath(), {QStringLiteral("--send"), QString::number(site.port()),
                                             QString::number(mib * 1024 * 1024)});
    return app.exec();
}
