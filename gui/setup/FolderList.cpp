// SPDX-License-Identifier: GPL-3.0-or-later
#include "FolderList.h"

#include <QDir>
#include <QFileInfo>

namespace {
const QString kUpEntry = QStringLiteral("..");
}

FolderList::FolderList(QWidget *parent) : QListWidget(parent)
{
    connect(this, &QListWidget::itemDoubleClicked, this, &FolderList::enter);
}

bool FolderList::setPath(const QString &path)
{
    const QString cleaned = QDir::cleanPath(QDir(path).absolutePath());
    const QFileInfo folder(cleaned);
    if (!folder.isDir() || !folder.isReadable())
        return false;
    if (cleaned == path_)
        return true;
    path_ = cleaned;
    fill();
    emit pathChanged(path_);
    return true;
}

void FolderList::fill()
{
    clear();
    const QDir folder(path_);
    if (!folder.isRoot())
        addItem(kUpEntry);
    addItems(folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase));
}

void FolderList::enter(QListWidgetItem *item)
{
    if (!item)
        return;
    const QString name = item->text();
    QDir folder(path_);
    if (name == kUpEntry)
        folder.cdUp();
    else
        folder.setPath(folder.filePath(name));
    setPath(folder.path());
}
