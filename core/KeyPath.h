// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "PlayerSession.h"
#include "ReceiveLoop.h"
#include "RemoteControl.h"
#include "SerialLine.h"

class SettingsModel;

// The way of a key press, the same in the window and without one: the receive
// loop hands each frame read on the adapter's line to the remote control,
// which sends its command to the player session. The front-end is the view:
// it shows what happens and tells the user how the port opened.
class KeyPath
{
public:
    KeyPath(SettingsModel &settings, SerialLine &line, RemoteView &view,
            PlayerFactory createPlayer);

    // getOptions, the port opened in the adapter's line format, timeOver = 1,
    // receive; the result of the open is the front-end's to report.
    SerialLine::OpenResult start();
    // No more frames, and the port closed.
    void stop();

    RemoteControl &remote() { return remote_; }
    ReceiveLoop &loop() { return loop_; }

private:
    SettingsModel &settings_;
    SerialLine &line_;
    PlayerSession session_;
    RemoteControl remote_;
    ReceiveLoop loop_;
};
