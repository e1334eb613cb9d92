// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <chrono>

class SettingsModel;

// The help page address: "http://<helpHost>/help.html", or, with "helpHost"
// empty, the page of the embedded help site, which starts on the first call.
// Empty when the embedded site could not start.
QString helpPageAddress(const SettingsModel &settings);

// The bundled page that a request path (as sent, percent-encoding included)
// of the embedded help site serves, or an empty string when the site has no
// such page. Only exact names of a fixed list match, so no spelling of ".."
// or of an absolute path reaches anything else.
QString helpSiteResource(const QString &requestPath);

// What the embedded help site allows each connection: a request line and
// headers of at most this many bytes (a longer head is answered 414 or 431
// and the connection closed), and this long without a complete request head
// before the connection is dropped.
constexpr qsizetype kHelpSiteHeadLimit = 16 * 1024;
constexpr std::chrono::milliseconds kHelpSiteIdleLimit{5000};
