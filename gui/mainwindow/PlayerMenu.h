// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QList>
#include <QMenu>

class MprisPlayerList;
class QAction;
class QActionGroup;
class SettingsModel;

// Options > Player: "Automatic", each MPRIS player on the session bus now by
// the name it gives itself, then "MPD…", which opens the MPD dialog. A choice
// writes the keys that choose the player, and the next key goes there. The
// choice in the settings is the one checked, however it was made: a chosen
// MPRIS player that is not running keeps an item of its own.
class PlayerMenu : public QMenu
{
    Q_OBJECT

public:
    PlayerMenu(SettingsModel &settings, QWidget *parent);
    ~PlayerMenu() override;

    QAction *mnuPlayerAuto = nullptr;
    QAction *mnuPlayerMpd = nullptr;
    // One item for each MPRIS player, its bus-name suffix as its data.
    QList<QAction *> mprisItems() const { return mprisItems_; }

private:
    void showPlayers();
    void addMprisItem(const QString &text, const QString &suffix);
    void showChoice();
    void chooseMpris(const QString &suffix);
    void mnuPlayerAuto_Click();
    void mnuPlayerMpd_Click();

    SettingsModel &settings_;
    MprisPlayerList *players_ = nullptr;
    QActionGroup *group_ = nullptr;
    QAction *mprisEnd_ = nullptr; // the separator the MPRIS items stand before
    QList<QAction *> mprisItems_;
    // The name each player was last listed under while it ran, by bus-name
    // suffix: a chosen player that quit keeps it.
    QHash<QString, QString> listedAs_;
};
