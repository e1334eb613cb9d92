#pragma once

#include "core/PlayerSession.h"
#include "core/RemoteControl.h"

#include <QMainWindow>

class QLabel;
class QListWidget;
class QLineEdit;
class QPushButton;
class QTimer;
class QAction;
class QMenu;
class ReceiveLoop;
class SerialComm;
class SettingsModel;

// The main window: shows the remote's frames and commands, the thumbs lists,
// and runs the receive loop for the whole life of the program.
class Tarrow : public QMainWindow, private RemoteView
{
    Q_OBJECT

public:
    Tarrow(SettingsModel &settings, PlayerFactory createPlayer, QWidget *parent = nullptr);
    ~Tarrow() override;

    // The load sequence: show, getOptions, openPort, timeOver = 1, receive.
    void load();

    RemoteControl &remote();
    ReceiveLoop &receiveLoop();

    // Controls, by their names.
    SerialComm *Comm1 = nullptr;
    QTimer *Timer1 = nullptr;
    QTimer *Timer2 = nullptr;
    QLineEdit *txtWincmd = nullptr;
    QLineEdit *txtMonitor = nullptr;
    QPushButton *cmdSetup = nullptr;
    QPushButton *cmdClearlistTU = nullptr;
    QPushButton *cmdClearlistTD = nullptr;
    QPushButton *cmdMakePlaylist = nullptr;
    QListWidget *listTU = nullptr;
    QListWidget *listTD = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QMenu *mnuHelp = nullptr;
    QAction *mnuViewBrowser = nullptr;
    QAction *mnuHelpAbout = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void createMenu();
    void arrangeTabOrder();

    void openPort();

    void cmdSetup_Click();
    void cmdClearlistTU_Click();
    void cmdClearlistTD_Click();
    void cmdMakePlaylist_Click();
    void mnuViewBrowser_Click();
    void mnuHelpAbout_Click();
    void Timer1_Timer();
    void Timer2_Timer();

    // RemoteView
    void showFrame(const QString &text) override;
    void highlightFrame(quint32 colour) override;
    void showCommand(const QString &text) override;
    void startPauseGuard(int intervalMs) override;
    void addThumbsUp(const QString &song) override;
    void addThumbsDown(const QString &song) override;

    SettingsModel &settings_;
    PlayerSession session_;
    RemoteControl remote_;
    ReceiveLoop *loop_ = nullptr;
};
