// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

#include <optional>

class SettingsModel;

// A serial device the adapter may be plugged into.
struct SerialDevice
{
    QString path;        // the device file, e.g. /dev/ttyUSB0
    QString stableLink;  // its /dev/serial/by-id/ link, which survives replugging; "" when none
    QString description; // what the device says it is, e.g. "FT232R USB UART"; may be ""

    // "FT232R USB UART (/dev/ttyUSB0)", or the path alone.
    QString label() const;
    // What a port number stores for it: the stable link where there is one.
    QString storedName() const { return stableLink.isEmpty() ? path : stableLink; }
};

// The devices the four port numbers name ("comDevice1" to "comDevice4" or
// their defaults, where they exist, even when the system does not list them: a
// pseudo-terminal, say), then the other serial devices the system lists. One
// entry a device.
QList<SerialDevice> serialDevices(const SettingsModel &settings);

// Why a device file that exists cannot be opened, in words that say what to do:
// the user may not open it, or another program holds its lock. Nothing when
// neither is the case.
std::optional<QString> openProblem(const QString &device);
