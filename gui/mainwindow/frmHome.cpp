// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmHome.h"

#include "core/Settings.h"
#include "gui/AppIcon.h"
#include "gui/FieldLabel.h"
#include "mqtt/BrokerProbe.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QFuture>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPromise>
#include <QPushButton>
#include <QThreadPool>

#include <memory>
#include <optional>

namespace {
// The port as typed: empty is the protocol's own (0); nothing when it is no port number.
std::optional<quint16> portNumber(const QString &text)
{
    if (text.trimmed().isEmpty())
        return 0;
    return toPort(text);
}

// A name that stands in topics: MQTT's wildcards would make a topic that
// cannot be published to, and the node is one level of it.
bool fitsTopics(const QString &name, bool oneLevel)
{
    return !name.contains(QLatin1Char('+')) && !name.contains(QLatin1Char('#')) &&
           !(oneLevel && name.contains(QLatin1Char('/')));
}
} // namespace

frmHome::frmHome(SettingsModel &settings, QWidget *parent) : QDialog(parent), settings_(settings)
{
    setObjectName(QStringLiteral("frmHome"));
    setWindowTitle(QStringLiteral("Home automation"));
    setWindowIcon(appIcon());
    createControls();
    showSettings();

    connect(cmdOk, &QPushButton::clicked, this, &frmHome::cmdOk_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmdMqttCaFile, &QPushButton::clicked, this, &frmHome::cmdMqttCaFile_Click);
}

void frmHome::createControls()
{
    const auto named = [this](auto *control, const char *name) {
        control->setObjectName(QLatin1String(name));
        return control;
    };
    const auto field = [&](const char *name, const QString &placeholder) {
        auto *line = named(new QLineEdit(this), name);
        line->setPlaceholderText(placeholder);
        return line;
    };
    txtMqttHost = field("txtMqttHost", QStringLiteral("none: home automation is off"));
    txtMqttPort = field("txtMqttPort", QStringLiteral("1883, or 8883 with TLS"));
    txtMqttPort->setValidator(new QIntValidator(0, 65535, txtMqttPort));
    txtMqttUser = field("txtMqttUser", QStringLiteral("none"));
    txtMqttPassword = field("txtMqttPassword", QStringLiteral("none"));
    txtMqttPassword->setEchoMode(QLineEdit::Password);
    txtMqttCaFile = field("txtMqttCaFile", QStringLiteral("none: no TLS"));
    cmdMqttCaFile = named(new QPushButton(QStringLiteral("…"), this), "cmdMqttCaFile");
    cmdMqttCaFile->setAccessibleName(QStringLiteral("Choose the CA file"));
    txtMqttNode = field("txtMqttNode", Defaults::mqttNode());
    txtMqttPrefix = field("txtMqttPrefix", Defaults::mqttPrefix);
    txtMqttDiscovery = field("txtMqttDiscovery", QStringLiteral("none: not announced"));
    lblMqttState = named(new QLabel(this), "lblMqttState");
    lblMqttState->setWordWrap(true);
    cmdOk = named(new QPushButton(QStringLiteral("OK"), this), "cmdOk");
    cmdOk->setDefault(true);
    cmdCancel = named(new QPushButton(QStringLiteral("Cancel"), this), "cmdCancel");

    auto *caFile = new QHBoxLayout;
    caFile->addWidget(txtMqttCaFile);
    caFile->addWidget(cmdMqttCaFile);
    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(cmdOk, QDialogButtonBox::AcceptRole);
    buttons->addButton(cmdCancel, QDialogButtonBox::RejectRole);

    auto *form = new QFormLayout(this);
    form->addRow(fieldLabel(QStringLiteral("&Broker's host:"), txtMqttHost), txtMqttHost);
    form->addRow(fieldLabel(QStringLiteral("&Port:"), txtMqttPort), txtMqttPort);
    form->addRow(fieldLabel(QStringLiteral("&User name:"), txtMqttUser), txtMqttUser);
    form->addRow(fieldLabel(QStringLiteral("Pass&word:"), txtMqttPassword), txtMqttPassword);
    form->addRow(fieldLabel(QStringLiteral("&CA file for TLS:"), txtMqttCaFile), caFile);
    form->addRow(fieldLabel(QStringLiteral("This machine's &node name:"), txtMqttNode),
                 txtMqttNode);
    form->addRow(fieldLabel(QStringLiteral("&Topic prefix:"), txtMqttPrefix), txtMqttPrefix);
    form->addRow(fieldLabel(QStringLiteral("&Discovery prefix:"), txtMqttDiscovery),
                 txtMqttDiscovery);
    form->addRow(lblMqttState);
    form->addRow(buttons);
}

