// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/AdapterProbe.h"

#include <QWidget>

#include <array>

class FileList;
class FolderList;
class PlaylistBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;
class Messages;
class ReceiveLoop;
class SerialLine;
class SettingsModel;

// The setup window: serial port and adapter detection, house code and bank,
// playlists by drag and drop, thumbs files, volume step.
class frmSetup : public QWidget
{
    Q_OBJECT

public:
    // The "Setup" button: loads the one setup window when it is closed, or only
    // brings it to the front when it is open.
    // Apply reopens and probes the main window's port, borrowed from its receive loop.
    static frmSetup *showSetup(SerialLine &comm, ReceiveLoop &loop, SettingsModel &settings,
                               Messages &messages);

    ~frmSetup() override;

    // Controls, by their names. Timer1, Timer2 and Timer4 belong to the probe.
    QGroupBox *Frame1 = nullptr;
    QGroupBox *Frame2 = nullptr;
    QGroupBox *Frame3 = nullptr;
    QGroupBox *Frame4 = nullptr;
    QGroupBox *Frame5 = nullptr;
    QScrollBar *volSteps = nullptr;
    QLineEdit *txtTU = nullptr;
    QLineEdit *txtTD = nullptr;
    QPushButton *cmdApplyHC = nullptr;
    QRadioButton *optUpper = nullptr;
    QRadioButton *optLower = nullptr;
    QComboBox *houseCodeList = nullptr;
    QLineEdit *tdPath = nullptr;
    QLineEdit *tdFile = nullptr;
    QLineEdit *extt = nullptr;
    QLineEdit *tuPath = nullptr;
    QLineEdit *tuFile = nullptr;
    QLineEdit *ext = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label6 = nullptr;
    QPushButton *cmdApply = nullptr;
    QComboBox *ComportList = nullptr;
    std::array<PlaylistBox *, 8> txtPlaylist{}; // txtPlaylist1..8 is [0..7]
    std::array<QLabel *, 8> Label1{};           // "#1".."#8" is [0..7]
    FolderList *Dir1 = nullptr;
    FileList *File1 = nullptr;
    QComboBox *Drive1 = nullptr;
    QLabel *Label2 = nullptr;
    // The device of the picked port number, chosen by name among the serial
    // devices the system has, and the search for the one an adapter answers on.
    QLabel *lblDevice = nullptr;
    QComboBox *cboDevice = nullptr;
    QPushButton *cmdFindAdapter = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    frmSetup(SerialLine &comm, ReceiveLoop &loop, SettingsModel &settings, Messages &messages);
    void letGo();

    void createControls();
    void setTabOrder();
    void fillDriveList();
    void connectHandlers();

    void load();
    void getOptions();
    void getPlaylists();

    // Serial port frame and the adapter probe.
    void cmdApply_Click();
    // True from Apply's probe of the adapter until it has an answer.
    bool probing() const { return probe_->running(); }
    void adapterProbed(AdapterProbe::Result result);
    void fillDeviceList();
    void showPortDevice();
    int pickedPort() const;
    void storePortDevice(int port);
    void cmdFindAdapter_Click();
    void tryNextDevice();
    void endSearch(const QString &message);

    void cmdApplyHC_Click();

    // Playlist assignment and file browsing.
    void Drive1_Change();
    void Dir1_Change();
    void File1_MouseDown(QPoint pointer);
    void txtPlaylist_DragDrop(int number);

    // Thumbs files and the volume step.
    void tuFile_Change();
    void tdFile_Change();
    void tuPath_Change();
    void tdPath_Change();
    void volSteps_Change();

    void tell(const QString &text);

    SerialLine &comm_;
    SettingsModel &settings_;
    Messages &messages_;
    AdapterProbe *probe_ = nullptr;
    // The device Find adapter probes now, an index into cboDevice; -1 when no
    // search runs. The first reason a device could not be opened is kept for
    // the message when none answers.
    int searching_ = -1;
    QString searchProblem_;
};
