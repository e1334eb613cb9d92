// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QListWidget>
#include <QString>

// The folder list Dir1: the subfolders of one folder, with ".." to go up.
// A double-click enters the folder under the pointer.
class FolderList : public QListWidget
{
    Q_OBJECT

public:
    explicit FolderList(QWidget *parent = nullptr);

    QString path() const { return path_; }
    // Moves to a folder; false, and nothing changes, when it cannot be read.
    bool setPath(const QString &path);

signals:
    void pathChanged(const QString &path);

private:
    void fill();
    void enter(QListWidgetItem *item);

    QString path_;
};
