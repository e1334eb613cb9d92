// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "MqttClient.h"
#include "MqttMessages.h"

#include "core/HouseLink.h"

#include <QSet>
#include <QTimer>

class SettingsModel;

// The house on an MQTT broker, with the broker's settings. Out, under
// "<prefix>/<node>/": "key" (a JSON message a press and a hold), "action" (the
// action line), "frame" (every frame of this machine's receiver, as four hex
// digits) and "availability" ("online", and "offline" as the last will).
// Frames go out only while the broker is there; the rest waits for it.
// In: "command", and for a room without a receiver of its own the "frame" of
// each room it takes its keys from. With a discovery prefix set, a
// home-automation hub hears of this machine as a device, of each key the first
// time it is heard and of each house code, and hears it all again when it
// comes back online and after every reconnection.
//
// A change of the broker's settings, in the window or in the file, connects
// again with the new ones.
class MqttHouse : public HouseLink
{
    Q_OBJECT

public:
    explicit MqttHouse(SettingsModel &settings, QObject *parent = nullptr);
    ~MqttHouse() override;

    void keyEvent(const KeyEvent &event) override;
    void actionShown(const QString &text) override;
    void frameHeard(const QByteArray &frame) override;

    MqttClient &client() { return client_; }

private:
    void connectWithSettings();
    void announce(const QList<Mqtt::Message> &messages);
    void announceEverything();
    void messageReceived(const QString &topic, const QByteArray &payload);
    void refuseOnce(const QString &kind, const QString &text);

    SettingsModel &settings_;
    MqttClient client_;
    QTimer settingsChanged_;
    Mqtt::Topics topics_;
    QString discovery_; // "" for none
    QStringList rooms_;
    QSet<QString> keysHeard_;
    QSet<quint8> housesHeard_;
    QSet<QString> refusalsSaid_;
};
