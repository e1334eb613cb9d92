// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/PlayerControl.h"

#include <memory>

class SettingsModel;

// The one place that picks the player backend, by the setting "player".
std::unique_ptr<PlayerControl> createPlayer(const SettingsModel &settings);
