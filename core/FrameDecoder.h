// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Command.h"
#include "X10Key.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

class SettingsModel;

struct DecodedFrame
{
    enum class Verdict
    {
        Dropped,
        Rejected,
        Accepted
    };

    Verdict verdict = Verdict::Dropped;
    QString text;                   // what txtMonitor shows; empty when dropped
    X10Key key;                     // the key pressed, unless dropped
    std::optional<Command> command; // only for some accepted frames
};

// Turns the bytes received in one cycle into a display text, a verdict and a
// command. Only the first two bytes count. The bank ("bankb") is read from the
// settings for every frame that reaches the display and written into optLower.
DecodedFrame decodeFrame(const QByteArray &received, const QString &houseCode,
                         const SettingsModel &settings, bool &optLower);
