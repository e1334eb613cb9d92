// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/KeyPath.h"

#include <QObject>

class BrokerFollower;
class DesktopNotifier;
class SerialComm;
class SettingsModel;
class ThumbsLists;

// Kavelo without a window, for a music server without a screen: the receive
// loop, the decoding, the dispatch and the player session. What the window
// would show goes to standard error, one line per frame and per command, so
// the journal shows it. The thumbs keys write their playlist file at once:
// there is no button to press.
class HeadlessRemote : public QObject, private RemoteView
{
    Q_OBJECT

public:
    HeadlessRemote(SettingsModel &settings, ThumbsLists &thumbs, PlayerFactory createPlayer,
                   QObject *parent = nullptr);
    ~HeadlessRemote() override;

    // Loads the settings, opens the port (or keeps trying until its device is
    // there) and waits for frames.
    void start();
    // Closes the port.
    void stop();

private:
    // RemoteView
    void showFrame(const QString &text) override;
    void highlightFrame(bool accepted) override;
    void showCommand(const QString &text) override;
    void startPauseGuard(int intervalMs) override;
    void addThumbsUp(const QString &song) override;
    void addThumbsDown(const QString &song) override;
    void announce(const QString &summary, const QString &body) override;

    SettingsModel &settings_;
    ThumbsLists &thumbs_;
    SerialComm *comm_ = nullptr;
    DesktopNotifier *notifier_ = nullptr;
    KeyPath keyPath_;
    BrokerFollower *broker_ = nullptr; // the house on the broker, while one is set
    QString frame_;                    // the frame shown last, logged with its verdict
};
