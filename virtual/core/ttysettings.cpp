#include "ttysettings.h"

namespace Virtual {

bool readHostLine(int fd, HostLine *line)
{
    Network::LineSettings settings;
    if (!Network::readLineSettings(fd, &settings))
        return false;
    *line = hostLine(settings);
    return true;
}

HostLine hostLine(const Network::LineSettings &settings)
{
    HostLine l;
    l.baud = settings.baud;
    l.dataBits = settings.dataBits;
    l.parity = settings.parity != Network::LineSettings::Parity::None;
    // 1.5 stop bits are paced as one: the line model counts whole bits.
    l.stopBits = settings.stopBits == Network::LineSettings::StopBits::Two ? 2 : 1;
    l.xonXoff = settings.xonXoff;
    l.rtsCts = settings.rtsCts;
    return l;
}

} // namespace Virtual
