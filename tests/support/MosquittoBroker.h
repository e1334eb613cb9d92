// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Debian's MQTT broker, started and stopped by the test itself: it listens on
// a free TCP port of 127.0.0.1 and lets in only the users of its password
// file, made by mosquitto_passwd.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

class MosquittoBroker
{
public:
    MosquittoBroker(const QString &folder, const QString &user, const QString &password)
        : folder_(folder), user_(user), password_(password)
    {
    }
    ~MosquittoBroker() { stop(); }

    // Starts it and waits until it says it runs; false when it did not.
    bool start()
    {
        folder_.mkpath(QStringLiteral("."));
        const QString passwords = folder_.filePath(QStringLiteral("passwords"));
        QFile::remove(passwords);
        if (QProcess::execute(
                QStringLiteral("mosquitto_passwd"),
                {QStringLiteral("-c"), QStringLiteral("-b"), passwords, user_, password_}) != 0)
            return false;
        port_ = freeLoopbackPort();
        QFile conf(folder_.filePath(QStringLiteral("mosquitto.conf")));
        if (!conf.open(QIODevice::WriteOnly))
            return false;
        conf.write(QStringLiteral("listener %1 127.0.0.1\n"
                                  "allow_anonymous false\n"
                                  "password_file %2\n"
                                  "persistence false\n"
                                  "log_dest stderr\n"
                                  // As root it would become the user "mosquitto",
                                  // who cannot enter the test's folder.
                                  "user root\n")
                       .arg(port_)
                       .arg(passwords)
                       .toUtf8());
        conf.close();
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), conf.fileName()});
        return QTest::qWaitFor(
                   [this] {
                       log_ += process_.readAll();
                       return log_.contains(" running") || process_.state() == QProcess::NotRunning;
                   },
                   10000) &&
               process_.state() == QProcess::Running;
    }

    void stop()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.kill();
        process_.waitForFinished(5000);
    }

    quint16 port() const { return port_; }
    QProcess &process() { return process_; }
    QString log() { return QString::fromUtf8(log_ += process_.readAll()); }

    // A TCP port of 127.0.0.1 that nobody listens on at the moment.
    static quint16 freeLoopbackPort()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        quint16 port = 0;
        if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&address), length) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
            port = ntohs(address.sin_port);
        if (fd >= 0)
            ::close(fd);
        return port;
    }

private:
    QDir folder_;
    QString user_;
    QString password_;
    quint16 port_ = 0;
    QProcess process_;
    QByteArray log_;
};
