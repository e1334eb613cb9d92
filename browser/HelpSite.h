#pragma once

#include <QString>

class SettingsStore;

// The help page address: "http://<helpHost>/help.html", or, with "helpHost"
// empty, the page of the embedded help site, which starts on the first call.
QString helpPageAddress(const SettingsStore &store);
