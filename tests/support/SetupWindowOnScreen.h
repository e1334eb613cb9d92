// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "gui/setup/frmSetup.h"

#include <QApplication>

// The setup window the user sees, found as a GUI test finds any window: by its
// object name. nullptr when none is open.
inline frmSetup *setupWindowOnScreen()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->objectName() == QLatin1String("frmSetup") && window->isVisible())
            return qobject_cast<frmSetup *>(window);
    }
    return nullptr;
}
