// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/HouseLink.h"
#include "core/X10Key.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// What Kavelo says on the broker and what it takes from it, as text: the
// topics under "<prefix>/<node>/", the payloads, and the announcements for a
// home-automation hub. Nothing here talks to a broker.
namespace Mqtt {

struct Topics
{
    QString prefix; // "kavelo"
    QString node;   // this machine

    QString of(const QString &node, const QString &leaf) const
    {
        return prefix + u'/' + node + u'/' + leaf;
    }
    QString key() const { return of(node, QStringLiteral("key")); }
    QString action() const { return of(node, QStringLiteral("action")); }
    QString availability() const { return of(node, QStringLiteral("availability")); }
    QString command() const { return of(node, QStringLiteral("command")); }
    QString frame(const QString &room) const { return of(room, QStringLiteral("frame")); }
};

inline const QByteArray kOnline = QByteArrayLiteral("online");
inline const QByteArray kOffline = QByteArrayLiteral("offline");

// One message to publish.
struct Message
{
    QString topic;
    QByteArray payload;
    bool retain = false;
    bool operator==(const Message &) const = default;
};

// {"key":"A4off","house":"A","unit":4,"function":"off","event":"press","action":"next"};
// unit is null for the keys without one, action null when the key did nothing.
QByteArray keyMessage(const HouseLink::KeyEvent &event);
// A frame as four lower-case hex digits, and back; nothing for anything else.
QByteArray framePayload(const QByteArray &frame);
std::optional<QByteArray> frameFromPayload(const QByteArray &payload);

// A command's payload as text: short UTF-8 without control characters, blanks
// around it dropped. Nothing for anything else.
constexpr qsizetype kMaxCommandBytes = 64;
std::optional<QString> commandFromPayload(const QByteArray &payload);

// The hub's announcements ("discovery"): one device, a device trigger for the
// press and one for the hold of each key heard, and an event entity for each
// house code heard. `discovery` is the hub's topic prefix ("homeassistant").
QList<Message> keyAnnouncements(const Topics &topics, const QString &discovery, const X10Key &key);
QList<Message> houseAnnouncements(const Topics &topics, const QString &discovery, quint8 house);

} // namespace Mqtt
