// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "X10Key.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// The rest of the house as the key path sees it: a home-automation hub and
// the other rooms, reached through a broker (mqtt/ puts it there). It hears of
// every press, of what the action line says and of every frame this
// machine's receiver hears; it hands in commands and, for a room that takes
// its keys from another room's receiver, that receiver's frames. Nothing it
// does may hold up a key: what it sends is queued, and it sends it later.
class HouseLink : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    enum class Event
    {
        Press, // the first frame of a press
        Hold,  // the key is still held a second later; said once a press
    };

    struct KeyEvent
    {
        X10Key key;
        Event event = Event::Press;
        QString action; // what Kavelo did: an action name, "run", or "" for nothing
    };

    virtual void keyEvent(const KeyEvent &event) = 0;
    // A text of the action line, when it is not empty.
    virtual void actionShown(const QString &text) = 0;
    // A frame of this machine's receiver, as it was read: its first two bytes.
    virtual void frameHeard(const QByteArray &frame) = 0;

signals:
    // A player action name or a key name, asked from outside.
    void commandReceived(const QString &payload);
    // A frame that the receiver of `node` heard, for a room without its own.
    void frameReceived(const QByteArray &frame, const QString &node);
};
