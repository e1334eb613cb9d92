// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "MqttMessages.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <memory>

class QSocketNotifier;
struct mosquitto;
struct mosquitto_message;

// A connection to an MQTT broker, driven by this thread's event loop through
// the client's socket: a notifier for reading, one for writing while the
// client has something to write, and a timer at the keepalive. Nothing else
// wakes it up while it is idle.
//
// The host name is resolved and the connection opened on a thread of its own,
// so a slow or missing broker never holds up this thread. When the broker is
// down at the start or goes away, the client tries again after 1 s, then after
// twice as long each time up to a minute. What is published meanwhile waits in
// a bounded queue whose oldest messages make room for new ones.
class MqttClient : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QString host;
        int port = 0; // 0: 1883, or 8883 with TLS
        QString user;
        QString password;
        QString caFile; // set: TLS, the broker verified against it and by its host name
        QString clientId;
        Mqtt::Message will; // published by the broker when this client goes away unasked
        int keepaliveSeconds = 60;
    };

    static constexpr qsizetype kQueueLimit = 256;

    explicit MqttClient(QObject *parent = nullptr);
    ~MqttClient() override;

    // Connects, and keeps connecting, with these options; a connection made
    // with others is closed first.
    void start(const Options &options);
    // `last` is published before a clean disconnect.
    void stop(const Mqtt::Message &last = {});

    bool isConnected() const { return connected_; }
    // Sent at once while connected, else queued until the next connection.
    void publish(const Mqtt::Message &message);
    // Subscribed at each connection, QoS 0.
    void setSubscriptions(const QStringList &topics) { subscriptions_ = topics; }
    // Messages lost to a full queue since the start.
    quint64 dropped() const { return dropped_; }

signals:
    // Subscribed, and ready to publish; each time the connection is made.
    void connected();
    void disconnected();
    void messageReceived(const QString &topic, const QByteArray &payload);
    // The broker cannot be reached or refuses this client; said once an outage.
    void problem(const QString &text);

private:
    struct Attempt;
    void connectNow();
    void attemptDone(const std::shared_ptr<Attempt> &attempt);
    void connectAcknowledged(int code);
    void drop(const QString &problem);
    void retryLater();
    void service(int (*step)(mosquitto *, int));
    void updateWriteInterest();
    void send(const Mqtt::Message &message);
    void sayOnce(const QString &problem);
    QString address() const;

    static void onConnect(mosquitto *, void *self, int code);
    static void onMessage(mosquitto *, void *self, const mosquitto_message *message);

    Options options_;
    bool running_ = false;
    bool connected_ = false;
    mosquitto *mosq_ = nullptr;
    std::shared_ptr<Attempt> attempt_; // the connection being opened, if any
    QSocketNotifier *reader_ = nullptr;
    QSocketNotifier *writer_ = nullptr;
    QTimer misc_;
    QTimer retry_;
    int backoffMs_ = 1000;
    QStringList subscriptions_;
    std::deque<Mqtt::Message> queue_;
    quint64 dropped_ = 0;
    bool dropsSaid_ = false;
    QString problemSaid_;
    // What the callbacks heard during one step of the client.
    int acknowledged_ = -1;
    QList<Mqtt::Message> received_;
};
