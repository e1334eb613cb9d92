// SPDX-License-Identifier: GPL-3.0-or-later
#include "SettingsModel.h"

#include "Logging.h"
#include "Settings.h"

#include <QFileInfo>
#include <QFileSystemWatcher>

namespace {
const QString kHouseCodeWhenEmptyMain = QStringLiteral("B");
}

SettingsModel::SettingsModel(SettingsStore &store, QObject *parent) : QObject(parent), store_(store)
{
    watchFile();
}

SettingsModel::~SettingsModel() = default;

// The file is watched, and so is its folder: the store replaces the file on each
// write, and a file that does not exist yet can only be seen appearing there.
void SettingsModel::watchFile()
{
    const QString file = store_.fileName();
    if (file.isEmpty())
        return;
    if (!watcher_) {
        watcher_ = new QFileSystemWatcher(this);
        connect(watcher_, &QFileSystemWatcher::fileChanged, this, &SettingsModel::fileChanged);
        connect(watcher_, &QFileSystemWatcher::directoryChanged, this, &SettingsModel::fileChanged);
    }
    const QString folder = QFileInfo(file).absolutePath();
    if (!watcher_->directories().contains(folder) && QFileInfo::exists(folder))
        watcher_->addPath(folder);
    if (!watcher_->files().contains(file) && QFileInfo::exists(file))
        watcher_->addPath(file);
}

std::optional<QString> SettingsModel::value(const QString &key) const
{
    auto it = values_.constFind(key);
    if (it == values_.constEnd())
        it = values_.insert(key, store_.value(key));
    return *it;
}

void SettingsModel::setValue(const QString &key, const QString &value)
{
    const std::optional<QString> before = this->value(key);
    values_.insert(key, value);
    store_.setValue(key, value);
    if (before != value)
        emit changed(key);
}

void SettingsModel::reload()
{
    store_.reload();
    QStringList changedKeys;
    for (auto it = values_.begin(); it != values_.end(); ++it) {
        std::optional<QString> now = store_.value(it.key());
        if (now != *it) {
            *it = std::move(now);
            changedKeys << it.key();
        }
    }
    if (keyValues_ && store_.keyMap() != *keyValues_) {
        keyValues_.reset();
        changedKeys << Keys::keyMap;
    }
    for (const QString &key : changedKeys)
        emit changed(key);
}

QMap<QString, QString> SettingsModel::keyMap() const
{
    if (!keyValues_)
        readKeyMap();
    return *keyValues_;
}

void SettingsModel::setKeyBinding(const QString &key, const std::optional<QString> &value)
{
    const QMap<QString, QString> before = keyMap();
    if ((before.contains(key) ? std::optional(before.value(key)) : std::nullopt) == value)
        return;
    store_.setKeyBinding(key, value);
    keyValues_.reset();
    emit changed(Keys::keyMap);
}

const KeyMap &SettingsModel::bindings() const
{
    if (!keyValues_)
        readKeyMap();
    return bindings_;
}

void SettingsModel::readKeyMap() const
{
    keyValues_ = store_.keyMap();
    bindings_ = KeyMap::read(*keyValues_);
    for (const QString &unreadable : std::as_const(bindings_.unreadable)) {
        if (!warnedBindings_.contains(unreadable))
            qCWarning(lcKeys, "[Keys] %s; the key does what it would without it",
                      qPrintable(unreadable));
        warnedBindings_.insert(unreadable);
    }
}

QString SettingsModel::fileName() const
{
    return store_.fileName();
}

void SettingsModel::fileChanged()
{
    watchFile();
    reload();
}

QString SettingsModel::text(const QString &key, const QString &defaultValue) const
{
    return value(key).value_or(defaultValue);
}

quint8 SettingsModel::mainPort() const
{
    return readByte(*this, Keys::comn, Defaults::comnMain);
}

QString SettingsModel::houseCode() const
{
    const QString house = text(Keys::housecode, Defaults::housecode);
    return house.isEmpty() ? kHouseCodeWhenEmptyMain : house;
}

bool SettingsModel::bankLower() const
{
    return readBoolean(*this, Keys::bankb, Defaults::bankb);
}

QString SettingsModel::thumbsUpFile() const
{
    return text(Keys::thumbsup, Defaults::thumbsup());
}

