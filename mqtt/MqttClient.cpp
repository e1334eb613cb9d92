// SPDX-License-Identifier: GPL-3.0-or-later
#include "MqttClient.h"

#include "MqttLogging.h"

#include <QSocketNotifier>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <mosquitto.h>

namespace {
constexpr int kFirstRetryMs = 1000;
constexpr int kLastRetryMs = 60000;
// A write that the socket cannot take at once is retried this many times
// on the way out.
constexpr int kFlushTries = 20;

void initialiseLibrary()
{
    static const int done = mosquitto_lib_init();
    Q_UNUSED(done);
}
} // namespace

// A connection being opened on its own thread, which alone touches the
// client meanwhile. Whoever holds it last frees the client: the connection
// that was asked for, or the thread of one given up.
struct MqttClient::Attempt
{
    explicit Attempt(mosquitto *client) : mosq(client) {}
    ~Attempt()
    {
        if (mosq)
            mosquitto_destroy(mosq);
    }
    mosquitto *mosq = nullptr;
    int result = MOSQ_ERR_SUCCESS;
    int error = 0; // errno, for MOSQ_ERR_ERRNO
};

MqttClient::MqttClient(QObject *parent) : QObject(parent)
{
    initialiseLibrary();
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &MqttClient::connectNow);
    connect(&misc_, &QTimer::timeout, this,
            [this] { service([](mosquitto *mosq, int) { return mosquitto_loop_misc(mosq); }); });
}

MqttClient::~MqttClient()
{
    stop();
}

QString MqttClient::address() const
{
    return QStringLiteral("%1:%2").arg(options_.host).arg(options_.port);
}

void MqttClient::start(const Options &options)
{
    stop();
    options_ = options;
    if (options_.port == 0)
        options_.port = options_.caFile.isEmpty() ? 1883 : 8883;
    running_ = true;
    backoffMs_ = kFirstRetryMs;
    problemSaid_.clear();
    connectNow();
}

void MqttClient::stop(const Mqtt::Message &last)
{
    running_ = false;
    retry_.stop();
    attempt_.reset();
    if (mosq_ && connected_) {
        if (!last.topic.isEmpty())
            send(last);
        mosquitto_disconnect(mosq_);
        for (int i = 0; i < kFlushTries && mosquitto_want_write(mosq_); ++i)
            mosquitto_loop_write(mosq_, 1);
    }
    drop(QString());
}

void MqttClient::connectNow()
{
    if (!running_)
        return;
    const QByteArray id = options_.clientId.toUtf8();
    mosquitto *mosq = mosquitto_new(id.constData(), true, this);
    if (!mosq) {
        sayOnce(QStringLiteral("cannot make an MQTT client: %1")
                    .arg(QString::fromLocal8Bit(std::strerror(errno))));
        retryLater();
        return;
    }
    auto attempt = std::make_shared<Attempt>(mosq);
    mosquitto_connect_callback_set(mosq, &MqttClient::onConnect);
    mosquitto_message_callback_set(mosq, &MqttClient::onMessage);
    if (!options_.will.topic.isEmpty()) {
        const QByteArray topic = options_.will.topic.toUtf8();
        mosquitto_will_set(mosq, topic.constData(), int(options_.will.payload.size()),
                           options_.will.payload.constData(), 0, options_.will.retain);
    }
    if (!options_.user.isEmpty()) {
        const QByteArray user = options_.user.toUtf8();
        const QByteArray password = options_.password.toUtf8();
        mosquitto_username_pw_set(mosq, user.constData(),
                                  options_.password.isEmpty() ? nullptr : password.constData());
    }
    if (!options_.caFile.isEmpty()) {
        const QByteArray caFile = options_.caFile.toLocal8Bit();
        // The broker's certificate must chain to the CA file and name the host.
        const int rc =
            mosquitto_tls_set(mosq, caFile.constData(), nullptr, nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            sayOnce(QStringLiteral("cannot use the CA file %1: %2")
                        .arg(options_.caFile, QString::fromUtf8(mosquitto_strerror(rc))));
            retryLater();
            return;
        }
        mosquitto_tls_opts_set(mosq, 1, nullptr, nullptr);
        mosquitto_tls_insecure_set(mosq, false);
    }

    attempt_ = attempt;
    const QByteArray host = options_.host.toUtf8();
    const int port = options_.port;
    const int keepalive = options_.keepaliveSeconds;
    // mosquitto_connect resolves the name and waits for the connection.
    QThread *thread = QThread::create([attempt, host, port, keepalive] {
        attempt->result = mosquitto_connect(attempt->mosq, host.constData(), port, keepalive);
        attempt->error = errno;
    });
    connect(thread, &QThread::finished, this, [this, attempt] { attemptDone(attempt); });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

void MqttClient::attemptDone(const std::shared_ptr<Attempt> &attempt)
{
    if (attempt != attempt_)
        return;
    attempt_.reset();
    if (attempt->result != MOSQ_ERR_SUCCESS) {
        const QString reason = attempt->result == MOSQ_ERR_ERRNO
                                   ? QString::fromLocal8Bit(std::strerror(attempt->error))
                                   : QString::fromUtf8(mosquitto_strerror(attempt->result));
        sayOnce(QStringLiteral("cannot reach the broker %1: %2").arg(address(), reason));
        retryLater();
        return;
    }
    mosq_ = attempt->mosq;
    attempt->mosq = nullptr;
    const int socket = mosquitto_socket(mosq_);
    reader_ = new QSocketNotifier(socket, QSocketNotifier::Read, this);
    writer_ = new QSocketNotifier(socket, QSocketNotifier::Write, this);
    connect(reader_, &QSocketNotifier::activated, this, [this] { service(mosquitto_loop_read); });
    connect(writer_, &QSocketNotifier::activated, this, [this] { service(mosquitto_loop_write); });
    // A ping is due a keepalive after the last message out; the broker waits
    // half as long again before it gives up on the client.
    misc_.start(options_.keepaliveSeconds * 1000 / 3);
    updateWriteInterest();
}

// One step of the client on its socket, then what its callbacks asked for:
// they run inside the step, where the client must not be freed.
void MqttClient::service(int (*step)(mosquitto *, int))
{
    if (!mosq_)
        return;
    acknowledged_ = -1;
    const int rc = step(mosq_, 1);
    // A refusal ends the step with an error, after its callback.
    if (acknowledged_ > 0) {
        connectAcknowledged(acknowledged_);
        return;
    }
    if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(mosq_) < 0) {
        drop(connected_ ? QStringLiteral("lost the broker %1: %2")
                              .arg(address(), QString::fromUtf8(mosquitto_strerror(rc)))
                        : QStringLiteral("cannot reach the broker %1: %2")
                              .arg(address(), QString::fromUtf8(mosquitto_strerror(rc))));
        return;
    }
    if (acknowledged_ == 0)
        connectAcknowledged(acknowledged_);
    const QList<Mqtt::Message> received = std::exchange(received_, {});
    for (const Mqtt::Message &message : received) {
        emit messageReceived(message.topic, message.payload);
        if (!mosq_)
            return;
    }
    updateWriteInterest();
}

