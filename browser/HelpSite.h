#pragma once

#include <QString>

class SettingsStore;

// The help page address: "http://<helpHost>/help.html", or, with "helpHost"
// empty, the page of the embedded help site, which starts on the first call.
// Empty when the embedded site could not start.
QString helpPageAddress(const SettingsStore &store);

// The bundled page that a request path (as sent, percent-encoding included)
// of the embedded help site serves, or an empty string when the site has no
// such page. Only exact names of a fixed list match, so no spelling of ".."
// or of an absolute path reaches anything else.
QString helpSiteResource(const QString &requestPath);
