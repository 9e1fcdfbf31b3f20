#ifndef TELVAR_NETWORK_LINESETTINGS_H
#define TELVAR_NETWORK_LINESETTINGS_H

// The settings of a serial line as a UART keeps them: what a tty's termios
// says, what an RFC 2217 client asks of the remote port and what the server
// answers it runs at.

#include <QString>

namespace Network {

struct LineSettings
{
    enum class Parity { None, Odd, Even, Mark, Space };
    // The numbers of RFC 2217's SET-STOPSIZE (and of the serial module's enum).
    enum class StopBits { One = 1, Two = 2, OneAndHalf = 3 };

    qint64 baud = 0; // 0: not known
    int dataBits = 8;
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
    bool xonXoff = false; // output stops on XOFF (IXON)
    bool rtsCts = false;
};

// The line settings of the tty `fd`. On the master of a pseudo-terminal these
// are the settings the program set on its end, as far as a pseudo-terminal
// keeps them: the kernel forces 8 data bits and clears the parity bit there,
// and it has no 1.5 stop bits. The speed is read as the kernel keeps it, so
// that a speed without a Bxxx constant (a custom rate) comes back as set.
// False when the settings cannot be read.
bool readLineSettings(int fd, LineSettings *line);

} // namespace Network

#endif
