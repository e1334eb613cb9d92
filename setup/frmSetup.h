#pragma once

#include <QWidget>

class SerialComm;
class SettingsStore;
struct SharedState;

// The setup window: serial port and adapter detection, house code and bank,
// playlists by drag and drop, thumbs files, volume step.
class frmSetup : public QWidget
{
    Q_OBJECT

public:
    // The "Setup" button: loads the one setup window when it is closed, or only
    // brings it to the front when it is open.
    static frmSetup *showSetup(SerialComm &comm, SharedState &state, SettingsStore &store);
    // The open setup window, or nullptr.
    static frmSetup *instance();

    ~frmSetup() override;

private:
    frmSetup(SerialComm &comm, SharedState &state, SettingsStore &store);
};
