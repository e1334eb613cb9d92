// SPDX-License-Identifier: GPL-3.0-or-later
#include "MqttHouse.h"

#include "MqttLogging.h"

#include "core/Settings.h"
#include "core/SettingsModel.h"

#include <QCoreApplication>

namespace {
// A name that would make a topic a wildcard, or more levels of one.
bool fitsInTopic(const QString &name)
{
    return !name.isEmpty() && !name.contains(u'/') && !name.contains(u'+') && !name.contains(u'#');
}
} // namespace

MqttHouse::MqttHouse(SettingsModel &settings, QObject *parent)
    : HouseLink(parent), settings_(settings), client_(this)
{
    // The window writes several keys at once, and so may a hand edit: one
    // reconnection after the last of them.
    settingsChanged_.setSingleShot(true);
    settingsChanged_.setInterval(0);
    connect(&settingsChanged_, &QTimer::timeout, this, &MqttHouse::connectWithSettings);
    connect(&settings_, &SettingsModel::changed, this, [this](const QString &key) {
        if (Keys::choosesBroker(key) || key == Keys::keysFrom)
            settingsChanged_.start();
    });
    connect(&client_, &MqttClient::connected, this, [this] {
        client_.publish({topics_.availability(), Mqtt::kOnline, true});
        announceEverything();
    });
    connect(&client_, &MqttClient::messageReceived, this, &MqttHouse::messageReceived);
    connectWithSettings();
}

MqttHouse::~MqttHouse()
{
    client_.stop({topics_.availability(), Mqtt::kOffline, true});
}

void MqttHouse::connectWithSettings()
{
    const BrokerChoice broker = settings_.broker();
    const Mqtt::Topics before = topics_;
    topics_ = {broker.prefix, broker.node};
    if (!fitsInTopic(topics_.node) || topics_.prefix.contains(u'+') ||
        topics_.prefix.contains(u'#')) {
        refuseOnce(QStringLiteral("node"),
                   QStringLiteral("mqttNode and mqttPrefix may not hold \"/\", \"+\" or \"#\": "
                                  "the node is called %1")
                       .arg(Defaults::mqttNode()));
        topics_ = {Defaults::mqttPrefix, Defaults::mqttNode()};
    }
    discovery_ = broker.discovery;
    rooms_.clear();
    for (const QString &room : settings_.keysFrom()) {
        if (fitsInTopic(room))
            rooms_ << room;
        else
            refuseOnce(
                room,
                QStringLiteral("keysFrom names a room \"%1\" that no topic can hold").arg(room));
    }

    QStringList subscriptions{topics_.command()};
    for (const QString &room : std::as_const(rooms_))
        subscriptions << topics_.frame(room);
    if (!discovery_.isEmpty())
        subscriptions << discovery_ + QStringLiteral("/status");
    client_.setSubscriptions(subscriptions);

    // The old name says it is gone before the new one comes.
    client_.stop({before.availability(), Mqtt::kOffline, true});
    if (broker.host.isEmpty())
        return;
    MqttClient::Options options;
    options.host = broker.host;
    options.port = broker.port;
    options.user = broker.user;
    options.password = broker.password;
    options.caFile = broker.caFile;
    // The window and the service of one machine may both be connected.
    options.clientId = QStringLiteral("kavelo-%1-%2")
                           .arg(topics_.node)
                           .arg(QCoreApplication::applicationPid())
                           .left(64);
    options.will = {topics_.availability(), Mqtt::kOffline, true};
    client_.start(options);
}

void MqttHouse::keyEvent(const KeyEvent &event)
{
    client_.publish({topics_.key(), Mqtt::keyMessage(event), false});
    if (discovery_.isEmpty())
        return;
    if (!housesHeard_.contains(event.key.house)) {
        housesHeard_.insert(event.key.house);
        announce(Mqtt::houseAnnouncements(topics_, discovery_, event.key.house));
    }
    if (!keysHeard_.contains(event.key.name())) {
        keysHeard_.insert(event.key.name());
        announce(Mqtt::keyAnnouncements(topics_, discovery_, event.key));
    }
}

void MqttHouse::actionShown(const QString &text)
{
    client_.publish({topics_.action(), text.toUtf8(), false});
}

// A frame is for now: a room would act on one that waited out an outage long
// after the key was let go.
void MqttHouse::frameHeard(const QByteArray &frame)
{
    if (!client_.isConnected())
        return;
    client_.publish({topics_.frame(topics_.node), Mqtt::framePayload(frame), false});
}

// The hub hears of what was heard while the broker was away once it is back:
// announcements are not queued.
void MqttHouse::announce(const QList<Mqtt::Message> &messages)
{
    if (!client_.isConnected())
        return;
    for (const Mqtt::Message &message : messages)
        client_.publish(message);
}

// The one place that announces everything heard so far.
void MqttHouse::announceEverything()
{
    if (discovery_.isEmpty())
        return;
    for (const quint8 house : std::as_const(housesHeard_))
        announce(Mqtt::houseAnnouncements(topics_, discovery_, house));
    for (const QString &name : std::as_const(keysHeard_)) {
        if (const std::optional<X10Key> key = parseKeyName(name))
            announce(Mqtt::keyAnnouncements(topics_, discovery_, *key));
    }
}

void MqttHouse::messageReceived(const QString &topic, const QByteArray &payload)
{
    if (topic == topics_.command()) {
        if (const std::optional<QString> command = Mqtt::commandFromPayload(payload))
            emit commandReceived(*command);
        else
            refuseOnce(QStringLiteral("command"),
                       QStringLiteral("refused a command on %1 that is not a line of at most %2 "
                                      "bytes of UTF-8 text")
                           .arg(topic)
                           .arg(Mqtt::kMaxCommandBytes));
        return;
    }
    if (!discovery_.isEmpty() && topic == discovery_ + QStringLiteral("/status")) {
        if (payload.trimmed() == Mqtt::kOnline)
            announceEverything();
        return;
    }
    for (const QString &room : std::as_const(rooms_)) {
        if (topic != topics_.frame(room))
            continue;
        if (const std::optional<QByteArray> frame = Mqtt::frameFromPayload(payload))
            emit frameReceived(*frame, room);
        else
            refuseOnce(
                topic,
                QStringLiteral("ignored a frame on %1 that is not four hex digits").arg(topic));
        return;
    }
}

void MqttHouse::refuseOnce(const QString &kind, const QString &text)
{
    if (refusalsSaid_.contains(kind) || refusalsSaid_.size() >= 256)
        return;
    refusalsSaid_.insert(kind);
    qCWarning(lcMqtt, "%s", qPrintable(text));
}
