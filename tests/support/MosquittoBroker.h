// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Debian's MQTT broker, started and stopped by the test itself: it listens on
// a free TCP port of 127.0.0.1 and lets in only the users of its password
// file, made by mosquitto_passwd. With TLS it listens on a second port too,
// with a certificate for 127.0.0.1 signed by a CA of the test's own.

#include "PlayerPeers.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTest>

#include <unistd.h>

class MosquittoBroker
{
public:
    enum class Tls
    {
        Off,
        On
    };
    MosquittoBroker(const QString &folder, const QString &user, const QString &password,
                    Tls tls = Tls::Off)
        : folder_(folder), user_(user), password_(password), tls_(tls == Tls::On)
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
        if (tls_) {
            if (!makeCa(QStringLiteral("ca")) || !makeCa(QStringLiteral("other-ca")) ||
                !makeServerCertificate())
                return false;
            tlsPort_ = freeLoopbackPort();
            conf.write(
                QStringLiteral("listener %1 127.0.0.1\n"
                               "cafile %2\ncertfile %3\nkeyfile %4\n")
                    .arg(tlsPort_)
                    .arg(caFile(), pem(QStringLiteral("server")), pem(QStringLiteral("server-key")))
                    .toUtf8());
        }
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
    quint16 tlsPort() const { return tlsPort_; }
    // The CA that signed the broker's certificate, and one that did not.
    QString caFile() const { return pem(QStringLiteral("ca")); }
    QString otherCaFile() const { return pem(QStringLiteral("other-ca")); }
    QProcess &process() { return process_; }
    QString log() { return QString::fromUtf8(log_ += process_.readAll()); }

private:
    QString pem(const QString &name) const
    {
        return folder_.filePath(name + QStringLiteral(".pem"));
    }
    static bool openssl(const QStringList &arguments)
    {
        QProcess run;
        run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        run.start(QStringLiteral("openssl"), arguments);
        return run.waitForFinished(30000) && run.exitStatus() == QProcess::NormalExit &&
               run.exitCode() == 0;
    }
    bool makeCa(const QString &name) const
    {
        return openssl({QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                        QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                        QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                        QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                        QStringLiteral("/CN=Kavelo test ") + name, QStringLiteral("-keyout"),
                        pem(name + QStringLiteral("-key")), QStringLiteral("-out"), pem(name)});
    }
    bool makeServerCertificate() const
    {
        const QString extensions = folder_.filePath(QStringLiteral("server.ext"));
        QFile file(extensions);
        if (!file.open(QIODevice::WriteOnly) || file.write("subjectAltName=IP:127.0.0.1\n") < 0)
            return false;
        file.close();
        return openssl({QStringLiteral("req"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                        QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"),
                        QStringLiteral("-nodes"), QStringLiteral("-subj"),
                        QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-keyout"),
                        pem(QStringLiteral("server-key")), QStringLiteral("-out"),
                        pem(QStringLiteral("server-request"))}) &&
               openssl({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"),
                        pem(QStringLiteral("server-request")), QStringLiteral("-CA"), caFile(),
                        QStringLiteral("-CAkey"), pem(QStringLiteral("ca-key")),
                        QStringLiteral("-CAcreateserial"), QStringLiteral("-days"),
                        QStringLiteral("2"), QStringLiteral("-extfile"), extensions,
                        QStringLiteral("-out"), pem(QStringLiteral("server"))});
    }

    QDir folder_;
    QString user_;
    QString password_;
    bool tls_ = false;
    quint16 port_ = 0;
    quint16 tlsPort_ = 0;
    QProcess process_;
    QByteArray log_;
};
