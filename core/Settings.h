// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

class SettingsStore;

// Every key of the settings store and its default, in one place.
namespace Keys {
inline const QString comn = QStringLiteral("comn");
inline const QString housecode = QStringLiteral("housecode");
inline const QString bankb = QStringLiteral("bankb");
inline const QString thumbsup = QStringLiteral("thumbsup");
inline const QString thumbsdown = QStringLiteral("thumbsdown");
inline const QString tuPath = QStringLiteral("tuPath");
inline const QString tdPath = QStringLiteral("tdPath");
inline const QString tuFile = QStringLiteral("tuFile");
inline const QString tdFile = QStringLiteral("tdFile");
inline const QString volume = QStringLiteral("volume");
inline const QString volSteps = QStringLiteral("volSteps");
inline const QString dir1Path = QStringLiteral("dir1_path");
inline const QString drive1Drive = QStringLiteral("Drive1-Drive");
// Keys this program adds for Linux. The main window's player menu writes the
// five that choose the player; the user may set them in the file as well.
inline const QString player = QStringLiteral("player");
inline const QString mprisPlayer = QStringLiteral("mprisPlayer");
inline const QString mpdHost = QStringLiteral("mpdHost");
inline const QString mpdPort = QStringLiteral("mpdPort");
inline const QString mpdMusicDir = QStringLiteral("mpdMusicDir");
inline const QString helpHost = QStringLiteral("helpHost");
// Added too, and written by the main window's menu alone.
inline const QString notify = QStringLiteral("notify");
// The broker of the house (home automation), and the rooms whose receivers
// give this one its keys.
inline const QString mqttHost = QStringLiteral("mqttHost");
inline const QString mqttPort = QStringLiteral("mqttPort");
inline const QString mqttUser = QStringLiteral("mqttUser");
inline const QString mqttPassword = QStringLiteral("mqttPassword");
inline const QString mqttCaFile = QStringLiteral("mqttCaFile");
inline const QString mqttNode = QStringLiteral("mqttNode");
inline const QString mqttPrefix = QStringLiteral("mqttPrefix");
inline const QString mqttDiscovery = QStringLiteral("mqttDiscovery");
inline const QString keysFrom = QStringLiteral("keysFrom");

// Not a key of [Startup]: the name under which a change of the key map, the
// group [Keys], is announced.
inline const QString keyMap = QStringLiteral("Keys");

QString playlist(int n);  // "playlist1" .. "playlist8"
QString comDevice(int n); // "comDevice<n>", written by the setup window
// Whether `key` is one of the keys that choose the player and its address.
bool choosesPlayer(const QString &key);
// Whether `key` is one of the keys of the broker.
bool choosesBroker(const QString &key);
} // namespace Keys

// The values of "player", each the backend it chooses.
namespace PlayerKinds {
inline const QString automatic = QStringLiteral("auto"); // an MPRIS player if one runs, else MPD
inline const QString mpris = QStringLiteral("mpris");
inline const QString mpd = QStringLiteral("mpd");
} // namespace PlayerKinds

namespace Defaults {
inline const QString comnMain = QStringLiteral("5");  // the main window opens port 5
inline const QString comnSetup = QStringLiteral("2"); // the setup window shows port 2
inline const QString housecode = QStringLiteral("A");
inline const QString bankb = QStringLiteral("1");
inline const QString volume = QStringLiteral("125");
inline const QString volSteps = QStringLiteral("5");
inline const QString tuFile = QStringLiteral("winners");
inline const QString tdFile = QStringLiteral("losers");
inline const QString notify = QStringLiteral("True");
inline const QString player = PlayerKinds::automatic;
inline const QString mpdPort = QStringLiteral("0");
inline const QString mqttPort = QStringLiteral("0");
inline const QString mqttPrefix = QStringLiteral("kavelo");
inline const QString mqttDiscovery = QStringLiteral("homeassistant");

QString thumbsup();       // keepers.m3u in the user's music folder
QString thumbsdown();     // loosers.m3u in the user's music folder
QString thumbsFolder();   // the user's home folder with a trailing "/"
QString dir1Path();       // the user's home folder
QString mpdMusicDir();    // the user's music folder, as the XDG user dirs name it
QString comDevice(int n); // "/dev/ttyS<n-1>"
QString mqttNode();       // the host name, in lower case, cut to [a-z0-9_-]
} // namespace Defaults

// Conversions of stored text. Each gives nothing when the text does not convert.
std::optional<quint8> toByte(const QString &text);  // decimal 0..255
std::optional<qint16> toInt16(const QString &text); // decimal within the 16-bit signed range
std::optional<bool> toBoolean(const QString &text); // "True"/"False" in any case, or a number
std::optional<quint16> toPort(const QString &text); // decimal 0..65535

// How values are written: plain decimal, and "True"/"False".
QString numberText(int value);
QString booleanText(bool value);

// Reads a key and converts it; a value that does not convert falls back to the
// key's default, so a damaged settings file never stops the program.
quint8 readByte(const SettingsStore &store, const QString &key, const QString &defaultValue);
qint16 readInt16(const SettingsStore &store, const QString &key, const QString &defaultValue);
bool readBoolean(const SettingsStore &store, const QString &key, const QString &defaultValue);
