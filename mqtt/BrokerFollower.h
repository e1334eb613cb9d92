// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <memory>

class KeyPath;
class MqttHouse;
class SettingsModel;

// The key path's house on the broker, there while a broker is set
// ("mqttHost"): made when one is set, in the window or the file, and gone when
// it is emptied.
class BrokerFollower : public QObject
{
    Q_OBJECT

public:
    BrokerFollower(SettingsModel &settings, KeyPath &keyPath, QObject *parent = nullptr);
    ~BrokerFollower() override;

    MqttHouse *house() const { return house_.get(); }

private:
    void follow();

    SettingsModel &settings_;
    KeyPath &keyPath_;
    std::unique_ptr<MqttHouse> house_;
};
