// SPDX-License-Identifier: GPL-3.0-or-later
#include "ThumbsLists.h"
#include "Logging.h"

#include "PlaylistWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {
const QString kUpKey = QStringLiteral("thumbsUp");
const QString kDownKey = QStringLiteral("thumbsDown");

QStringList strings(const QJsonValue &value)
{
    QStringList result;
    for (const QJsonValue &entry : value.toArray()) {
        if (entry.isString())
            result << entry.toString();
    }
    return result;
}
} // namespace

ThumbsLists::ThumbsLists(const QString &stateFile, QObject *parent)
    : QObject(parent), stateFile_(stateFile)
{
    read();
}

QString ThumbsLists::defaultStateFile()
{
    QString folder = qEnvironmentVariable("XDG_STATE_HOME");
    if (folder.isEmpty() || !QDir::isAbsolutePath(folder))
        folder = QDir::homePath() + QStringLiteral("/.local/state");
    return folder + QStringLiteral("/kavelo/thumbs.json");
}

const QStringList &ThumbsLists::entries(List list) const
{
    return list == List::Up ? up_ : down_;
}

void ThumbsLists::add(List list, const QString &song)
{
    (list == List::Up ? up_ : down_).append(song);
    save();
    emit added(list, song);
}

void ThumbsLists::clear(List list)
{
    (list == List::Up ? up_ : down_).clear();
    save();
    emit cleared(list);
}

// A file that cannot be read as the lists is kept aside, not overwritten: the
// marks in it may still be wanted.
void ThumbsLists::read()
{
    if (stateFile_.isEmpty())
        return;
    QFile file(stateFile_);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        const QString copy = stateFile_ + QStringLiteral(".damaged");
        QFile::remove(copy);
        QFile::rename(stateFile_, copy);
        qCWarning(lcSettings,
                  "the thumbs lists in %s cannot be read; they start empty and the file is "
                  "kept as %s",
                  qPrintable(stateFile_), qPrintable(copy));
        return;
    }
    up_ = strings(document.object().value(kUpKey));
    down_ = strings(document.object().value(kDownKey));
}

void ThumbsLists::save()
{
    if (stateFile_.isEmpty())
        return;
    QDir().mkpath(QFileInfo(stateFile_).absolutePath());
    const QJsonObject lists{{kUpKey, QJsonArray::fromStringList(up_)},
                            {kDownKey, QJsonArray::fromStringList(down_)}};
    const auto failure = writeFileWhole(stateFile_, QJsonDocument(lists).toJson());
    if (failure && !failureReported_) {
        failureReported_ = true;
        qCWarning(lcSettings,
                  "cannot keep the thumbs lists in %s: %s; they live in memory for this run",
                  qPrintable(failure->path), qPrintable(failure->reason));
    } else if (!failure) {
        failureReported_ = false;
    }
}
