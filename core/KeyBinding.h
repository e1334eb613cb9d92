// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Command.h"

#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

// What one key of the key map does, read from its value in the group [Keys]:
//
//   next                        a player action, once for each press
//   none                        nothing
//   run notify-send "Hello"     a program, once for each press
//
// and, in front of any of them, what a held key does:
//
//   once volumeup               once for each press, however long it is held
//   repeat next                 at the press and at every repeat while held
//   repeat after 500ms next     at the press, and at every repeat once held
//                               that long ("1s" and "1.5s" read as well)
//
// Without either word the volume actions repeat and every other one acts
// once for each press.
struct KeyBinding
{
    enum class Kind
    {
        Action,
        None,
        Run,
    };

    Kind kind = Kind::None;
    Command action = Command::Pause;
    QStringList program;  // Run: the program and its arguments
    bool repeats = false; // acts again at the repeats of a held key
    int repeatDelayMs = 0;

    // Whether a repeat of a press held for `heldMs` acts again.
    bool actsOnRepeat(qint64 heldMs) const
    {
        return kind != Kind::None && repeats && heldMs >= repeatDelayMs;
    }
    bool operator==(const KeyBinding &) const = default;

    // What `action` does as the key of the chosen house code and bank that
    // has it by default.
    static KeyBinding forAction(Command action);
};

// The player actions by their names in the key map ("playlist1" to "playlist8",
// "pause", "back5", "previous", "next", "thumbsup", "thumbsdown", "shuffleon",
// "shuffleoff", "volumeup", "volumedown"), in the order of the commands.
QStringList actionNames();
QString actionName(Command action);
std::optional<Command> actionFromName(const QString &name);

// The binding a value says; nothing, and why, for a value that says none.
std::optional<KeyBinding> parseBinding(const QString &value, QString *why = nullptr);
// The value that says `binding`, as parseBinding reads it back.
QString bindingText(const KeyBinding &binding);

// Splits a command line into words as a shell does: blanks separate words,
// single quotes keep everything, double quotes keep everything but a backslash
// before " \ $ or `, and a backslash outside quotes keeps the next character.
// Nothing is expanded: $HOME, ~ and * stay as they are. Nothing, and why, for
// a quote that is not closed.
std::optional<QStringList> splitCommandLine(const QString &line, QString *why = nullptr);
// Quotes words so that splitCommandLine gives them back.
QString joinCommandLine(const QStringList &words);

// The group [Keys], read: every key whose name and value can be read, by name.
struct KeyMap
{
    QHash<QString, KeyBinding> bindings;
    QStringList unreadable; // "name=value: why", for a warning

    static KeyMap read(const QMap<QString, QString> &values);
};
