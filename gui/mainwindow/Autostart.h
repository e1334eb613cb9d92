// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Starting Kavelo at login: a desktop entry in $XDG_CONFIG_HOME/autostart/.
namespace Autostart {
QString entryFile(); // $XDG_CONFIG_HOME/autostart/kavelo.desktop
bool enabled();
// Writes or removes the entry; false, with the reason, when that failed.
bool setEnabled(bool on, QString &why);
} // namespace Autostart
