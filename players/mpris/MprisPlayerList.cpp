// SPDX-License-Identifier: GPL-3.0-or-later
#include "MprisPlayerList.h"
#include "MprisBus.h"

#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <algorithm>

using namespace Mpris;

MprisPlayerList::MprisPlayerList(const QDBusConnection &bus, QObject *parent)
    : QObject(parent), bus_(bus)
{
    if (!bus_.isConnected())
        return;
    // Watching starts before the listing, so no player slips through between
    // the two: the bus answers in the order it was asked.
    watching_ = bus_.connect(kBusService, kBusPath, kBusService, kNameOwnerChanged, this,
                             SLOT(nameOwnerChanged(QString, QString, QString)));
    auto *listing = new QDBusPendingCallWatcher(
        bus_.asyncCall(busDaemonCall(QStringLiteral("ListNames"))), this);
    connect(listing, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher *call) {
                const QDBusPendingReply<QStringList> names = *call;
                for (const QString &name : names.value())
                    add(name);
                call->deleteLater();
            });
}

MprisPlayerList::~MprisPlayerList()
{
    if (watching_)
        bus_.disconnect(kBusService, kBusPath, kBusService, kNameOwnerChanged, this,
                        SLOT(nameOwnerChanged(QString, QString, QString)));
}

QList<MprisPlayerList::Player> MprisPlayerList::players() const
{
    QList<Player> players;
    for (auto it = identities_.cbegin(); it != identities_.cend(); ++it)
        players.append({it.key(), it.value()});
    std::stable_sort(players.begin(), players.end(), [](const Player &a, const Player &b) {
        return QString::localeAwareCompare(a.identity.isEmpty() ? a.suffix : a.identity,
                                           b.identity.isEmpty() ? b.suffix : b.identity) < 0;
    });
    return players;
}

void MprisPlayerList::nameOwnerChanged(const QString &name, const QString &,
                                       const QString &newOwner)
{
    if (!name.startsWith(kServicePrefix))
        return;
    if (!newOwner.isEmpty()) {
        add(name);
    } else if (identities_.remove(name.mid(kServicePrefix.size())) > 0) {
        emit changed();
    }
}

// Shown by its suffix until it tells its Identity.
void MprisPlayerList::add(const QString &name)
{
    if (!name.startsWith(kServicePrefix))
        return;
    const QString suffix = name.mid(kServicePrefix.size());
    if (identities_.contains(suffix))
        return;
    identities_.insert(suffix, QString());
    emit changed();

    auto *asking = new QDBusPendingCallWatcher(
        bus_.asyncCall(propertyGet(name, QStringLiteral("Identity"), kRootInterface)), this);
    connect(asking, &QDBusPendingCallWatcher::finished, this,
            [this, suffix](QDBusPendingCallWatcher *call) {
                const QString identity = unwrap(firstArgument(call->reply())).toString();
                // The player may have gone, or come again, meanwhile.
                auto it = identities_.find(suffix);
                if (it != identities_.end() && !identity.isEmpty() && *it != identity) {
                    *it = identity;
                    emit changed();
                }
                call->deleteLater();
            });
}
