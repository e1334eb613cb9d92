// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Command.h"
#include "CommandRunner.h"
#include "HouseLink.h"
#include "KeyBinding.h"
#include "Presses.h"
#include "X10Key.h"

#include <QByteArray>
#include <QString>

#include <QSet>

#include <functional>

class PlayerSession;
class SettingsModel;

// What the main window shows and switches on for the remote-control core.
class RemoteView
{
public:
    virtual ~RemoteView() = default;

    virtual void showFrame(const QString &text) = 0;     // text of txtMonitor
    virtual void highlightFrame(bool accepted) = 0;      // background of txtMonitor, Timer1 on
    virtual void showCommand(const QString &text) = 0;   // text of txtWincmd
    virtual void startPauseGuard(int intervalMs) = 0;    // Timer2 on with this interval
    virtual void addThumbsUp(const QString &song) = 0;   // append to listTU
    virtual void addThumbsDown(const QString &song) = 0; // append to listTD
    // What a key changed in what plays, for a desktop notification; only while
    // the setting "notify" is on.
    virtual void announce(const QString &summary, const QString &body) = 0;
    // A key of any remote in the house was pressed: its press's first frame.
    virtual void pressed(const X10Key &key) { Q_UNUSED(key); }
};

struct DecodedFrame;

// The main window's brain: its public fields, getOptions, and what happens to
// each received frame: decoding, then what its key does at the first frame of
// a press, and at the repeats of a held key where its binding says so. A key
// does what the key map binds it to; a key it does not bind keeps its meaning
// in the chosen house code and bank. The player's calls go to
// the session, which carries them out on its own thread: the window shows what
// a key does at once and never waits for the player.
class RemoteControl
{
public:
    RemoteControl(SettingsModel &settings, RemoteView &view, PlayerSession &session);

    // Takes the bank and the volume from the settings and sends the volume to the player.
    void getOptions();
    enum class FrameSource
    {
        Receiver,  // this machine's receiver
        OtherRoom, // another room's receiver, through the house
    };
    // One receive cycle from the split of the bytes to the end of the command.
    void handleFrame(const QByteArray &received, FrameSource source = FrameSource::Receiver);
    // A player action name or a key name asked from outside (the house): it
    // acts as the action or the key would, but runs no program. False, and
    // said once on standard error, for anything else.
    bool command(const QString &payload);
    // The house hears of every press; null for none.
    void setHouse(HouseLink *house) { house_ = house; }
    // Carries out one command.
    void dispatch(Command command);
    // The Timer2 tick: the pause key may run again.
    void endPauseGuard();
    // The clock that times presses, in ms; a monotonic one unless a test sets another.
    void setClock(std::function<qint64()> clock) { clock_ = std::move(clock); }

    qint16 vol = 125;
    quint8 timeOver = 1;
    bool optLower = true;

private:
    struct Meaning
    {
        KeyBinding binding; // none when the key does nothing
        bool accepted = false;
    };
    Meaning meaningOf(const DecodedFrame &frame) const;
    void act(const KeyBinding &binding, const X10Key &key, bool mayRun);
    void tellHouse(const X10Key &key, HouseLink::Event event, const QString &action);
    void showCommand(const QString &text);
    void changeVolume(int direction); // +1 up, -1 down, by volStep
    void announce(const QString &summary, const QString &body = {});
    void announceSong(const QString &summary);

    SettingsModel &settings_;
    RemoteView &view_;
    PlayerSession &session_;
    Presses presses_;
    CommandRunner runner_;
    std::function<qint64()> clock_;
    HouseLink *house_ = nullptr;
    bool holdTold_ = false;
    QSet<QString> refusedCommands_; // said once each
};
