#include "linesettings.h"

// The kernel's own termios2 carries the speed as a number; <termios.h> would
// clash with these definitions, so it is not included here.
#include <asm/ioctls.h>
#include <asm/termbits.h>

extern "C" int ioctl(int fd, unsigned long request, ...);

namespace Network {

bool readLineSettings(int fd, LineSettings *line)
{
    struct termios2 t;
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    LineSettings l;
    l.baud = qint64(t.c_ospeed);
    switch (t.c_cflag & CSIZE) {
    case CS5: l.dataBits = 5; break;
    case CS6: l.dataBits = 6; break;
    case CS7: l.dataBits = 7; break;
    default: l.dataBits = 8; break;
    }
    if (t.c_cflag & PARENB) {
        const bool odd = (t.c_cflag & PARODD) != 0;
        if (t.c_cflag & CMSPAR)
            l.parity = odd ? LineSettings::Parity::Mark : LineSettings::Parity::Space;
        else
            l.parity = odd ? LineSettings::Parity::Odd : LineSettings::Parity::Even;
    }
    l.stopBits = (t.c_cflag & CSTOPB) ? LineSettings::StopBits::Two : LineSettings::StopBits::One;
    l.xonXoff = (t.c_iflag & IXON) != 0;
    l.rtsCts = (t.c_cflag & CRTSCTS) != 0;
    *line = l;
    return true;
}

} // namespace Network