QString SettingsModel::thumbsDownFile() const
{
    return text(Keys::thumbsdown, Defaults::thumbsdown());
}

qint16 SettingsModel::volume() const
{
    return readInt16(*this, Keys::volume, Defaults::volume);
}

quint8 SettingsModel::volStep() const
{
    return readByte(*this, Keys::volSteps, Defaults::volSteps);
}

QString SettingsModel::setupPort() const
{
    return text(Keys::comn, Defaults::comnSetup);
}

QString SettingsModel::setupHouseCode() const
{
    const QString house = text(Keys::housecode, Defaults::housecode);
    return house.isEmpty() ? Defaults::housecode : house;
}

std::optional<bool> SettingsModel::setupBankLower() const
{
    return toBoolean(text(Keys::bankb, Defaults::bankb));
}

std::optional<qint16> SettingsModel::setupVolStep() const
{
    return toInt16(text(Keys::volSteps, Defaults::volSteps));
}

QString SettingsModel::tuPath() const
{
    return text(Keys::tuPath, Defaults::thumbsFolder());
}

QString SettingsModel::tdPath() const
{
    return text(Keys::tdPath, Defaults::thumbsFolder());
}

QString SettingsModel::tuFile() const
{
    return text(Keys::tuFile, Defaults::tuFile);
}

QString SettingsModel::tdFile() const
{
    return text(Keys::tdFile, Defaults::tdFile);
}

QString SettingsModel::dir1Path() const
{
    return text(Keys::dir1Path, Defaults::dir1Path());
}

QString SettingsModel::playlist(int n) const
{
    return text(Keys::playlist(n), QString());
}

QString SettingsModel::comDevice(int n) const
{
    return text(Keys::comDevice(n), Defaults::comDevice(n));
}

bool SettingsModel::notify() const
{
    return readBoolean(*this, Keys::notify, Defaults::notify);
}

QString SettingsModel::player() const
{
    const QString kind = text(Keys::player, Defaults::player).trimmed().toLower();
    return kind.isEmpty() ? Defaults::player : kind;
}

QString SettingsModel::mprisPlayer() const
{
    return text(Keys::mprisPlayer, QString());
}

QString SettingsModel::mpdHost() const
{
    return text(Keys::mpdHost, QString());
}

std::optional<quint16> SettingsModel::mpdPort() const
{
    return toPort(text(Keys::mpdPort, Defaults::mpdPort));
}

QString SettingsModel::mpdMusicDir() const
{
    return text(Keys::mpdMusicDir, Defaults::mpdMusicDir());
}

PlayerChoice SettingsModel::playerChoice() const
{
    return {player(), mprisPlayer(), mpdHost(), mpdPort(), mpdMusicDir()};
}

QString SettingsModel::helpHost() const
{
    return text(Keys::helpHost, QString());
}

BrokerChoice SettingsModel::broker() const
{
    BrokerChoice broker;
    broker.host = text(Keys::mqttHost, QString()).trimmed();
    broker.port = toPort(text(Keys::mqttPort, Defaults::mqttPort)).value_or(0);
    broker.user = text(Keys::mqttUser, QString());
    broker.password = text(Keys::mqttPassword, QString());
    broker.caFile = text(Keys::mqttCaFile, QString()).trimmed();
    broker.node = text(Keys::mqttNode, QString()).trimmed();
    if (broker.node.isEmpty())
        broker.node = Defaults::mqttNode();
    broker.prefix = text(Keys::mqttPrefix, Defaults::mqttPrefix).trimmed();
    if (broker.prefix.isEmpty())
        broker.prefix = Defaults::mqttPrefix;
    broker.discovery = text(Keys::mqttDiscovery, Defaults::mqttDiscovery).trimmed();
    return broker;
}

QStringList SettingsModel::keysFrom() const
{
    const QString value = text(Keys::keysFrom, QString()).trimmed();
    const QLatin1String scheme("mqtt:");
    if (!value.startsWith(scheme))
        return {};
    QStringList nodes;
    for (const QString &node : value.mid(scheme.size()).split(u',', Qt::SkipEmptyParts)) {
        if (!node.trimmed().isEmpty())
            nodes << node.trimmed();
    }
    return nodes;
}
