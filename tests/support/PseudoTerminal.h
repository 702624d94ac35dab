#pragma once

#include <QByteArray>
#include <QString>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

// A pseudo-terminal standing in for a radio's serial port: a program opens
// devicePath(), and the test reads what it wrote and the line speed it set.
class PseudoTerminal
{
public:
    PseudoTerminal()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
            path = QString::fromLocal8Bit(::ptsname(master));
    }
    ~PseudoTerminal()
    {
        if (master >= 0)
            ::close(master);
    }
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    QString devicePath() const { return path; }

    // Everything written to the device so far.
    QByteArray written()
    {
        char chunk[256];
        for (;;) {
            const ssize_t got = ::read(master, chunk, sizeof chunk);
            if (got <= 0)
                break;
            bytes.append(chunk, static_cast<int>(got));
        }
        return bytes;
    }

    // The speed the device was last set to, as a termios constant (B4800).
    speed_t speed() const
    {
        termios attributes{};
        return ::tcgetattr(master, &attributes) == 0 ? ::cfgetospeed(&attributes) : 0;
    }

private:
    int master = -1;
    QString path;
    QByteArray bytes;
};
