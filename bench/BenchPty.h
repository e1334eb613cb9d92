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