// What is stored, as it is stored: an empty node and prefix stand for their
// defaults, shown greyed; the discovery prefix is shown as it applies, since
// empty turns discovery off.
void frmHome::showSettings()
{
    const auto stored = [this](const QString &key) {
        return settings_.value(key).value_or(QString());
    };
    txtMqttHost->setText(stored(Keys::mqttHost));
    const quint16 port = toPort(stored(Keys::mqttPort)).value_or(0);
    txtMqttPort->setText(port == 0 ? QString() : QString::number(port));
    txtMqttUser->setText(stored(Keys::mqttUser));
    txtMqttPassword->setText(stored(Keys::mqttPassword));
    txtMqttCaFile->setText(stored(Keys::mqttCaFile));
    txtMqttNode->setText(stored(Keys::mqttNode));
    txtMqttPrefix->setText(stored(Keys::mqttPrefix));
    txtMqttDiscovery->setText(settings_.broker().discovery);
}

void frmHome::cmdOk_Click()
{
    const std::optional<quint16> port = portNumber(txtMqttPort->text());
    if (!port) {
        lblMqttState->setText(
            QStringLiteral("The port is a number up to 65535, or empty for MQTT's own."));
        return;
    }
    const QString node = txtMqttNode->text().trimmed();
    const QString prefix = txtMqttPrefix->text().trimmed();
    const QString discovery = txtMqttDiscovery->text().trimmed();
    if (!fitsTopics(node, true) || !fitsTopics(prefix, false) || !fitsTopics(discovery, false)) {
        lblMqttState->setText(QStringLiteral("The node name and the prefixes cannot hold \"+\" "
                                             "or \"#\", nor the node name a \"/\"."));
        return;
    }
    save(Keys::mqttHost, txtMqttHost->text().trimmed());
    save(Keys::mqttPort, numberText(int(*port)));
    save(Keys::mqttUser, txtMqttUser->text());
    save(Keys::mqttPassword, txtMqttPassword->text());
    save(Keys::mqttCaFile, txtMqttCaFile->text().trimmed());
    save(Keys::mqttNode, node);
    save(Keys::mqttPrefix, prefix);
    save(Keys::mqttDiscovery, discovery);
    const BrokerChoice broker = settings_.broker();
    if (broker.host.isEmpty()) {
        accept();
        return;
    }
    askBroker(broker);
}

// A key is written only when it changes: the program follows the broker's
// keys as they are written, and a key written again unchanged is no news.
void frmHome::save(const QString &key, const QString &value)
{
    if (settings_.value(key) != value)
        settings_.setValue(key, value);
}

void frmHome::askBroker(const BrokerChoice &broker)
{
    lblMqttState->setText(QStringLiteral("Saved. Asking the broker…"));
    cmdOk->setEnabled(false);
    auto promise = std::make_shared<QPromise<QString>>();
    QFuture<QString> problem = promise->future();
    QThreadPool::globalInstance()->start([promise, broker] {
        promise->start();
        promise->addResult(probeBroker(broker).why);
        promise->finish();
    });
    // Dropped when the dialog is gone by then.
    problem.then(this, [this](const QString &why) { showAnswer(why); });
}

void frmHome::showAnswer(const QString &problem)
{
    cmdOk->setEnabled(true);
    if (problem.isEmpty()) {
        emit answered(true);
        accept();
        return;
    }
    lblMqttState->setText(problem + QStringLiteral(" The settings are saved all the same."));
    cmdCancel->setText(QStringLiteral("Close"));
    emit answered(false);
}

// open() returns at once: the remote goes on working while the user picks.
void frmHome::cmdMqttCaFile_Click()
{
    auto *chooser = new QFileDialog(this,
                                    QStringLiteral("The CA file that signed the broker's "
                                                   "certificate"),
                                    txtMqttCaFile->text());
    chooser->setFileMode(QFileDialog::ExistingFile);
    chooser->setAttribute(Qt::WA_DeleteOnClose);
    connect(chooser, &QFileDialog::fileSelected, txtMqttCaFile, &QLineEdit::setText);
    chooser->open();
}
