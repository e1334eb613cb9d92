// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A pseudo-terminal of the benchmark's own: Kavelo opens the slave side as its
// serial port, the benchmark writes the adapter's bytes into the master side.

#include <cstdio>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

class BenchPty
{
public:
    BenchPty()
    {
        if (::openpty(&master_, &slave_, device_, nullptr, nullptr) != 0) {
            std::perror("openpty");
            master_ = slave_ = -1;
            return;
        }
        termios raw{};
        ::tcgetattr(slave_, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(slave_, TCSANOW, &raw);
    }
    ~BenchPty()
    {
        if (master_ >= 0) {
            ::close(master_);
            ::close(slave_);
        }
    }
    BenchPty(const BenchPty &) = delete;
    BenchPty &operator=(const BenchPty &) = delete;

    bool isOpen() const { return master_ >= 0; }
    int master() const { return master_; }
    const char *device() const { return device_; }

private:
    int master_ = -1;
    int slave_ = -1;
    char device_[256] = {};
};

inline bool writeByte(int fd, unsigned char byte)
{
    return ::write(fd, &byte, 1) == 1;
}

// A remote key as the adapter sends it: function and house, then house and unit.
// The first byte arrives alone; at 4800 baud the second follows about 2 ms later.
struct RemoteKey
{
    const char *name;
    unsigned char first;
    unsigned char second;
};
inline constexpr RemoteKey brightKey{"A bright", 0x05, 0x00};
inline constexpr RemoteKey dimKey{"A dim", 0x04, 0x00};
inline constexpr RemoteKey nextKey{"A4 off", 0x03, 0x03};
inline constexpr RemoteKey previousKey{"A3 off", 0x03, 0x02};
inline constexpr int byteGapMs = 2;
