// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// The six functions an X10 RF remote sends, by their code in a frame's first byte.
enum class X10Function : quint8
{
    AllOff = 0,
    AllOn = 1,
    On = 2,
    Off = 3,
    Dim = 4,
    Bright = 5,
};

// One key of any X10 remote in the house: a house code, a unit where the
// function has one (on and off), and the function. Its name is the key map's
// key: the house letter, the unit number where there is one, and the function
// in lower case ("A4off", "B11on", "Cbright", "Cdim", "Pallon", "Palloff").
struct X10Key
{
    quint8 house = 0; // 0 to 15, A to P
    quint8 unit = 0;  // index 0 to 15 (unit 1 to 16); 0 for the keys without a unit
    X10Function function = X10Function::AllOff;

    static bool hasUnit(X10Function function)
    {
        return function == X10Function::On || function == X10Function::Off;
    }
    QString name() const;
    bool operator==(const X10Key &) const = default;
};

// The key a name stands for; nothing for a name that is no key.
std::optional<X10Key> parseKeyName(const QString &name);
