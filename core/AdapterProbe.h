// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QTimer;
class ReceiveLoop;
class SerialLine;

// Finds out which adapter answers on the open port: a Trenda answers 0x2A with
// 0x29 within Timer1's second; if none does, a Pasko answers 0xF0, a pause of
// one Timer4 tick, then 0x29, with 0x29 within Timer2's second. The probe
// borrows the port from the receive loop while it runs and closes it when no
// adapter answered properly.
class AdapterProbe : public QObject
{
    Q_OBJECT

public:
    enum class Result
    {
        Trenda,
        Pasko,
        NoResponse,    // a wrong first byte in either wait
        NotResponding, // silence to both probes
        PortInUse      // the first byte could not be written
    };
    Q_ENUM(Result)

    AdapterProbe(SerialLine &line, ReceiveLoop &loop, QObject *parent = nullptr);
    ~AdapterProbe() override;

    // detectAdapter: ends with finished(), possibly before it returns.
    void start();
    // Ends a running probe without a result; the port stays as it is and goes
    // back to the loop.
    void stop();
    bool running() const { return state_ != State::Idle; }

signals:
    // The port is back with the receive loop by then.
    void finished(AdapterProbe::Result result);

private:
    enum class State
    {
        Idle,
        TrendaWait,
        PaskoPause,
        PaskoWait
    };

    void Timer1Tick();
    void sendLeadByte();
    void Timer4Tick();
    void Timer2Tick();
    void adapterAnswered();
    void finish(Result result);
    void giveBack();

    SerialLine &line_;
    ReceiveLoop &loop_;
    State state_ = State::Idle;
    QTimer *Timer1 = nullptr;
    QTimer *Timer2 = nullptr;
    QTimer *Timer4 = nullptr;
};
