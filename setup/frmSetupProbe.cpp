// The serial port frame: Apply reopens the main window's port on the chosen
// number and probes it for a Trenda, then a Pasko adapter. The probe is a small
// state machine driven by the window's three timers and the port's arrivals;
// while it runs it owns the port and Apply is disabled.

#include "frmSetup.h"

#include "core/Settings.h"
#include "core/SettingsModel.h"
#include "platform/SerialComm.h"

#include <QComboBox>
#include <QPushButton>
#include <QTimer>

namespace {

constexpr quint8 trendaProbe = 0x2A;
constexpr quint8 paskoLead = 0xF0;
constexpr quint8 paskoProbe = 0x29;
constexpr quint8 adapterReply = 0x29;

const QString lineFormat = QStringLiteral("4800,N,8,1");

// A port number as in the invalid-port message: a blank stands where a minus would.
QString signedDecimal(int number)
{
    return number < 0 ? QString::number(number) : QLatin1Char(' ') + QString::number(number);
}

} // namespace

void frmSetup::cmdApplyClick()
{
    // No port picked (the stored one is not in the list): nothing to open or store.
    if (probing() || ComportList->currentIndex() < 0)
        return;
    comm_.claim();
    if (comm_.portOpen())
        comm_.close();
    comm_.setSettings(lineFormat);
    const int port = ComportList->currentText().toInt();
    comm_.setCommPort(port);
    // Any other failure leaves the port closed; the probe's first write finds that.
    if (comm_.open() == SerialComm::OpenResult::InvalidPort) {
        comm_.release();
        tell(QStringLiteral("com port ") + signedDecimal(port) + QStringLiteral(" not avalable"));
        ComportList->setCurrentIndex(ComportList->findText(QStringLiteral("1")));
        return;
    }
    settings_.setValue(Keys::comn, ComportList->currentText());
    detectAdapter();
}

// Trenda: one probe byte, and a 0x29 back within Timer1's second.
// Stale input goes before the probe byte, not after it: an adapter may answer
// before the next statement runs, and its answer must not be thrown away.
void frmSetup::detectAdapter()
{
    cmdApply->setEnabled(false);
    probe_ = Probe::TrendaWait;
    comm_.discardInput();
    if (!comm_.output(trendaProbe)) {
        endProbe();
        tell(QStringLiteral(
            "Another program is using this serial port, please close it and try again."));
        return;
    }
    Timer1->start();
}

// The Trenda stayed silent: try the Pasko.
void frmSetup::Timer1Tick()
{
    if (probe_ != Probe::TrendaWait)
        return;
    sendLeadByte();
}

void frmSetup::sendLeadByte()
{
    comm_.output(paskoLead);
    probe_ = Probe::PaskoPause;
    Timer4->start();
}

void frmSetup::Timer4Tick()
{
    if (probe_ != Probe::PaskoPause)
        return;
    comm_.discardInput();
    comm_.output(paskoProbe);
    probe_ = Probe::PaskoWait;
    Timer2->start();
}

void frmSetup::Timer2Tick()
{
    if (probe_ != Probe::PaskoWait)
        return;
    comm_.close();
    endProbe();
    tell(QStringLiteral("adapter not responding, verify serial port connections"));
}

// Only the first byte of what arrived counts; the rest goes with it.
void frmSetup::adapterAnswered()
{
    if (probe_ != Probe::TrendaWait && probe_ != Probe::PaskoWait)
        return;
    const QByteArray received = comm_.input();
    if (received.isEmpty())
        return;
    if (static_cast<quint8>(received.at(0)) != adapterReply) {
        comm_.close();
        endProbe();
        tell(QStringLiteral("no response"));
        return;
    }
    const bool trenda = probe_ == Probe::TrendaWait;
    endProbe();
    tell(trenda ? QStringLiteral("Trenda adapter detected")
                : QStringLiteral("Pasko adapter detected"));
}

// The answer is settled before the message shows, so nothing of the probe runs
// behind a message box.
void frmSetup::endProbe()
{
    Timer1->stop();
    Timer2->stop();
    Timer4->stop();
    probe_ = Probe::Idle;
    cmdApply->setEnabled(true);
    comm_.release();
}
