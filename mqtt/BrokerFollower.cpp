// SPDX-License-Identifier: GPL-3.0-or-later
#include "BrokerFollower.h"

#include "MqttHouse.h"

#include "core/KeyPath.h"
#include "core/Settings.h"
#include "core/SettingsModel.h"

BrokerFollower::BrokerFollower(SettingsModel &settings, KeyPath &keyPath, QObject *parent)
    : QObject(parent), settings_(settings), keyPath_(keyPath)
{
    connect(&settings_, &SettingsModel::changed, this, [this](const QString &key) {
        if (key == Keys::mqttHost)
            follow();
    });
    follow();
}

BrokerFollower::~BrokerFollower()
{
    if (house_)
        keyPath_.setHouse(nullptr);
}

void BrokerFollower::follow()
{
    const bool wanted = !settings_.broker().host.isEmpty();
    if (wanted && !house_) {
        house_ = std::make_unique<MqttHouse>(settings_);
        keyPath_.setHouse(house_.get());
    } else if (!wanted && house_) {
        keyPath_.setHouse(nullptr);
        house_.reset();
    }
}
