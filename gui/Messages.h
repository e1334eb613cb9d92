// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>

// Message boxes with one OK button. The program has one of these and hands it
// to every window; tests put a recording one in its place.
//
// A message opens and show() returns at once: no event loop runs inside it.
// opened() and closed() tell whoever must wait for the user (the receive
// loop), one closed() for each opened().
class Messages : public QObject
{
    Q_OBJECT

public:
    explicit Messages(QObject *parent = nullptr);

    void show(const QString &text, const QString &title);
    bool anyOpen() const { return open_ > 0; }

signals:
    void opened();
    void closed();

protected:
    // Puts the message in front of the user; closeOne() once it is gone.
    virtual void present(const QString &text, const QString &title);
    void closeOne();

private:
    int open_ = 0;
};
