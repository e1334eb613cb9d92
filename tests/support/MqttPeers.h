// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A real MQTT broker for the tests, Debian's mosquitto, on a free port of
// 127.0.0.1 that only a user of its password file may use; and the broker's
// own clients, mosquitto_sub and mosquitto_pub, to watch and to drive.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class MqttBroker
{
public:
    static inline const QString user = QStringLiteral("kavelo");
    static inline const QString password = QStringLiteral("kavelo-secret");

    MqttBroker()
    {
        QTcpServer probe; // a free port, given back to the broker
        probe.listen(QHostAddress::LocalHost);
        port_ = probe.serverPort();
    }
    ~MqttBroker() { kill(); }

    // Starts it, and waits until it takes connections. With `tlsName`, it
    // speaks TLS only, with a certificate for that host name from a CA of its
    // own (caFile()).
    bool start(const QString &tlsName = {})
    {
        QString tls;
        if (!tlsName.isEmpty()) {
            if (!makeCertificate(QStringLiteral("ca"), QStringLiteral("Kavelo test CA"), {}) ||
                !makeCertificate(QStringLiteral("server"), tlsName, QStringLiteral("ca")))
                return false;
            tls = QStringLiteral("cafile %1\ncertfile %2\nkeyfile %3\n")
                      .arg(caFile(), folder_.filePath(QStringLiteral("server.crt")),
                           folder_.filePath(QStringLiteral("server.key")));
        }
        const QString passwords = folder_.filePath(QStringLiteral("passwords"));
        if (!QFile::exists(passwords) &&
            QProcess::execute(
                QStringLiteral("mosquitto_passwd"),
                {QStringLiteral("-c"), QStringLiteral("-b"), passwords, user, password}) != 0)
            return false;
        QFile config(folder_.filePath(QStringLiteral("mosquitto.conf")));
        if (!config.open(QIODevice::WriteOnly))
            return false;
        config.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous false\n"
                                    "password_file %2\npersistence false\nlog_dest stderr\n"
                                    "log_type all\n")
                         .arg(port_)
                         .arg(passwords)
                         .toUtf8() +
                     tls.toUtf8());
        // As root it would become the user "mosquitto", who may not read the
        // test's folder.
        if (::geteuid() == 0)
            config.write("user root\n");
        config.close();
        log_.clear();
        process_.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&process_, &QProcess::readyRead, &process_,
                         [this] { log_ += QString::fromUtf8(process_.readAll()); });
        process_.start(QStringLiteral("mosquitto"), {QStringLiteral("-c"), config.fileName()});
        return process_.waitForStarted(5000) &&
               QTest::qWaitFor(
                   [this] {
                       QTcpSocket socket;
                       socket.connectToHost(QHostAddress::LocalHost, port_);
                       return socket.waitForConnected(200);
                   },
                   5000);
    }

    // Gone at once, as a broker that crashed: no client hears a goodbye.
    void kill()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.kill();
        process_.waitForFinished(5000);
        process_.disconnect();
    }

    quint16 port() const { return port_; }
    QString caFile() const { return folder_.filePath(QStringLiteral("ca.crt")); }

    // <name>.crt and <name>.key in the broker's folder, for the host `host`;
    // signed by <signer>.crt, or by itself.
    bool makeCertificate(const QString &name, const QString &host, const QString &signer)
    {
        const QString base = folder_.filePath(name);
        const QString names = base + QStringLiteral(".ext");
        QFile extension(names);
        if (!extension.open(QIODevice::WriteOnly))
            return false;
        extension.write("subjectAltName=DNS:" + host.toUtf8() + '\n');
        extension.close();
        const auto openssl = [](const QStringList &arguments) {
            QProcess process;
            process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            process.start(QStringLiteral("openssl"), arguments);
            return process.waitForFinished(30000) && process.exitCode() == 0;
        };
        const QString subject = QStringLiteral("/CN=") + host;
        if (signer.isEmpty())
            return openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                            base + ".key", "-out", base + ".crt", "-days", "2", "-subj", subject});
        const QString ca = folder_.filePath(signer);
        return openssl({"req", "-newkey", "rsa:2048", "-nodes", "-keyout", base + ".key", "-out",
                        base + ".csr", "-subj", subject}) &&
               openssl({"x509", "-req", "-in", base + ".csr", "-CA", ca + ".crt", "-CAkey",
                        ca + ".key", "-CAcreateserial", "-out", base + ".crt", "-days", "2",
                        "-extfile", names});
    }
    // What the broker logged since it started last, each message it was
    // sent among it.
    QString log() const { return log_; }
    // The settings that connect Kavelo to it.
    QByteArray settings() const
    {
        return QStringLiteral("mqttHost=127.0.0.1\nmqttPort=%1\nmqttUser=%2\nmqttPassword=%3\n")
            .arg(port_)
            .arg(user, password)
            .toUtf8();
    }
    QStringList clientArguments() const
    {
        return {QStringLiteral("-h"), QStringLiteral("127.0.0.1"),
                QStringLiteral("-p"), QString::number(port_),
                QStringLiteral("-u"), user,
                QStringLiteral("-P"), password};
    }

    // mosquitto_pub: one message, QoS 0.
    bool publish(const QString &topic, const QByteArray &payload)
    {
        QProcess pub;
        pub.start(QStringLiteral("mosquitto_pub"),
                  clientArguments() +
                      QStringList{QStringLiteral("-t"), topic, QStringLiteral("-s")});
        pub.write(payload);
        pub.closeWriteChannel();
        return pub.waitForFinished(5000) && pub.exitCode() == 0;
    }

private:
    QTemporaryDir folder_;
    quint16 port_ = 0;
    QProcess process_;
    QString log_;
};

// mosquitto_sub on every topic: what the broker passed on, retained messages
// included, as "topic payload" lines in the order they came.
class MqttWatch
{
public:
    explicit MqttWatch(MqttBroker &broker) : broker_(broker) {}
    ~MqttWatch() { stop(); }

    // Started, and subscribed: a message of its own came back.
    bool start()
    {
        stop();
        lines_.clear();
        QObject::connect(&process_, &QProcess::readyReadStandardOutput, &process_, [this] {
            pending_ += process_.readAllStandardOutput();
            qsizetype end;
            while ((end = pending_.indexOf('\n')) >= 0) {
                lines_ << QString::fromUtf8(pending_.left(end));
                pending_.remove(0, end + 1);
            }
        });
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral("mosquitto_sub"),
                       broker_.clientArguments() + QStringList{QStringLiteral("-v"),
                                                               QStringLiteral("-t"),
                                                               QStringLiteral("#")});
        if (!process_.waitForStarted(5000))
            return false;
        return QTest::qWaitFor(
            [this] {
                broker_.publish(QStringLiteral("watch/ready"), "1");
                return !on(QStringLiteral("watch/ready")).isEmpty();
            },
            5000);
    }
    void stop()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
        process_.disconnect();
        pending_.clear();
    }

    // The payloads seen on `topic`, oldest first.
    QStringList on(const QString &topic) const
    {
        QStringList payloads;
        const QString head = topic + u' ';
        for (const QString &line : lines_) {
            if (line.startsWith(head))
                payloads << line.mid(head.size());
        }
        return payloads;
    }
    QStringList lines() const { return lines_; }
    void clear() { lines_.clear(); }

private:
    MqttBroker &broker_;
    QProcess process_;
    QByteArray pending_;
    QStringList lines_;
};
