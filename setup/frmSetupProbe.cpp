// The serial port frame: Apply reopens the main window's port on the chosen
// number and has the adapter probe find out which adapter answers on it.
// Apply stays disabled until the probe has its answer.

#include "frmSetup.h"

#include "core/SerialLine.h"
#include "core/Settings.h"
#include "core/SettingsModel.h"

#include <QComboBox>
#include <QPushButton>

namespace {

const QString lineFormat = QStringLiteral("4800,N,8,1");

// A port number as in the invalid-port message: a blank stands where a minus would.
QString signedDecimal(int number)
{
    return number < 0 ? QString::number(number) : QLatin1Char(' ') + QString::number(number);
}

QString probeMessage(AdapterProbe::Result result)
{
    switch (result) {
    case AdapterProbe::Result::Trenda:
        return QStringLiteral("Trenda adapter detected");
    case AdapterProbe::Result::Pasko:
        return QStringLiteral("Pasko adapter detected");
    case AdapterProbe::Result::NoResponse:
        return QStringLiteral("no response");
    case AdapterProbe::Result::NotResponding:
        return QStringLiteral("adapter not responding, verify serial port connections");
    case AdapterProbe::Result::PortInUse:
        break;
    }
    return QStringLiteral(
        "Another program is using this serial port, please close it and try again.");
}

} // namespace

void frmSetup::cmdApplyClick()
{
    // No port picked (the stored one is not in the list): nothing to open or store.
    if (probing() || ComportList->currentIndex() < 0)
        return;
    if (comm_.portOpen())
        comm_.close();
    comm_.setSettings(lineFormat);
    const int port = ComportList->currentText().toInt();
    comm_.setCommPort(port);
    const SerialLine::OpenResult opened = comm_.open();
    if (opened == SerialLine::OpenResult::InvalidPort) {
        tell(QStringLiteral("com port ") + signedDecimal(port) + QStringLiteral(" not avalable"));
        ComportList->setCurrentIndex(ComportList->findText(QStringLiteral("1")));
        return;
    }
    settings_.setValue(Keys::comn, ComportList->currentText());
    // A reason the user can act on is told as it is, in place of a probe that
    // could only find the port closed. Any other failure leaves the port
    // closed, and the probe's first write finds that.
    if (opened == SerialLine::OpenResult::Failed && !comm_.openProblem().isEmpty()) {
        tell(comm_.openProblem());
        return;
    }
    cmdApply->setEnabled(false);
    probe_->start();
}

void frmSetup::adapterProbed(AdapterProbe::Result result)
{
    cmdApply->setEnabled(true);
    tell(probeMessage(result));
}
