// SPDX-License-Identifier: GPL-3.0-or-later
// The serial port frame: Apply reopens the main window's port on the chosen
// number and has the adapter probe find out which adapter answers on it.
// Apply stays disabled until the probe has its answer.

#include "frmSetup.h"

#include "core/SerialLine.h"
#include "core/Settings.h"
#include "core/SettingsModel.h"
#include "serial/SerialDevices.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>

namespace {

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

void frmSetup::cmdApply_Click()
{
    // No port picked (the stored one is not in the list): nothing to open or store.
    if (probing() || ComportList->currentIndex() < 0)
        return;
    storePortDevice(pickedPort());
    const int port = ComportList->currentText().toInt();
    const SerialLine::OpenResult opened = comm_.openAdapter(port);
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
    cmdFindAdapter->setEnabled(false);
    probe_->start();
}

void frmSetup::adapterProbed(AdapterProbe::Result result)
{
    const bool found =
        result == AdapterProbe::Result::Trenda || result == AdapterProbe::Result::Pasko;
    if (searching_ < 0) {
        cmdApply->setEnabled(true);
        cmdFindAdapter->setEnabled(true);
        tell(probeMessage(result));
    } else if (found) {
        cboDevice->setCurrentIndex(searching_);
        const int port = pickedPort();
        storePortDevice(port);
        settings_.setValue(Keys::comn, QString::number(port));
        endSearch(probeMessage(result) + QStringLiteral(" on ") + cboDevice->currentText() +
                  QStringLiteral(", now serial port ") + QString::number(port));
    } else {
        ++searching_;
        tryNextDevice();
    }
}

// The serial devices the system has, and those the port numbers name; each
// item keeps what a port number stores for it.
void frmSetup::fillDeviceList()
{
    cboDevice->clear();
    for (const SerialDevice &device : serialDevices(settings_)) {
        cboDevice->addItem(device.label(), device.storedName());
        cboDevice->setItemData(cboDevice->count() - 1, device.label(), Qt::ToolTipRole);
    }
}

// The device the picked port number opens now, or none where it is not listed.
void frmSetup::showPortDevice()
{
    const int port = pickedPort();
    const QString device = QFileInfo(settings_.comDevice(port)).canonicalFilePath();
    int found = -1;
    for (int i = 0; i < cboDevice->count() && found < 0; ++i) {
        if (QFileInfo(cboDevice->itemData(i).toString()).canonicalFilePath() == device)
            found = i;
    }
    cboDevice->setCurrentIndex(found);
}

// The port number picked in the list; Find adapter uses port 1 when none is.
int frmSetup::pickedPort() const
{
    return ComportList->currentIndex() < 0 ? 1 : ComportList->currentText().toInt();
}

// A device picked by name becomes the port number's device. A device the port
// number already names is not written again: "comDevice<n>" stays as the user
// or another version wrote it.
void frmSetup::storePortDevice(int port)
{
    const QString picked = cboDevice->currentData().toString();
    if (picked.isEmpty() || QFileInfo(picked).canonicalFilePath() ==
                                QFileInfo(settings_.comDevice(port)).canonicalFilePath())
        return;
    settings_.setValue(Keys::comDevice(port), picked);
}

// Probes each listed device in turn, as Apply probes the picked one, and picks
// the first an adapter answers on.
void frmSetup::cmdFindAdapter_Click()
{
    if (probing() || searching_ >= 0 || cboDevice->count() == 0)
        return;
    cmdApply->setEnabled(false);
    cmdFindAdapter->setEnabled(false);
    searchProblem_.clear();
    comm_.setCommPort(pickedPort());
    searching_ = 0;
    tryNextDevice();
}

void frmSetup::tryNextDevice()
{
    for (; searching_ < cboDevice->count(); ++searching_) {
        comm_.setDevice(cboDevice->itemData(searching_).toString());
        if (comm_.openAdapter(comm_.commPort()) == SerialLine::OpenResult::Opened) {
            probe_->start();
            return;
        }
        if (searchProblem_.isEmpty())
            searchProblem_ = comm_.openProblem();
    }
    comm_.close();
    endSearch(searchProblem_.isEmpty()
                  ? QStringLiteral("No adapter answered on any serial device.")
                  : QStringLiteral("No adapter answered on any serial device. ") + searchProblem_);
}

// The port goes back to the device its number names: the one just found, or,
// when none answered, the one it had; it stays closed then, as after any probe
// that failed.
void frmSetup::endSearch(const QString &message)
{
    searching_ = -1;
    comm_.setDevice(QString());
    cmdApply->setEnabled(true);
    cmdFindAdapter->setEnabled(true);
    tell(message);
}
