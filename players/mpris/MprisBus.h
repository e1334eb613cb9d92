// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The names of MPRIS 2 on the session bus, and the messages both the player
// backend and the list of players send.

#include <QDBusMessage>
#include <QString>
#include <QVariant>
#include <QVariantList>

namespace Mpris {
inline const QString kServicePrefix = QStringLiteral("org.mpris.MediaPlayer2.");
inline const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
inline const QString kRootInterface = QStringLiteral("org.mpris.MediaPlayer2");
inline const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
inline const QString kTrackListInterface = QStringLiteral("org.mpris.MediaPlayer2.TrackList");
inline const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

inline const QString kBusService = QStringLiteral("org.freedesktop.DBus");
inline const QString kBusPath = QStringLiteral("/org/freedesktop/DBus");
inline const QString kNameOwnerChanged = QStringLiteral("NameOwnerChanged");

// A call to the bus daemon itself ("ListNames").
QDBusMessage busDaemonCall(const QString &method);
// A call to the player's own object on the bus.
QDBusMessage playerCall(const QString &service, const QString &interface, const QString &method,
                        const QVariantList &args = {});
// Asks for a property of one of the player's interfaces.
QDBusMessage propertyGet(const QString &service, const QString &name,
                         const QString &interface = kPlayerInterface);

// The first value of a reply; nothing for an error.
QVariant firstArgument(const QDBusMessage &reply);
// The value of a property as Properties.Get answers it.
QVariant unwrap(const QVariant &value);
} // namespace Mpris
