// SPDX-License-Identifier: GPL-3.0-or-later
#include "PlaylistBox.h"

#include <QDropEvent>
#include <QMimeData>

namespace {
bool isPlaylistDrag(const QDropEvent *event)
{
    return event->mimeData() && event->mimeData()->hasFormat(QLatin1String(kPlaylistDragMime));
}

void acceptOnlyPlaylistDrags(QDropEvent *event)
{
    if (isPlaylistDrag(event))
        event->acceptProposedAction();
    else
        event->ignore();
}
} // namespace

PlaylistBox::PlaylistBox(int number, QWidget *parent) : QLineEdit(parent), number_(number)
{
    setAcceptDrops(true);
}

void PlaylistBox::dragEnterEvent(QDragEnterEvent *event)
{
    acceptOnlyPlaylistDrags(event);
}

void PlaylistBox::dragMoveEvent(QDragMoveEvent *event)
{
    acceptOnlyPlaylistDrags(event);
}

void PlaylistBox::dropEvent(QDropEvent *event)
{
    if (!isPlaylistDrag(event)) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit fileDropped(number_);
}
