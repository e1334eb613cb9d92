// SPDX-License-Identifier: GPL-3.0-or-later
#include "MprisBus.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QVariantMap>

namespace Mpris {
QDBusMessage busDaemonCall(const QString &method)
{
    return QDBusMessage::createMethodCall(kBusService, kBusPath, kBusService, method);
}

QDBusMessage playerCall(const QString &service, const QString &interface, const QString &method,
                        const QVariantList &args)
{
    auto message = QDBusMessage::createMethodCall(service, kObjectPath, interface, method);
    message.setArguments(args);
    return message;
}

QDBusMessage propertyGet(const QString &service, const QString &name, const QString &interface)
{
    return playerCall(service, kPropertiesInterface, QStringLiteral("Get"), {interface, name});
}

QVariant firstArgument(const QDBusMessage &reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().constFirst();
}

// Properties.Get wraps the value in a variant; a{sv} and ao values arrive
// still marshalled.
QVariant unwrap(const QVariant &value)
{
    const QVariant inner = value.value<QDBusVariant>().variant();
    if (inner.userType() != qMetaTypeId<QDBusArgument>())
        return inner;
    const auto argument = inner.value<QDBusArgument>();
    if (argument.currentSignature() == QLatin1String("ao"))
        return QVariant::fromValue(qdbus_cast<QList<QDBusObjectPath>>(argument));
    return qdbus_cast<QVariantMap>(argument);
}
} // namespace Mpris
