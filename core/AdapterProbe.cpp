// SPDX-License-Identifier: GPL-3.0-or-later
#include "AdapterProbe.h"

#include "ReceiveLoop.h"
#include "SerialLine.h"

#include <QTimer>

namespace {

constexpr quint8 kTrendaProbe = 0x2A;
constexpr quint8 kPaskoLead = 0xF0;
constexpr quint8 kPaskoProbe = 0x29;
constexpr quint8 kAdapterReply = 0x29;

QTimer *probeTimer(QObject *parent, const char *name, int intervalMs)
{
    auto *timer = new QTimer(parent);
    timer->setObjectName(QLatin1String(name));
    timer->setInterval(intervalMs);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer); // reply time-outs of a full second, not 5 % less
    return timer;
}

} // namespace

AdapterProbe::AdapterProbe(SerialLine &line, ReceiveLoop &loop, QObject *parent)
    : QObject(parent), line_(line), loop_(loop)
{
    Timer1 = probeTimer(this, "Timer1", 1000);
    Timer2 = probeTimer(this, "Timer2", 1000);
    Timer4 = probeTimer(this, "Timer4", 2);
    connect(Timer1, &QTimer::timeout, this, &AdapterProbe::Timer1Tick);
    connect(Timer2, &QTimer::timeout, this, &AdapterProbe::Timer2Tick);
    connect(Timer4, &QTimer::timeout, this, &AdapterProbe::Timer4Tick);
    connect(&line_, &SerialLine::readyRead, this, &AdapterProbe::adapterAnswered);
}

AdapterProbe::~AdapterProbe()
{
    stop();
}

// Stale input goes before the probe byte, not after it: an adapter may answer
// before the next statement runs, and its answer must not be thrown away.
void AdapterProbe::start()
{
    if (running())
        return;
    loop_.suspend();
    state_ = State::TrendaWait;
    line_.discardInput();
    if (!line_.output(kTrendaProbe)) {
        finish(Result::PortInUse);
        return;
    }
    Timer1->start();
}

void AdapterProbe::stop()
{
    if (running())
        giveBack();
}

// The Trenda stayed silent: try the Pasko.
void AdapterProbe::Timer1Tick()
{
    if (state_ == State::TrendaWait)
        sendLeadByte();
}

void AdapterProbe::sendLeadByte()
{
    line_.output(kPaskoLead);
    state_ = State::PaskoPause;
    Timer4->start();
}

void AdapterProbe::Timer4Tick()
{
    if (state_ != State::PaskoPause)
        return;
    line_.discardInput();
    line_.output(kPaskoProbe);
    state_ = State::PaskoWait;
    Timer2->start();
}

void AdapterProbe::Timer2Tick()
{
    if (state_ != State::PaskoWait)
        return;
    line_.close();
    finish(Result::NotResponding);
}

// Only the first byte of what arrived counts; the rest goes with it.
void AdapterProbe::adapterAnswered()
{
    if (state_ != State::TrendaWait && state_ != State::PaskoWait)
        return;
    const QByteArray received = line_.input();
    if (received.isEmpty())
        return;
    if (static_cast<quint8>(received.at(0)) != kAdapterReply) {
        line_.close();
        finish(Result::NoResponse);
        return;
    }
    finish(state_ == State::TrendaWait ? Result::Trenda : Result::Pasko);
}

// The answer is settled and the port back with the loop before anyone hears
// of it, so nothing of the probe runs behind the message that reports it.
void AdapterProbe::finish(Result result)
{
    giveBack();
    emit finished(result);
}

void AdapterProbe::giveBack()
{
    Timer1->stop();
    Timer2->stop();
    Timer4->stop();
    state_ = State::Idle;
    loop_.resume();
}
