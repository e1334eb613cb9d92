// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Registers the bundled help pages and toolbar images, which live in this
// static library and would otherwise be dropped by the linker. Safe to call
// more than once.
void initHelpResources();
