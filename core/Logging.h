// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>

// One category for each area of the program. A warning reads
// "kavelo.<area>: what went wrong", and QT_LOGGING_RULES can silence an area.
Q_DECLARE_LOGGING_CATEGORY(lcSettings) // the settings file and the thumbs lists' state file
Q_DECLARE_LOGGING_CATEGORY(lcPlayer)   // the player backends and the calls to them
Q_DECLARE_LOGGING_CATEGORY(lcApp)      // the program as a process (stop signals)
Q_DECLARE_LOGGING_CATEGORY(lcKeys)     // the key map, held keys and the programs keys run
