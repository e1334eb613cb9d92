#pragma once

#include "core/PlayerControl.h"

#include <memory>

class SettingsStore;

// The one place that picks the player backend, by the setting "player".
std::unique_ptr<PlayerControl> createPlayer(const SettingsStore &store);
