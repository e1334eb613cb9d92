// SPDX-License-Identifier: GPL-3.0-or-later
#include "DesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace {
constexpr int kExpireMs = 2000;
}

DesktopNotifier::DesktopNotifier(const QDBusConnection &bus, QObject *parent)
    : QObject(parent), bus_(bus)
{
}

void DesktopNotifier::notify(const QString &summary, const QString &body)
{
    if (!bus_.isConnected())
        return;
    if (waitingForId_) {
        next_.emplace(summary, body);
        return;
    }
    send(summary, body);
}

void DesktopNotifier::send(const QString &summary, const QString &body)
{
    waitingForId_ = true;
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    message.setArguments({QStringLiteral("Kavelo"), shownId_, QStringLiteral("kavelo"), summary,
                          body, QStringList(), QVariantMap(), kExpireMs});
    auto *watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message, kExpireMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher *call) {
                const QDBusPendingReply<uint> reply = *call;
                if (reply.isValid())
                    shownId_ = reply.value();
                call->deleteLater();
                waitingForId_ = false;
                if (next_) {
                    const auto [summary, body] = *std::exchange(next_, std::nullopt);
                    send(summary, body);
                }
            });
}
