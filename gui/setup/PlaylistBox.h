// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLineEdit>

// MIME type of a file dragged out of the setup window's file list.
inline constexpr char kPlaylistDragMime[] = "application/x-kavelo-playlist-file";

// One of the eight playlist boxes: it takes only a file dragged from the file
// list; other drops, text from elsewhere included, are refused.
class PlaylistBox : public QLineEdit
{
    Q_OBJECT

public:
    PlaylistBox(int number, QWidget *parent = nullptr);

signals:
    void fileDropped(int number);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    int number_;
};
