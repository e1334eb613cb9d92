// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QListWidget>
#include <QString>

// The file list File1: the "*.m3u" files of one folder. Pressing any mouse
// button selects the row under the pointer and asks for a drag of that file.
class FileList : public QListWidget
{
    Q_OBJECT

public:
    explicit FileList(QWidget *parent = nullptr);

    QString path() const { return path_; }
    void setPath(const QString &path);
    // The selected file's name, or "" when no file is selected.
    QString fileName() const;

signals:
    // The pointer's position within the list.
    void dragRequested(QPoint pointer);

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    QString path_;
};
