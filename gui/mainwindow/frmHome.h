// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/SettingsModel.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

// Options > "Home automation…": the MQTT broker of the house (its address,
// the user name and password it wants, and the CA file that makes it TLS),
// and the names under which this machine stands there. OK saves what the user
// typed; then, away from the window's thread, it connects to the broker once.
// The dialog closes when the broker takes the user, and says why when it does
// not: the settings stay saved, so a broker that is down for now is used once
// it is up. An empty host turns home automation off.
class frmHome : public QDialog
{
    Q_OBJECT

public:
    explicit frmHome(SettingsModel &settings, QWidget *parent = nullptr);

    // Controls, by their names.
    QLineEdit *txtMqttHost = nullptr;
    QLineEdit *txtMqttPort = nullptr;
    QLineEdit *txtMqttUser = nullptr;
    QLineEdit *txtMqttPassword = nullptr;
    QLineEdit *txtMqttCaFile = nullptr;
    QPushButton *cmdMqttCaFile = nullptr;
    QLineEdit *txtMqttNode = nullptr;
    QLineEdit *txtMqttPrefix = nullptr;
    QLineEdit *txtMqttDiscovery = nullptr;
    QLabel *lblMqttState = nullptr;
    QPushButton *cmdOk = nullptr;
    QPushButton *cmdCancel = nullptr;

signals:
    // The broker's answer is shown; `accepted` when it took the user.
    void answered(bool accepted);

private:
    void createControls();
    void showSettings();
    void cmdOk_Click();
    void cmdMqttCaFile_Click();
    void save(const QString &key, const QString &value);
    void askBroker(const BrokerChoice &broker);
    void showAnswer(const QString &problem);

    SettingsModel &settings_;
};
