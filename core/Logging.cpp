// SPDX-License-Identifier: GPL-3.0-or-later
#include "Logging.h"

Q_LOGGING_CATEGORY(lcSettings, "kavelo.settings")
Q_LOGGING_CATEGORY(lcPlayer, "kavelo.player")
Q_LOGGING_CATEGORY(lcApp, "kavelo.app")
Q_LOGGING_CATEGORY(lcKeys, "kavelo.keys")
