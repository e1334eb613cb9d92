// SPDX-License-Identifier: GPL-3.0-or-later
#include "Messages.h"

#include <QMessageBox>

Messages::Messages(QObject *parent) : QObject(parent) {}

void Messages::show(const QString &text, const QString &title)
{
    ++open_;
    emit opened();
    present(text, title);
}

// Application modal, as a box that ran its own event loop was: open() would
// make a box without a parent modal to no window at all.
void Messages::present(const QString &text, const QString &title)
{
    auto *box = new QMessageBox(QMessageBox::NoIcon, title, text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    connect(box, &QMessageBox::finished, this, &Messages::closeOne);
    box->show();
}

void Messages::closeOne()
{
    if (open_ == 0)
        return;
    --open_;
    emit closed();
}
