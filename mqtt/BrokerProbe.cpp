// SPDX-License-Identifier: GPL-3.0-or-later
#include "BrokerProbe.h"

#include <QFileInfo>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {
constexpr int kKeepaliveSeconds = 60;

// libmosquitto sets up its TLS and its random numbers once for the process.
void initLibrary()
{
    static const int initialised = mosquitto_lib_init();
    Q_UNUSED(initialised);
}

// A failure of the library as the user reads it: a system call's own words
// where one failed.
QString libraryError(int rc, int systemError)
{
    if (rc == MOSQ_ERR_ERRNO && systemError != 0)
        return QString::fromLocal8Bit(std::strerror(systemError));
    return QString::fromUtf8(mosquitto_strerror(rc)).remove(QLatin1Char('.'));
}

BrokerAnswer unreachable(const QString &why)
{
    return {BrokerAnswer::Outcome::Unreachable,
            QStringLiteral("The broker cannot be reached: %1.").arg(why)};
}

struct ProbeState
{
    int connack = -1; // the broker's answer to CONNECT, once it came
    QString tlsError; // OpenSSL's reason for the last TLS failure, as the library logged it
};

// "OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify failed"
// gives "certificate verify failed".
void keepTlsError(mosquitto *, void *probe, int level, const char *line)
{
    const QString text = QString::fromUtf8(line);
    if (level != MOSQ_LOG_ERR || !text.startsWith(QLatin1String("OpenSSL Error")))
        return;
    static_cast<ProbeState *>(probe)->tlsError = text.section(QLatin1Char(':'), -1).trimmed();
}
} // namespace

BrokerAnswer probeBroker(const BrokerChoice &broker, std::chrono::milliseconds timeout)
{
    initLibrary();
    ProbeState state;
    const std::unique_ptr<mosquitto, decltype(&mosquitto_destroy)> client(
        mosquitto_new(nullptr, true, &state), &mosquitto_destroy);
    if (!client)
        return unreachable(QString::fromLocal8Bit(std::strerror(errno)));
    mosquitto *const mosq = client.get();
    mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    if (!broker.user.isEmpty()) {
        const QByteArray password = broker.password.toUtf8();
        mosquitto_username_pw_set(mosq, broker.user.toUtf8().constData(),
                                  broker.password.isEmpty() ? nullptr : password.constData());
    }
    const bool tls = !broker.caFile.isEmpty();
    if (tls) {
        if (!QFileInfo(broker.caFile).isReadable())
            return unreachable(QStringLiteral("the CA file %1 cannot be read").arg(broker.caFile));
        const int rc = mosquitto_tls_set(mosq, broker.caFile.toLocal8Bit().constData(), nullptr,
                                         nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS)
            return unreachable(QStringLiteral("the CA file %1 is not taken: %2")
                                   .arg(broker.caFile, libraryError(rc, errno)));
    }
    mosquitto_log_callback_set(mosq, keepTlsError);
    mosquitto_connect_callback_set(mosq, [](mosquitto *, void *probe, int rc) {
        static_cast<ProbeState *>(probe)->connack = rc;
    });

    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + timeout;
    const int port = broker.port != 0 ? broker.port : (tls ? 8883 : 1883);
    errno = 0;
    int rc =
        mosquitto_connect_async(mosq, broker.host.toUtf8().constData(), port, kKeepaliveSeconds);
    while (rc == MOSQ_ERR_SUCCESS && state.connack < 0) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return unreachable(
                QStringLiteral("no answer within %1 ms").arg(qint64(timeout.count())));
        errno = 0;
        rc = mosquitto_loop(mosq, int(left.count()), 1);
    }
    if (state.connack < 0 && rc == MOSQ_ERR_TLS && !state.tlsError.isEmpty())
        return unreachable(QStringLiteral("%1 (%2)").arg(libraryError(rc, 0), state.tlsError));
    if (state.connack < 0)
        return unreachable(libraryError(rc, errno));

    switch (state.connack) {
    case CONNACK_ACCEPTED:
        mosquitto_disconnect(mosq);
        return {BrokerAnswer::Outcome::Accepted, {}};
    case CONNACK_REFUSED_BAD_USERNAME_PASSWORD:
    case CONNACK_REFUSED_NOT_AUTHORIZED:
        return {BrokerAnswer::Outcome::Refused,
                QStringLiteral("The broker refused the user name or password.")};
    default:
        return {BrokerAnswer::Outcome::Refused,
                QStringLiteral("The broker refused the connection: %1.")
                    .arg(QString::fromUtf8(mosquitto_connack_string(state.connack))
                             .remove(QLatin1Char('.')))};
    }
}
