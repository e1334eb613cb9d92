// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlayerMenu.h"

#include "core/Settings.h"
#include "core/SettingsModel.h"
#include "gui/mainwindow/frmMpd.h"
#include "players/mpris/MprisPlayerList.h"

#include <QActionGroup>

#include <algorithm>
#include <utility>

PlayerMenu::PlayerMenu(SettingsModel &settings, QWidget *parent)
    : QMenu(QStringLiteral("&Player"), parent), settings_(settings),
      players_(new MprisPlayerList(QDBusConnection::sessionBus(), this)),
      group_(new QActionGroup(this))
{
    setObjectName(QStringLiteral("mnuPlayer"));
    mnuPlayerAuto = addAction(QStringLiteral("&Automatic"));
    mnuPlayerAuto->setObjectName(QStringLiteral("mnuPlayerAuto"));
    addSeparator();
    mprisEnd_ = addSeparator();
    mnuPlayerMpd = addAction(QStringLiteral("&MPD…"));
    mnuPlayerMpd->setObjectName(QStringLiteral("mnuPlayerMpd"));
    for (QAction *item : {mnuPlayerAuto, mnuPlayerMpd}) {
        item->setCheckable(true);
        group_->addAction(item);
    }

    connect(mnuPlayerAuto, &QAction::triggered, this, &PlayerMenu::mnuPlayerAuto_Click);
    connect(mnuPlayerMpd, &QAction::triggered, this, &PlayerMenu::mnuPlayerMpd_Click);
    connect(players_, &MprisPlayerList::changed, this, &PlayerMenu::showPlayers);
    connect(&settings_, &SettingsModel::changed, this, [this](const QString &key) {
        if (Keys::choosesPlayer(key))
            showPlayers();
    });
    showPlayers();
}

PlayerMenu::~PlayerMenu() = default;

// The items stand for the players of this moment. One that is triggered may be
// on its way out: it goes once its signal is done.
void PlayerMenu::showPlayers()
{
    for (QAction *item : std::as_const(mprisItems_)) {
        removeAction(item);
        group_->removeAction(item);
        item->deleteLater();
    }
    mprisItems_.clear();

    const QList<MprisPlayerList::Player> players = players_->players();
    QStringList identities;
    for (const MprisPlayerList::Player &player : players)
        identities << player.identity;
    for (const MprisPlayerList::Player &player : players) {
        // Two players that give the same name, two VLCs, tell apart by their bus names.
        QString text = player.identity.isEmpty() ? player.suffix : player.identity;
        if (!player.identity.isEmpty() && identities.count(player.identity) > 1)
            text += QStringLiteral(" (%1)").arg(player.suffix);
        addMprisItem(text, player.suffix);
        listedAs_.insert(player.suffix, text);
    }

    const bool mprisChosen = settings_.player() == PlayerKinds::mpris;
    const QString chosen = settings_.mprisPlayer();
    const bool chosenRuns = std::any_of(players.cbegin(), players.cend(), [&](const auto &player) {
        return player.suffix == chosen;
    });
    if (mprisChosen && !chosenRuns) {
        addMprisItem(chosen.isEmpty()
                         ? QStringLiteral("Any MPRIS player")
                         : QStringLiteral("%1 (not running)").arg(listedAs_.value(chosen, chosen)),
                     chosen);
    }
    showChoice();
}

void PlayerMenu::addMprisItem(const QString &text, const QString &suffix)
{
    auto *item = new QAction(text, this);
    item->setData(suffix);
    item->setCheckable(true);
    group_->addAction(item);
    insertAction(mprisEnd_, item);
    mprisItems_ << item;
    connect(item, &QAction::triggered, this, [this, suffix] { chooseMpris(suffix); });
}

void PlayerMenu::showChoice()
{
    const QString player = settings_.player();
    QAction *checked = mnuPlayerAuto; // "auto", and any value the program does not know
    if (player == PlayerKinds::mpd) {
        checked = mnuPlayerMpd;
    } else if (player == PlayerKinds::mpris) {
        for (QAction *item : std::as_const(mprisItems_)) {
            if (item->data().toString() == settings_.mprisPlayer())
                checked = item;
        }
    }
    checked->setChecked(true);
}

void PlayerMenu::chooseMpris(const QString &suffix)
{
    settings_.setValue(Keys::mprisPlayer, suffix);
    settings_.setValue(Keys::player, PlayerKinds::mpris);
}

// Any MPRIS player, else MPD: a player chosen before would narrow "any" to itself.
void PlayerMenu::mnuPlayerAuto_Click()
{
    settings_.setValue(Keys::mprisPlayer, QString());
    settings_.setValue(Keys::player, PlayerKinds::automatic);
}

// The choice changes only when the dialog saves.
void PlayerMenu::mnuPlayerMpd_Click()
{
    showChoice();
    auto *dialog = new frmMpd(settings_, parentWidget());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->open();
}
