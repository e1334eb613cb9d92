// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PlayerSession.h"
#include "ReceiveLoop.h"
#include "RemoteControl.h"
#include "SerialLine.h"
#include "SettingsModel.h"

#include <QElapsedTimer>
#include <QTimer>

#include <functional>
#include <memory>

// Makes the player backend that a choice of player names. Called on the
// player's thread, with the choice the settings held when it changed last.
using PlayerFactory = std::function<std::unique_ptr<PlayerControl>(const PlayerChoice &)>;

// The way of a key press, the same in the window and without one: the receive
// loop hands each frame read on the adapter's line to the remote control,
// which sends its command to the player session. The front-end is the view:
// it shows what happens and tells the user how the port opened.
//
// The player is the one the settings choose. When that choice changes, in the
// window's menu or in the file, the next key goes to the new player, without
// a restart.
class KeyPath
{
public:
    KeyPath(SettingsModel &settings, SerialLine &line, RemoteView &view,
            PlayerFactory createPlayer);

    // getOptions, the port opened in the adapter's line format, timeOver = 1,
    // receive; the result of the open is the front-end's to report. A room
    // that takes its keys from other rooms' receivers opens no port.
    SerialLine::OpenResult start();
    // The rooms ("keysFrom") whose receivers give this one its keys; none
    // when the keys come from the serial port.
    QStringList roomsHeard() const { return settings_.keysFrom(); }

    // The house hears of every press and frame, and may send commands and,
    // for a room, other rooms' frames. Null for none.
    void setHouse(HouseLink *house);
    // No more frames, and the port closed.
    void stop();

    RemoteControl &remote() { return remote_; }
    ReceiveLoop &loop() { return loop_; }

private:
    void handleFrame(const QByteArray &received);
    PlayerSession::Factory playerFor(const PlayerChoice &choice) const;
    void followPendingChoice();
    void followPlayerChoice();
    void frameFromRoom(const QByteArray &frame, const QString &node);

    SettingsModel &settings_;
    SerialLine &line_;
    PlayerFactory createPlayer_;
    PlayerChoice choice_; // the choice the session's player was made for
    PlayerSession session_;
    RemoteControl remote_;
    ReceiveLoop loop_;
    QTimer choiceChanged_;
    HouseLink *house_ = nullptr;
    // The last frame from another room, to drop the copy a second receiver
    // heard of the same transmission.
    QByteArray roomFrame_;
    QString roomNode_;
    QElapsedTimer roomFrameAge_;
};
