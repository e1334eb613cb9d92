// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

// The thumbs-up and thumbs-down lists. They are kept in a small state file,
// written whole after each change and read at start, so a restart, a crash or a
// logout loses no marked song. The playlist files are written elsewhere, and
// only on request.
class ThumbsLists : public QObject
{
    Q_OBJECT

public:
    enum class List
    {
        Up,
        Down
    };

    // `stateFile` empty: the lists live in memory only.
    explicit ThumbsLists(const QString &stateFile, QObject *parent = nullptr);

    // $XDG_STATE_HOME/kavelo/thumbs.json, by default ~/.local/state/kavelo/thumbs.json.
    static QString defaultStateFile();

    const QStringList &entries(List list) const;
    void add(List list, const QString &song);
    void clear(List list);

signals:
    void added(ThumbsLists::List list, const QString &song);
    void cleared(ThumbsLists::List list);

private:
    void read();
    void save();

    QString stateFile_;
    QStringList up_;
    QStringList down_;
    bool failureReported_ = false;
};
