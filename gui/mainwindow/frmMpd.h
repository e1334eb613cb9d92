// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class SettingsModel;

// Options > Player > "MPD…": where MPD is (a host name or a socket path, a
// port, a password) and, for an MPD on another machine, where its music
// folder is on this one. OK saves what the user typed, as the address MPD_HOST
// takes ("password@host"), and makes MPD the player; then it asks MPD, away
// from the window's thread, whether it answers and takes the password. The
// dialog closes when MPD does, and says why when it does not: the settings
// stay saved, so a server that is off for now is still the player.
class frmMpd : public QDialog
{
    Q_OBJECT

public:
    explicit frmMpd(SettingsModel &settings, QWidget *parent = nullptr);

    // Controls, by their names.
    QLineEdit *txtMpdHost = nullptr;
    QLineEdit *txtMpdPort = nullptr;
    QLineEdit *txtMpdPassword = nullptr;
    QLineEdit *txtMpdMusicDir = nullptr;
    QPushButton *cmdMpdMusicDir = nullptr;
    QLabel *lblMpdState = nullptr;
    QPushButton *cmdOk = nullptr;
    QPushButton *cmdCancel = nullptr;

signals:
    // MPD's answer is shown; `reached` when it answered and took the password.
    void answered(bool reached);

private:
    void createControls();
    void showSettings();
    void cmdOk_Click();
    void cmdMpdMusicDir_Click();
    void askMpd(const QString &address, unsigned port);
    void showAnswer(const QString &problem);

    SettingsModel &settings_;
};
