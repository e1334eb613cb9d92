// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/KeyPath.h"

#include <QMainWindow>
#include <QPointer>

class QLabel;
class QListWidget;
class QLineEdit;
class QPushButton;
class QTimer;
class QAction;
class QMenu;
class BrokerFollower;
class DesktopNotifier;
class frmKeys;
class Messages;
class PlayerMenu;
class SerialComm;
class SettingsModel;
class ThumbsLists;

// The main window: shows the remote's frames and commands, the thumbs lists,
// and runs the receive loop for the whole life of the program.
class Tarrow : public QMainWindow, private RemoteView
{
    Q_OBJECT

public:
    // The thumbs lists outlive the window: they are kept in their state file.
    // Every message of this window and of the setup window goes to `messages`.
    Tarrow(SettingsModel &settings, ThumbsLists &thumbs, PlayerFactory createPlayer,
           Messages &messages, QWidget *parent = nullptr);
    ~Tarrow() override;

    // The load sequence: show, getOptions, openPort, timeOver = 1, receive.
    void load();

    // Controls, by their names.
    SerialComm *Comm1 = nullptr;
    QTimer *Timer1 = nullptr;
    QTimer *Timer2 = nullptr;
    QLineEdit *txtWincmd = nullptr;
    QLineEdit *txtMonitor = nullptr;
    QPushButton *cmdSetup = nullptr;
    QPushButton *cmdClearlistTU = nullptr;
    QPushButton *cmdClearlistTD = nullptr;
    QPushButton *cmdMakePlaylist = nullptr;
    QListWidget *listTU = nullptr;
    QListWidget *listTD = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QMenu *mnuOptions = nullptr;
    PlayerMenu *mnuPlayer = nullptr; // the player the remote drives
    QAction *mnuNotify = nullptr;    // desktop notifications of what a key did
    QAction *mnuAutostart = nullptr; // start Kavelo at login
    QAction *mnuKeys = nullptr;      // the key map
    QAction *mnuHome = nullptr;      // the broker of the house
    QMenu *mnuHelp = nullptr;
    QAction *mnuViewBrowser = nullptr;
    QAction *mnuHelpAbout = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void createMenu();
    void arrangeTabOrder();

    void cmdSetup_Click();
    void cmdClearlistTU_Click();
    void cmdClearlistTD_Click();
    void cmdMakePlaylist_Click();
    void mnuViewBrowser_Click();
    void mnuHelpAbout_Click();
    void mnuNotify_Click(bool on);
    void mnuAutostart_Click(bool on);
    void mnuKeys_Click();
    void mnuHome_Click();
    void Timer1_Timer();
    void Timer2_Timer();

    // RemoteView
    void showFrame(const QString &text) override;
    void highlightFrame(bool accepted) override;
    void showCommand(const QString &text) override;
    void startPauseGuard(int intervalMs) override;
    void addThumbsUp(const QString &song) override;
    void addThumbsDown(const QString &song) override;
    void announce(const QString &summary, const QString &body) override;
    void pressed(const X10Key &key) override;

    SettingsModel &settings_;
    ThumbsLists &thumbs_;
    Messages &messages_;
    DesktopNotifier *notifier_ = nullptr;
    QPointer<frmKeys> keys_; // the keys window, while it is open
    KeyPath keyPath_;
    BrokerFollower *broker_ = nullptr; // the house on the broker, while one is set
};
