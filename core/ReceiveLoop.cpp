// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReceiveLoop.h"

#include "SerialLine.h"

#include <QTimer>

namespace {
// How often a lost adapter is looked for: a stat of one device file, so the
// idle cost stays nil, and a replugged adapter works again within a second.
constexpr int kReopenIntervalMs = 500;
} // namespace

ReceiveLoop::ReceiveLoop(SerialLine &line, QObject *parent) : QObject(parent), line_(line)
{
    reopenTimer_ = new QTimer(this);
    reopenTimer_->setObjectName(QStringLiteral("reopenTimer"));
    reopenTimer_->setInterval(kReopenIntervalMs);
    connect(reopenTimer_, &QTimer::timeout, this, &ReceiveLoop::tryReopen);
    connect(&line_, &SerialLine::readyRead, this, &ReceiveLoop::receive);
    connect(&line_, &SerialLine::portLost, this, &ReceiveLoop::portLost);
}

void ReceiveLoop::start()
{
    running_ = true;
    startCycle();
}

void ReceiveLoop::stop()
{
    running_ = false;
    reopenTimer_->stop();
}

void ReceiveLoop::suspend()
{
    suspended_ = true;
    reopenTimer_->stop();
}

void ReceiveLoop::resume()
{
    if (!suspended_)
        return;
    suspended_ = false;
    startCycle();
}

void ReceiveLoop::hold()
{
    ++holds_;
}

// The frame waits for the code that showed the message to finish, as every
// other frame waits for the handler before it.
void ReceiveLoop::release()
{
    if (holds_ == 0)
        return;
    if (--holds_ == 0)
        QMetaObject::invokeMethod(this, &ReceiveLoop::receive, Qt::QueuedConnection);
}

// Whatever arrived since the last frame goes, so repeats that the remote sent
// while a command ran do not count.
void ReceiveLoop::startCycle()
{
    if (running_ && !suspended_)
        line_.discardInput();
}

void ReceiveLoop::receive()
{
    if (!running_ || suspended_ || holds_ > 0)
        return;
    if (line_.inBufferCount() < 2)
        return;
    const QByteArray received = line_.input();
    emit frameReceived(received);
    startCycle();
}

// The device vanished under the open port. When the same device comes back,
// the port opens again on its own; a port that someone opens meanwhile, another
// port number, or lending the port out ends the search.
void ReceiveLoop::portLost()
{
    reopenWhenAvailable();
}

void ReceiveLoop::reopenWhenAvailable()
{
    if (!running_ || suspended_ || line_.portOpen())
        return;
    lostPort_ = line_.commPort();
    reopenTimer_->start();
}

void ReceiveLoop::tryReopen()
{
    if (!running_ || suspended_ || line_.portOpen() || line_.commPort() != lostPort_) {
        reopenTimer_->stop();
        return;
    }
    // Opening looks for the device file itself; while it is missing this fails at once.
    if (line_.open() == SerialLine::OpenResult::Opened) {
        reopenTimer_->stop();
        startCycle();
    }
}
