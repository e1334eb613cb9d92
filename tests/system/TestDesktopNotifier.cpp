// SPDX-License-Identifier: GPL-3.0-or-later
// Desktop notifications against a notification server of the test's own on a
// private session bus, which records every Notify call.

#include "NothingHappens.h"
#include "PlayerPeers.h"

#include "system/DesktopNotifier.h"

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QtTest>

class NotificationServer : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    explicit NotificationServer(QObject *host) : QDBusAbstractAdaptor(host) {}

    QStringList shown; // "replacesId summary/body expireMs" of each call

public slots:
    uint Notify(const QString &, uint replacesId, const QString &, const QString &summary,
                const QString &body, const QStringList &, const QVariantMap &, int expireMs)
    {
        shown << QStringLiteral("%1 %2/%3 %4")
                     .arg(QString::number(replacesId), summary, body, QString::number(expireMs));
        return replacesId ? replacesId : uint(40 + shown.size());
    }
};

class TestDesktopNotifier : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(bus_.start()); }
    void withoutAServerNothingHappens();
    void oneNotificationIsReplaced();

private:
    SessionBus bus_;
};

void TestDesktopNotifier::withoutAServerNothingHappens()
{
    DesktopNotifier notifier;
    QTest::failOnWarning(QRegularExpression(".*"));
    notifier.notify(QStringLiteral("vol up"), QStringLiteral("52 %"));
    QVERIFY(nothingHappensWithin(100)); // the failed call comes back without a word
}

void TestDesktopNotifier::oneNotificationIsReplaced()
{
    QObject host;
    auto *server = new NotificationServer(&host);
    QDBusConnection bus = QDBusConnection::sessionBus();
    QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &host));
    QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));

    DesktopNotifier notifier;
    // Keys in quick succession: the first is shown, the last replaces it, the
    // ones between are skipped.
    notifier.notify(QStringLiteral("advance"), QStringLiteral("Second song"));
    notifier.notify(QStringLiteral("vol down"), QStringLiteral("50 %"));
    notifier.notify(QStringLiteral("vol up"), QStringLiteral("52 %"));
    QTRY_COMPARE(server->shown.size(), 2);
    QCOMPARE(server->shown, (QStringList{"0 advance/Second song 2000", "41 vol up/52 % 2000"}));
    bus.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
}

QTEST_GUILESS_MAIN(TestDesktopNotifier)
#include "TestDesktopNotifier.moc"
