// SPDX-License-Identifier: GPL-3.0-or-later
#include "FileList.h"

#include <QDir>
#include <QMouseEvent>

FileList::FileList(QWidget *parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void FileList::setPath(const QString &path)
{
    path_ = path;
    clear();
    const QDir folder(path);
    addItems(
        folder.entryList({QStringLiteral("*.m3u")}, QDir::Files, QDir::Name | QDir::IgnoreCase));
}

QString FileList::fileName() const
{
    const QList<QListWidgetItem *> selected = selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

void FileList::mousePressEvent(QMouseEvent *event)
{
    QListWidget::mousePressEvent(event);
    // The view selects only for some buttons; a drag may start with any of them.
    const QPoint pointer = event->position().toPoint();
    if (QListWidgetItem *item = itemAt(pointer))
        setCurrentItem(item);
    emit dragRequested(pointer);
}
