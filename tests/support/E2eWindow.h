// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program as a user runs it, minus the hardware: the adapter emulator on a
// pseudo-terminal as port 5, the settings file in the test's XDG_CONFIG_HOME,
// the main window offscreen, and the player the settings choose.

#include "AdapterEmulator.h"

#include "core/IniSettingsStore.h"
#include "core/Settings.h"
#include "core/SettingsModel.h"
#include "core/ThumbsLists.h"
#include "gui/Messages.h"
#include "gui/mainwindow/Tarrow.h"
#include "players/PlayerFactory.h"
#include "serial/SerialComm.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <memory>

class E2eWindow
{
public:
    // Settings written before start() are what the window finds at its start.
    E2eWindow()
        : file_(std::make_unique<IniSettingsStore>()),
          store_(std::make_unique<SettingsModel>(*file_))
    {
    }

    SettingsModel &store() { return *store_; }
    Tarrow &window() { return *window_; }

    bool start()
    {
        emulator_ = std::make_unique<AdapterEmulator>(QStringLiteral("trenda"),
                                                      AdapterEmulator::oneFramePerKey);
        if (emulator_->devicePath().isEmpty())
            return false;
        store_->setValue(Keys::comDevice(5), emulator_->devicePath());
        window_ = std::make_unique<Tarrow>(*store_, thumbs_, createPlayer, messages_);
        window_->load();
        return window_->Comm1->portOpen();
    }

    // One key press on the remote ("A3 on", "A bright"); true once the window
    // has shown the frame as `shown`. The player carries the command out on its
    // own time: a test waits for what the player then does.
    bool press(const QString &key, const QString &shown)
    {
        window_->txtMonitor->clear();
        emulator_->send(key);
        return QTest::qWaitFor([&] { return window_->txtMonitor->text() == shown; }, 5000);
    }

    QString command() const { return window_->txtWincmd->text(); }

    // The settings file as another program would read it now.
    QString storedSetting(const QString &key) const
    {
        QSettings file(store_->fileName(), QSettings::IniFormat);
        return file.value(QStringLiteral("Startup/") + key).toString();
    }

private:
    std::unique_ptr<IniSettingsStore> file_;
    std::unique_ptr<SettingsModel> store_;
    std::unique_ptr<AdapterEmulator> emulator_;
    ThumbsLists thumbs_{QString()};
    Messages messages_;
    std::unique_ptr<Tarrow> window_;
};

// Measures how long the event loop stood still: a timer ticks every 10 ms and
// the longest gap between two ticks is kept. The window never waits for the
// player, so a frozen one holds the loop up not at all.
class StallMeter
{
public:
    StallMeter()
    {
        clock_.start();
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout,
                         [this] { longest_ = std::max(longest_, clock_.restart()); });
        timer_.start();
    }

    qint64 longestMs() const { return std::max(longest_, clock_.elapsed()); }

    // Lets the loop turn once, so that two long calls in a row count as two stalls.
    bool nextTick()
    {
        QSignalSpy ticked(&timer_, &QTimer::timeout);
        return ticked.wait(2000);
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 longest_ = 0;
};
