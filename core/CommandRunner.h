// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QStringList>

// Starts the programs that keys are bound to, without a shell. Each runs on
// its own, in its own session and in the home folder, with the key that
// started it in KAVELO_KEY, its input from /dev/null and its output on our
// standard error (the journal under systemd). Starting never waits: it
// happens on a thread of its own, which then waits for the program to end and
// logs a failing exit. It stays running when Kavelo ends.
class CommandRunner : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    void run(const QStringList &program, const QString &key);

signals:
    // The program could not be started; `reason` says why.
    void failed(const QString &program, const QString &reason);
};