void MqttClient::connectAcknowledged(int code)
{
    if (code == 4 || code == 5) {
        drop(QStringLiteral("the broker %1 refused the user name or password").arg(address()));
        return;
    }
    if (code != 0) {
        drop(QStringLiteral("the broker %1 refused the connection: %2")
                 .arg(address(), QString::fromUtf8(mosquitto_connack_string(code))));
        return;
    }
    connected_ = true;
    backoffMs_ = kFirstRetryMs;
    if (!problemSaid_.isEmpty())
        qCInfo(lcMqtt, "connected to the broker %s", qPrintable(address()));
    problemSaid_.clear();
    dropsSaid_ = false;
    for (const QString &topic : std::as_const(subscriptions_))
        mosquitto_subscribe(mosq_, nullptr, topic.toUtf8().constData(), 0);
    emit connected();
    while (mosq_ && connected_ && !queue_.empty()) {
        send(queue_.front());
        queue_.pop_front();
    }
    updateWriteInterest();
}

void MqttClient::drop(const QString &problem)
{
    delete reader_;
    reader_ = nullptr;
    delete writer_;
    writer_ = nullptr;
    misc_.stop();
    if (mosq_) {
        mosquitto_destroy(mosq_);
        mosq_ = nullptr;
    }
    const bool was = std::exchange(connected_, false);
    if (!problem.isEmpty())
        sayOnce(problem);
    if (running_)
        retryLater();
    if (was)
        emit disconnected();
}

void MqttClient::retryLater()
{
    if (!running_ || retry_.isActive() || attempt_)
        return;
    retry_.start(backoffMs_);
    backoffMs_ = std::min(backoffMs_ * 2, kLastRetryMs);
}

void MqttClient::publish(const Mqtt::Message &message)
{
    if (mosq_ && connected_) {
        send(message);
        updateWriteInterest();
        return;
    }
    if (qsizetype(queue_.size()) >= kQueueLimit) {
        queue_.pop_front();
        ++dropped_;
        if (!dropsSaid_) {
            dropsSaid_ = true;
            qCWarning(lcMqtt,
                      "the broker %s is away and %lld messages wait for it: the oldest make room "
                      "for new ones",
                      qPrintable(address()), static_cast<long long>(kQueueLimit));
        }
    }
    queue_.push_back(message);
}

void MqttClient::send(const Mqtt::Message &message)
{
    const QByteArray topic = message.topic.toUtf8();
    mosquitto_publish(mosq_, nullptr, topic.constData(), int(message.payload.size()),
                      message.payload.constData(), 0, message.retain);
}

void MqttClient::updateWriteInterest()
{
    if (mosq_ && writer_)
        writer_->setEnabled(mosquitto_want_write(mosq_));
}

// Said once until the next connection: a broker that stays away is not
// reported at every try.
void MqttClient::sayOnce(const QString &problem)
{
    if (!problemSaid_.isEmpty())
        return;
    problemSaid_ = problem;
    qCWarning(lcMqtt, "%s", qPrintable(problem));
    emit this->problem(problem);
}

void MqttClient::onConnect(mosquitto *, void *self, int code)
{
    static_cast<MqttClient *>(self)->acknowledged_ = code;
}

void MqttClient::onMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    static_cast<MqttClient *>(self)->received_.append(
        {QString::fromUtf8(message->topic),
         QByteArray(static_cast<const char *>(message->payload), message->payloadlen), false});
}
