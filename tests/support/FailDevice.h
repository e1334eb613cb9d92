// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QBuffer>

#include <utility>

// A device that takes `budget` bytes and then fails every write, as a full
// disk does. On a QSaveFile it fails a real file's write half-way.
template <class Device = QBuffer> class FailDevice : public Device
{
public:
    template <class... Args>
    explicit FailDevice(qint64 budget, Args &&...args)
        : Device(std::forward<Args>(args)...), budget_(budget)
    {
    }

protected:
    qint64 writeData(const char *data, qint64 size) override
    {
        if (written_ + size > budget_) {
            this->setErrorString(QStringLiteral("No space left on device"));
            return -1;
        }
        written_ += size;
        return Device::writeData(data, size);
    }

private:
    qint64 budget_;
    qint64 written_ = 0;
};
