// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

// The program's icon, in every size it was rendered in: every window carries it.
QIcon appIcon();
