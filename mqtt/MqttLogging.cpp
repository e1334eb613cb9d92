// SPDX-License-Identifier: GPL-3.0-or-later
#include "MqttLogging.h"

Q_LOGGING_CATEGORY(lcMqtt, "kavelo.mqtt")
