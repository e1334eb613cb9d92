#pragma once

#include <QIcon>

// The 16 x 16 icon every window of the program carries.
QIcon appIcon();
