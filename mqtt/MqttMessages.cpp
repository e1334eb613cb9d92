// SPDX-License-Identifier: GPL-3.0-or-later
#include "MqttMessages.h"

#include "Version.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

namespace Mqtt {

namespace {
QString houseLetter(quint8 house)
{
    return QString(QChar(u'A' + (house & 0x0f)));
}

QString functionName(X10Function function)
{
    switch (function) {
    case X10Function::AllOff:
        return QStringLiteral("alloff");
    case X10Function::AllOn:
        return QStringLiteral("allon");
    case X10Function::On:
        return QStringLiteral("on");
    case X10Function::Off:
        return QStringLiteral("off");
    case X10Function::Dim:
        return QStringLiteral("dim");
    case X10Function::Bright:
        return QStringLiteral("bright");
    }
    return {};
}

QString eventName(HouseLink::Event event)
{
    return event == HouseLink::Event::Hold ? QStringLiteral("hold") : QStringLiteral("press");
}

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// The hub's ids may hold letters, digits, "_" and "-" only.
QString hubId(const QString &text)
{
    QString id;
    for (const QChar c : text)
        id += (c.isLetterOrNumber() && c.unicode() < 128) || c == u'_' || c == u'-' ? c : u'_';
    return id;
}

QJsonObject device(const Topics &topics)
{
    return {{"identifiers", QJsonArray{QStringLiteral("kavelo_") + hubId(topics.node)}},
            {"name", QStringLiteral("Kavelo ") + topics.node},
            {"manufacturer", QStringLiteral("Kavelo")},
            {"model", QStringLiteral("X10 RF remote receiver")},
            {"sw_version", QStringLiteral(KAVELO_VERSION)}};
}

// Every announcement comes from this table: the hub's component, and for a
// device trigger the event of the key message it fires on.
struct Trigger
{
    HouseLink::Event event;
    const char *type; // the hub's name for it
};
constexpr Trigger kTriggers[] = {
    {HouseLink::Event::Press, "button_short_press"},
    {HouseLink::Event::Hold, "button_long_press"},
};

QString configTopic(const QString &discovery, const QString &component, const Topics &topics,
                    const QString &object)
{
    return discovery + u'/' + component + QStringLiteral("/kavelo_") + hubId(topics.node) + u'/' +
           hubId(object) + QStringLiteral("/config");
}

// Every key of a house code, in the order a remote lists them.
QList<X10Key> keysOfHouse(quint8 house)
{
    QList<X10Key> keys;
    for (quint8 unit = 0; unit < 16; ++unit) {
        keys.append({house, unit, X10Function::On});
        keys.append({house, unit, X10Function::Off});
    }
    for (const X10Function function :
         {X10Function::Bright, X10Function::Dim, X10Function::AllOn, X10Function::AllOff})
        keys.append({house, 0, function});
    return keys;
}
} // namespace

QByteArray keyMessage(const HouseLink::KeyEvent &event)
{
    const X10Key &key = event.key;
    return compact({
        {"key", key.name()},
        {"house", houseLetter(key.house)},
        {"unit", X10Key::hasUnit(key.function) ? QJsonValue(key.unit + 1) : QJsonValue()},
        {"function", functionName(key.function)},
        {"event", eventName(event.event)},
        {"action", event.action.isEmpty() ? QJsonValue() : QJsonValue(event.action)},
    });
}

QByteArray framePayload(const QByteArray &frame)
{
    return frame.left(2).toHex();
}

std::optional<QByteArray> frameFromPayload(const QByteArray &payload)
{
    if (payload.size() != 4)
        return std::nullopt;
    for (const char c : payload) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return std::nullopt;
    }
    return QByteArray::fromHex(payload);
}

std::optional<QString> commandFromPayload(const QByteArray &payload)
{
    if (payload.size() > kMaxCommandBytes)
        return std::nullopt;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(payload);
    if (utf8.hasError())
        return std::nullopt;
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control && !c.isSpace())
            return std::nullopt;
    }
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    return trimmed;
}

QList<Message> keyAnnouncements(const Topics &topics, const QString &discovery, const X10Key &key)
{
    QList<Message> messages;
    for (const Trigger &trigger : kTriggers) {
        const QString event = eventName(trigger.event);
        const QJsonObject config{
            {"automation_type", QStringLiteral("trigger")},
            {"topic", topics.key()},
            {"type", QLatin1String(trigger.type)},
            {"subtype", key.name()},
            {"payload", key.name() + u' ' + event},
            {"value_template", QStringLiteral("{{ value_json.key }} {{ value_json.event }}")},
            {"qos", 0},
            {"device", device(topics)},
        };
        messages.append({configTopic(discovery, QStringLiteral("device_automation"), topics,
                                     key.name() + u'_' + event),
                         compact(config), true});
    }
    return messages;
}

QList<Message> houseAnnouncements(const Topics &topics, const QString &discovery, quint8 house)
{
    const QString letter = houseLetter(house);
    QJsonArray eventTypes;
    for (const X10Key &key : keysOfHouse(house)) {
        for (const Trigger &trigger : kTriggers)
            eventTypes.append(key.name() + u'_' + eventName(trigger.event));
    }
    // The key topic carries every house code: the other houses' messages
    // render empty, which the hub ignores.
    const QString valueTemplate =
        QStringLiteral("{% if value_json.house == '") + letter +
        QStringLiteral("' %}{\"event_type\": \"{{ value_json.key }}_{{ value_json.event }}\"}"
                       "{% endif %}");
    const QString object = QStringLiteral("house_") + letter.toLower();
    const QJsonObject config{
        {"name", QStringLiteral("House ") + letter},
        {"unique_id", QStringLiteral("kavelo_") + hubId(topics.node) + u'_' + object},
        {"state_topic", topics.key()},
        {"event_types", eventTypes},
        {"value_template", valueTemplate},
        {"device_class", QStringLiteral("button")},
        {"availability_topic", topics.availability()},
        {"payload_available", QString::fromLatin1(kOnline)},
        {"payload_not_available", QString::fromLatin1(kOffline)},
        {"qos", 0},
        {"device", device(topics)},
    };
    return {
        {configTopic(discovery, QStringLiteral("event"), topics, object), compact(config), true}};
}

} // namespace Mqtt
