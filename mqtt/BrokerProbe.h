// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/SettingsModel.h"

#include <QString>

#include <chrono>

// What the broker said when it was asked once whether it takes the user name
// and password of the settings.
struct BrokerAnswer
{
    enum class Outcome
    {
        Accepted,
        Refused,     // it answered, and would not have the client
        Unreachable, // no answer: no broker there, no way there, or no answer in time
    };
    Outcome outcome = Outcome::Unreachable;
    QString why; // for the user to read, without the password; "" when accepted
};

// Connects to the broker once, as the program would (TLS against the CA file
// when one is set), and disconnects at once. Blocks the calling thread for at
// most about `timeout`, the host name's lookup aside: run it away from the
// window's thread.
BrokerAnswer probeBroker(const BrokerChoice &broker,
                         std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));
