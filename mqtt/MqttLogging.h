// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLoggingCategory>

// The broker and what comes from it: "kavelo.mqtt: ...".
Q_DECLARE_LOGGING_CATEGORY(lcMqtt)
