// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <optional>
#include <utility>

// Short desktop notifications of what a key did, for the person across the
// room. One notification is replaced rather than stacked, and it expires after
// about two seconds. Without a notification server on the session bus nothing
// happens and nothing is said: the call goes out without waiting for an answer.
class DesktopNotifier : public QObject
{
    Q_OBJECT

public:
    explicit DesktopNotifier(const QDBusConnection &bus = QDBusConnection::sessionBus(),
                             QObject *parent = nullptr);

    void notify(const QString &summary, const QString &body = {});

private:
    void send(const QString &summary, const QString &body);

    QDBusConnection bus_;
    uint shownId_ = 0; // the notification on screen, replaced by the next one
    // While the server has not told the id of the last one, only the newest
    // notification waits; it replaces the last one once the id is known.
    bool waitingForId_ = false;
    std::optional<std::pair<QString, QString>> next_;
};
