// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP (a logout, a service stop, Ctrl+C) asked of the
// process, turned into a signal of the event loop, so the program can stop as
// when its window is closed: port closed, its lock released, exit status 0.
class StopSignals : public QObject
{
    Q_OBJECT

public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

signals:
    void stopRequested();

private:
    void readSignal();

    QSocketNotifier *notifier_ = nullptr;
};
