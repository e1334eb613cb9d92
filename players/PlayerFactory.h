// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/PlayerControl.h"

#include <memory>

struct PlayerChoice;

// The one place that picks the player backend, by the setting "player" of the
// choice, and gives it the choice's address of the player.
std::unique_ptr<PlayerControl> createPlayer(const PlayerChoice &choice);
